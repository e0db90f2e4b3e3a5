// The thin layer over the Win32 user interface through which the shell and the
// commands work: top-level windows, four kinds of control, the event queue fed
// by the window procedure, a blocking wait for the next event, control text and
// state, and the modal message box. GUI thread only (posting is thread-safe).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Event kinds and gadget event types.
constexpr uint32_t GadgetEvent = 13100;
constexpr uint32_t TimerEvent = 13110;
constexpr uint32_t CloseWindowEvent = 13116;
constexpr uint32_t EventTypeClick = 0;
constexpr uint32_t EventTypeChange = 768;

// WindowOpen flag of our own (taken out before the styles reach Win32).
constexpr uint32_t WindowFlagCentre = 1;

// Accelerator commands for keyboard navigation between controls.
constexpr uint16_t CommandFocusNext = 64001;
constexpr uint16_t CommandFocusPrevious = 64002;

struct ToolkitEventData {
    uint32_t kind;
    uint32_t window;
    uint32_t gadget;
    uint32_t type;
    uint32_t data1;
    uint32_t data2;
};

// The current event, set by EventWait.
extern ToolkitEventData ToolkitEvent;

// Start-up and end. ToolkitStart takes the program's instance and a heap it
// does not use: the toolkit's tables are standard containers, allocated through
// operator new from the C runtime's heap. The parameter stays for the callers.
bool ToolkitStart(HINSTANCE instance, HANDLE heap);
void ToolkitEnd();

uint32_t WindowOpen(int x, int y, int innerWidth, int innerHeight, const wchar_t* title,
                    uint32_t flags);
void WindowClose(uint32_t window);
HWND WindowHandle(uint32_t window);

uint32_t FrameCreate(int x, int y, int width, int height, const wchar_t* caption);
uint32_t OptionCreate(int x, int y, int width, int height, const wchar_t* caption);
uint32_t DropListCreate(int x, int y, int width, int height);
uint32_t ButtonCreate(int x, int y, int width, int height, const wchar_t* caption);
uint32_t DropListAddItem(uint32_t list, int position, const wchar_t* text);

std::wstring GadgetGetText(uint32_t gadget);
void GadgetSetText(uint32_t gadget, const wchar_t* text);
int32_t GadgetGetState(uint32_t gadget);
void GadgetSetState(uint32_t gadget, int32_t state);
void GadgetDisable(uint32_t gadget, uint32_t flag);
// The name a screen reader announces for the control, for one without a
// caption of its own; what is drawn stays as it is. False when the
// accessibility layer cannot take it.
bool GadgetSetName(uint32_t gadget, const wchar_t* name);

// Posts an event into the queue (any thread).
void EventPost(uint32_t kind, uint32_t gadget, uint32_t window, uint32_t type, uint32_t data1,
               uint32_t data2);
uint32_t EventWait();
// Removes the keyboard and mouse input waiting in the GUI thread's queue
// (typed, clicked or posted before the call); every other message stays.
void EventDropInput();
uint32_t EventWindow();
uint32_t EventGadget();
uint32_t EventType();

int MessageShow(const wchar_t* caption, const wchar_t* text, uint32_t style);
