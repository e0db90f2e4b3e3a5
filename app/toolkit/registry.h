// Internal to app/toolkit (nobody outside it includes this): the tables of
// open windows and controls, their identifiers, the resources they share, the
// scaling of 96-DPI layout to a window's DPI, and the calls the toolkit's
// files make into one another. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace toolkit {

// Layout is given in pixels at this DPI and scaled to the window's DPI.
constexpr int LayoutDpi = 96;

// Window and control identifiers count up from here, one sequence for both, so
// that a window and a control never share one. 0 stays free to mean "none".
constexpr uint32_t FirstId = 1000;

enum class Kind { Frame, Option, List, Button };

// A place in a window's client area: at 96 DPI as the program gives it, or
// in pixels at the window's DPI.
struct Place {
    int x, y, width, height;
};

struct WindowEntry {
    HWND hwnd = nullptr;
    HACCEL accel = nullptr;   // Tab and Shift+Tab, see focus.cpp
    HWND lastFocus = nullptr; // the control to give the focus back to on activation
    std::wstring className;   // each window has a class of its own, unregistered on close
    int innerWidth = 0;       // the client area at 96 DPI, as WindowOpen was given it
    int innerHeight = 0;
    int dpi = LayoutDpi;  // the DPI the window is laid out for now
    HFONT font = nullptr; // its controls' font: gFont, or one made for dpi (owned)
};

struct GadgetEntry {
    HWND hwnd = nullptr;
    Kind kind = Kind::Frame;
    WNDPROC previous = nullptr; // the class's procedure, which ours hands every message on to
    uint32_t window = 0;        // the window it was made in
    Place layout = {};          // at 96 DPI, as the program gave it
    bool named = false;         // has a name for screen readers (accessible.cpp)
};

// Window properties that tie a Win32 window back to its identifier.
const wchar_t* const IdProperty = L"TumarkToolkitId";         // windows: identifier + 1
const wchar_t* const GadgetProperty = L"TumarkToolkitGadget"; // controls: identifier

// Shared by every window and control; set once by ToolkitStart.
extern HINSTANCE gInstance;
extern HICON gIcon;
extern HCURSOR gCursor;
extern HFONT gFont;
extern int gDpi; // the system DPI, taken once at start-up: gFont's DPI

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

// The window's text, "" for none.
std::wstring WindowText(HWND hwnd);

// A length or position in pixels at 96 DPI, in pixels at `dpi`.
int Scaled(int value, int dpi);

// A control's place at `dpi`. The edges are scaled, not the sizes, so that
// controls that touch at 96 DPI still touch.
Place ScaledPlace(const Place& layout, int dpi);

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

// dpi.cpp: the DPI of a window and what follows from it. WindowDpi is the
// DPI the system gives the window (the session's before Windows 10 1607).
int WindowDpi(HWND hwnd);
// The outer rectangle of a client rectangle at `dpi`.
bool OuterRect(RECT* rect, DWORD style, DWORD exStyle, int dpi);
// The control font for `dpi`: the stock font at the system DPI, else a font
// of its face and its height scaled (null when it cannot be made).
HFONT FontForDpi(int dpi);
// Lays out every control of the window for `dpi` from its 96-DPI place,
// each caption measured in the window's font and its control grown where it
// would not fit (captions.cpp), and gives the window that client size.
void LayoutWindow(uint32_t window, WindowEntry* entry);
// WM_DPICHANGED and WM_GETDPISCALEDSIZE.
void OnDpiChanged(uint32_t window, WindowEntry* entry, int dpi, const RECT* suggested);
bool OnGetDpiScaledSize(WindowEntry* entry, int dpi, SIZE* size);

// captions.cpp: the width a caption needs in its control, in the font
// selected into `dc`, at `dpi` (0 for a list, which has none); and the
// places of a window's controls, in creation order, grown where a caption
// lacks room. Returns how much wider the client area must become.
struct Fitting {
    Kind kind;
    Place place; // at the window's DPI
    int need;    // CaptionNeed
};
int CaptionNeed(HDC dc, Kind kind, const std::wstring& caption, int dpi);
int FitCaptions(std::vector<Fitting>& controls);

// frames.cpp: paints a frame whose caption the system would cut as the
// system paints one, but with the caption whole: on `given`, or for
// WM_PAINT when null. False for any other frame, left to the system.
bool PaintFrame(HWND frame, HDC given);

// controls.cpp: sizes a list's closed field and its open list for `dpi`
// (again after every change of font, which resets the field's height).
void SizeList(HWND list, const Place& place, int dpi);

// focus.cpp: keyboard navigation, cues and the focus kept across activation.
HACCEL CreateFocusKeys();
bool TranslateFocusKeys(MSG* msg);
void OnFocusCommand(HWND window, WORD command);
void OnActivate(HWND window, WindowEntry* entry, bool active);

} // namespace toolkit
