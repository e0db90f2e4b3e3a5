// The test bench's UI driver: starts a Windows program, finds its window by
// title and process id, reads its controls and message boxes, and works them
// the way a user does (clicks, list choices, keys, close requests). Used from
// the test programs' main thread and from the uidriver.exe command line tool.
#pragma once

#include <windows.h>

#include "pixels.h"

#include <cstdint>
#include <string>
#include <vector>

namespace uidriver {

// One child control of a top-level window, as a user would see it.
struct Control {
    HWND hwnd = nullptr;
    int id = 0;
    std::wstring className;
    std::wstring text;
    RECT rect = {}; // in the client coordinates of the top-level window
    LONG style = 0;
    LONG exStyle = 0;
    int check = 0; // BM_GETCHECK of buttons, 0 otherwise
    bool enabled = false;
    bool visible = false;
    bool focused = false;
    // Combo boxes only.
    std::vector<std::wstring> items;
    int selection = -1;
    bool dropped = false;

    int width() const { return rect.right - rect.left; }
    int height() const { return rect.bottom - rect.top; }
};

struct WindowState {
    HWND hwnd = nullptr;
    std::wstring title;
    RECT outer = {}; // screen coordinates
    int clientWidth = 0;
    int clientHeight = 0;
    POINT clientOrigin = {}; // the client area's top left, screen coordinates
    LONG style = 0;
    LONG exStyle = 0;
    bool enabled = false;
    bool visible = false;
    bool iconic = false;
    bool zoomed = false;
    bool foreground = false;
    HWND focus = nullptr;          // the focused window of the program's GUI thread
    HWND active = nullptr;         // its active window
    std::vector<Control> controls; // direct children in Z order (creation order)
};

// A message box (#32770) of the program.
struct Box {
    HWND hwnd = nullptr;
    HWND owner = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons; // IDOK, IDYES, ... in Z order
    std::vector<std::wstring> buttonTexts;
    std::wstring icon; // "error", "question", "exclamation", "information", "none" or "unknown"
};

// The memory figures of a process. Wine reports the handle count and the GDI
// and USER object counts of any process as 0, so they are not read: the
// link's handles are counted through its seams and the fonts it makes are
// checked in the toolkit test.
struct Counters {
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

// Keys the driver can press.
enum class Key { Tab, ShiftTab, Enter, Esc, AltF4, AltSpace, Up, Down, Left, Right, Space };

// A program started by the driver. Ends the process (by its own handle) on
// destruction if it is still running, so that a failing test leaves nothing.
class Program {
  public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Starts exe (with an optional argument text) in folder cwd (empty: the
    // exe's own folder). Remembers the process id and the start time. A
    // program launched before by this object is ended first.
    bool Launch(const std::wstring& exe, const std::wstring& cwd = L"",
                const std::wstring& arguments = L"");
    // Waits for a visible top-level window of this process whose title is
    // exactly title. Returns it (and remembers it as the main window) or null.
    HWND WaitWindow(const std::wstring& title, DWORD timeoutMs);
    // Milliseconds from just before CreateProcessW to the moment WaitWindow
    // saw the window (0 before).
    double WindowSeenMs() const { return windowSeenMs_; }
    // Waits until the program's GUI thread is idle; milliseconds since start.
    double WaitIdleMs(DWORD timeoutMs);

    DWORD pid() const { return pid_; }
    HANDLE process() const { return process_; }
    HWND window() const { return window_; }
    DWORD guiThread() const;

    bool Running() const;
    // Waits for the end; true with its exit code, false on time-out.
    bool WaitExit(DWORD timeoutMs, DWORD* exitCode);
    // Ends the process at once (a test's last resort).
    void Kill();
    // Ends the process if it still runs and forgets it.
    void Release();

  private:
    HANDLE process_ = nullptr;
    HANDLE thread_ = nullptr;
    DWORD pid_ = 0;
    HWND window_ = nullptr;
    LARGE_INTEGER started_ = {};
    double windowSeenMs_ = 0;
};

// True under Wine, whose windows differ from Windows' in a few places.
bool RunningOnWine();

// Reading.
std::wstring WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);
DWORD WindowProcess(HWND hwnd);
// The visible top-level windows of process pid with this class (empty: any)
// and exact title (null: any), in Z order.
std::vector<HWND> FindTopWindows(DWORD pid, const wchar_t* className, const wchar_t* title);
WindowState ReadWindow(HWND top);
// The control of a window state with this class (empty: any) and text.
const Control* FindControl(const WindowState& state, const std::wstring& text,
                           const std::wstring& className = L"");
const Control* FindControlByClass(const WindowState& state, const std::wstring& className);
HWND FocusedWindow(HWND anyWindowOfThread);

// Message boxes.
std::vector<HWND> FindBoxes(DWORD pid);
HWND WaitBox(DWORD pid, DWORD timeoutMs);
Box ReadBox(HWND box);
// Answers a box by its button (IDYES, IDNO, IDOK, ...): a click on it.
bool AnswerBox(HWND box, int button);

// Acting.
bool Click(HWND control);                                  // BM_CLICK, posted
bool SelectItem(HWND combo, const std::wstring& itemText); // as a user's choice
// The same choice with real mouse input: a click opens the list, a click on
// the item chooses it (scrolling the open list with the wheel if need be).
bool ChooseItemByMouse(HWND combo, const std::wstring& itemText);
bool PressKey(HWND target, Key key); // real keyboard input to target's thread
bool MouseClick(int screenX, int screenY, bool doubleClick = false);
bool MouseDrag(int fromX, int fromY, int toX, int toY);
bool ClickControl(HWND control); // real mouse click in its middle
// Posts a notification with this code from a control to its parent, as the
// control itself would (for notifications a test cannot otherwise cause
// alone, such as BN_DOUBLECLICKED without the click before it).
bool Notify(HWND control, WORD code);
// WM_NCHITTEST of the window at a screen point (HTCAPTION, HTBORDER, ...).
LRESULT HitTest(HWND top, int screenX, int screenY);
bool CloseBox(HWND top);        // WM_SYSCOMMAND SC_CLOSE, as the close box
bool SystemMenuClose(HWND top); // Alt+Space, then Close from the system menu
// What a user does to maximize (a double click on the title bar) and to
// resize (a drag of the bottom right corner by dx, dy). They report whether
// the input was given, not whether the window changed.
bool TryMaximize(HWND top);
bool TryResize(HWND top, int dx, int dy);
bool Minimize(HWND top);
bool Restore(HWND top);
// Waits until the message queue of the window's thread has been emptied of
// what was posted so far (a round trip through a sent message).
bool Settle(HWND hwnd, DWORD timeoutMs = 15000);

// Counters of a process, read from outside.
Counters ReadCounters(HANDLE process);

// Texts for reports: UTF-8 and hexadecimal handles.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
std::wstring KeyName(Key key);
bool ParseKey(const std::wstring& name, Key* key);
std::wstring ButtonName(int id);
int ButtonId(const std::wstring& name);

} // namespace uidriver
