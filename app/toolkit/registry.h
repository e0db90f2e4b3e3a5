// Internal to app/toolkit (nobody outside it includes this): the tables of
// open windows and controls, their identifiers, the resources they share, the
// scaling of 96-DPI layout to the system DPI, and the calls the toolkit's
// files make into one another. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace toolkit {

// Layout is given in pixels at this DPI and scaled to the system DPI.
constexpr int LayoutDpi = 96;

// Window and control identifiers count up from here, one sequence for both, so
// that a window and a control never share one. 0 stays free to mean "none".
constexpr uint32_t FirstId = 1000;

enum class Kind { Frame, Option, List, Button };

struct WindowEntry {
    HWND hwnd = nullptr;
    HACCEL accel = nullptr;   // Tab and Shift+Tab, see focus.cpp
    HWND lastFocus = nullptr; // the control to give the focus back to on activation
    std::wstring className;   // each window has a class of its own, unregistered on close
};

struct GadgetEntry {
    HWND hwnd = nullptr;
    Kind kind = Kind::Frame;
    WNDPROC previous = nullptr; // the class's procedure, which ours hands every message on to
};

// Window properties that tie a Win32 window back to its identifier.
const wchar_t* const IdProperty = L"TumarkToolkitId";         // windows: identifier + 1
const wchar_t* const GadgetProperty = L"TumarkToolkitGadget"; // controls: identifier

// Shared by every window and control; set once by ToolkitStart.
extern HINSTANCE gInstance;
extern HICON gIcon;
extern HCURSOR gCursor;
extern HFONT gFont;
extern int gDpi; // the system DPI, taken once at start-up

// The tables. Their storage is the C runtime's heap, through operator new.
extern uint32_t gNextId;
extern std::map<uint32_t, WindowEntry> gWindows;
extern std::map<uint32_t, GadgetEntry> gGadgets;
extern uint32_t gGadgetList; // the window that receives new controls
extern bool gOptionRun;      // the last control created was an option (same group)

// The window's identifier is stored plus one, so that a window without the
// property (GetPropW answers 0) reads as "not ours".
void SetIdOfWindow(HWND hwnd, uint32_t id);
// The stored value: the identifier + 1, or 0 for a window not ours.
uint32_t IdOfWindow(HWND hwnd);
// The top-level toolkit window above a control, or 0.
uint32_t TopWindowOf(HWND hwnd);
GadgetEntry* FindGadget(uint32_t id);
WindowEntry* FindWindowEntry(uint32_t id);

// A length or position in pixels at 96 DPI, in pixels at the system DPI.
int Scaled(int value);

// A control's place at the system DPI. The edges are scaled, not the sizes,
// so that controls that touch at 96 DPI still touch.
struct Place {
    int x, y, width, height;
};
Place ScaledPlace(int x, int y, int width, int height);

// While one is alive, the program's own changes to a control never come back
// as events: EventPost drops everything (event_queue.cpp).
extern int gSuppress;
struct Suppressed {
    Suppressed() { ++gSuppress; }
    ~Suppressed() { --gSuppress; }
};

// event_queue.cpp: the queue's lock and the hidden window that wakes the
// GUI thread; start-up, end, and dropping a closed window's events.
bool QueueStart(HINSTANCE instance);
void QueueEnd();
void DrainQueueOf(uint32_t window);

// controls.cpp: the automatic options of an option's group, in creation
// order; selecting one of them deselects the rest of its group.
std::vector<HWND> OptionGroup(HWND option);
void SelectOption(HWND option);

// focus.cpp: keyboard navigation, cues and the focus kept across activation.
HACCEL CreateFocusKeys();
bool TranslateFocusKeys(MSG* msg);
void OnFocusCommand(HWND window, WORD command);
void OnActivate(HWND window, WindowEntry* entry, bool active);

} // namespace toolkit
