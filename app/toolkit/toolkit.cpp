// The toolkit: identifiers and registries of windows and controls, the event
// queue fed by the window procedure, creation of the four kinds of control,
// their text and state, keyboard navigation, the modal message box. Layout
// is given in pixels at 96 DPI and scaled to the system DPI here.
// GUI thread only, except EventPost, which any thread may call.
#include "app/toolkit/toolkit.h"
#include "common/system_library.h"

#include <commctrl.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cwchar>
#include <deque>
#include <map>
#include <vector>

ToolkitEventData ToolkitEvent;

namespace {

enum class Kind { Frame, Option, List, Button };

struct WindowEntry {
    HWND hwnd = nullptr;
    HACCEL accel = nullptr;
    HWND lastFocus = nullptr;
    std::wstring className;
};

struct GadgetEntry {
    HWND hwnd = nullptr;
    Kind kind = Kind::Frame;
    WNDPROC previous = nullptr;
};

struct Event {
    uint32_t kind, gadget, window, type, data1, data2;
};

const wchar_t* const IdProperty = L"TumarkToolkitId";         // windows: identifier + 1
const wchar_t* const GadgetProperty = L"TumarkToolkitGadget"; // controls: identifier
const wchar_t* const HiddenClass = L"TumarkToolkitHidden";

HINSTANCE gInstance;
HICON gIcon;
HCURSOR gCursor;
HFONT gFont;
int gDpi = 96; // the system DPI, taken once at start-up
HWND gHidden;
UINT gWakeMessage;
uint32_t gNextId = 1000;
std::map<uint32_t, WindowEntry> gWindows;
std::map<uint32_t, GadgetEntry> gGadgets;
uint32_t gGadgetList; // the window that receives new controls
bool gOptionRun;
int gSuppress;
int gThemed = -1; // -1 until the first list asks
CRITICAL_SECTION gQueueLock;
bool gQueueReady;
std::deque<Event> gQueue;

uint32_t IdOfWindow(HWND hwnd) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetPropW(hwnd, IdProperty)));
}

// The top-level toolkit window above a control.
uint32_t TopWindowOf(HWND hwnd) {
    for (HWND h = hwnd; h; h = GetParent(h)) {
        uint32_t stored = IdOfWindow(h);
        if (stored)
            return stored - 1;
    }
    return 0;
}

GadgetEntry* FindGadget(uint32_t id) {
    auto it = gGadgets.find(id);
    return it == gGadgets.end() ? nullptr : &it->second;
}

WindowEntry* FindWindowEntry(uint32_t id) {
    auto it = gWindows.find(id);
    return it == gWindows.end() ? nullptr : &it->second;
}

// A length or position in pixels at 96 DPI, in pixels at the system DPI.
int Scaled(int value) {
    return MulDiv(value, gDpi, 96);
}

// A control's place at the system DPI. The edges are scaled, not the sizes,
// so that controls that touch at 96 DPI still touch.
struct Place {
    int x, y, width, height;
};

Place ScaledPlace(int x, int y, int width, int height) {
    const int left = Scaled(x), top = Scaled(y);
    return {left, top, Scaled(x + width) - left, Scaled(y + height) - top};
}

// The program's own changes to a control never come back as events.
struct Suppressed {
    Suppressed() { ++gSuppress; }
    ~Suppressed() { --gSuppress; }
};

void ShowCues(HWND window) {
    LRESULT state = SendMessageW(window, WM_QUERYUISTATE, 0, 0);
    if (state & (UISF_HIDEFOCUS | UISF_HIDEACCEL))
        SendMessageW(window, WM_UPDATEUISTATE,
                     MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
}

void HideCues(HWND window) {
    LRESULT state = SendMessageW(window, WM_QUERYUISTATE, 0, 0);
    if ((state & (UISF_HIDEFOCUS | UISF_HIDEACCEL)) != (UISF_HIDEFOCUS | UISF_HIDEACCEL))
        SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                     0);
}

BOOL CALLBACK CollectTabStop(HWND hwnd, LPARAM param) {
    auto* list = reinterpret_cast<std::vector<HWND>*>(param);
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    if (IsWindowEnabled(hwnd) && IsWindowVisible(hwnd) && (style & WS_TABSTOP))
        list->push_back(hwnd);
    return TRUE;
}

// Tab and Shift+Tab: the next or previous enabled, visible tab stop in
// creation order, wrapping around.
void MoveFocus(HWND window, bool forward) {
    std::vector<HWND> stops;
    EnumChildWindows(window, CollectTabStop, reinterpret_cast<LPARAM>(&stops));
    if (stops.empty())
        return;
    HWND focus = GetFocus();
    bool inside = focus && IsChild(window, focus);
    size_t at = stops.size();
    for (size_t i = 0; i < stops.size(); ++i)
        if (stops[i] == focus)
            at = i;
    if (forward) {
        if (!inside)
            SetFocus(stops.front());
        else if (at < stops.size())
            SetFocus(stops[(at + 1) % stops.size()]);
    } else {
        if (!inside || at == 0 || at == stops.size())
            SetFocus(stops.back());
        else
            SetFocus(stops[at - 1]);
    }
}

LRESULT CALLBACK ToolkitWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    uint32_t stored = IdOfWindow(hwnd);
    uint32_t self = stored ? stored - 1 : 0;
    switch (msg) {
    case WM_CLOSE:
        if (stored)
            EventPost(CloseWindowEvent, self, self, 0, 0, 0);
        return 0;
    case WM_COMMAND:
        if (lParam) {
            HWND control = reinterpret_cast<HWND>(lParam);
            uint32_t id = static_cast<uint32_t>(GetWindowLongW(control, GWL_ID));
            GadgetEntry* gadget = FindGadget(id);
            if (!gadget)
                return 0;
            uint32_t code = HIWORD(wParam);
            if (gadget->kind == Kind::List) {
                if (code == CBN_SELCHANGE)
                    EventPost(GadgetEvent, id, TopWindowOf(control), EventTypeChange, 0, 0);
                return 0;
            }
            EventPost(GadgetEvent, id, TopWindowOf(control), code, 0, 0);
            return 0;
        }
        if (HIWORD(wParam) == 1) { // from the accelerator table
            if (LOWORD(wParam) == CommandFocusNext)
                MoveFocus(hwnd, true);
            else if (LOWORD(wParam) == CommandFocusPrevious)
                MoveFocus(hwnd, false);
            return 0;
        }
        break;
    case WM_TIMER:
        if (stored)
            EventPost(TimerEvent, static_cast<uint32_t>(wParam), self, 0, 0, 0);
        return 0;
    case WM_ACTIVATE:
        if (WindowEntry* entry = FindWindowEntry(self)) {
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                entry->lastFocus = (focus && IsChild(hwnd, focus)) ? focus : nullptr;
                HideCues(hwnd);
            } else if (entry->lastFocus && IsWindow(entry->lastFocus)) {
                SetFocus(entry->lastFocus);
            }
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    uint32_t id = static_cast<uint32_t>(GetWindowLongW(hwnd, GWL_ID));
    GadgetEntry* gadget = FindGadget(id);
    WNDPROC previous = gadget ? gadget->previous : nullptr;
    if (msg == WM_NCDESTROY) {
        gGadgets.erase(id);
        RemovePropW(hwnd, GadgetProperty);
    }
    if (!previous)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    return CallWindowProcW(previous, hwnd, msg, wParam, lParam);
}

// Cross-thread posts only wake the GUI thread; the event is already queued.
LRESULT CALLBACK HiddenProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == gWakeMessage && gWakeMessage)
        return 0;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

bool VisualStyles() {
    if (gThemed < 0) {
        gThemed = 0;
        HMODULE comctl = GetModuleHandleW(L"COMCTL32.DLL");
        auto getVersion = comctl ? reinterpret_cast<DLLGETVERSIONPROC>(reinterpret_cast<void*>(
                                       GetProcAddress(comctl, "DllGetVersion")))
                                 : nullptr;
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof(info);
        if (getVersion && SUCCEEDED(getVersion(&info)) && info.dwMajorVersion >= 6) {
            // uxtheme is not one of the system's known DLLs: loaded by name
            // from the system folder, never from the program's.
            using IsAppThemedFunction = BOOL(WINAPI*)();
            const auto isAppThemed =
                SystemFunction<IsAppThemedFunction>(L"uxtheme.dll", "IsAppThemed");
            gThemed = isAppThemed && isAppThemed() ? 1 : 0;
        }
    }
    return gThemed == 1;
}

// The place is in pixels at the system DPI already.
uint32_t CreateControl(Kind kind, const wchar_t* className, DWORD style, const Place& place,
                       const wchar_t* caption) {
    WindowEntry* parent = FindWindowEntry(gGadgetList);
    if (!parent)
        return 0;
    HWND hwnd = CreateWindowExW(
        0, className, caption ? caption : L"", style, place.x, place.y, place.width, place.height,
        parent->hwnd, reinterpret_cast<HMENU>(static_cast<intptr_t>(-1)), gInstance, nullptr);
    if (!hwnd)
        return 0;
    uint32_t id = gNextId++;
    GadgetEntry entry;
    entry.hwnd = hwnd;
    entry.kind = kind;
    SetWindowLongW(hwnd, GWL_ID, static_cast<LONG>(id));
    SetPropW(hwnd, GadgetProperty, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id)));
    gGadgets[id] = entry;
    gGadgets[id].previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(gFont), TRUE);
    gOptionRun = false;
    return id;
}

void DrainQueueOf(uint32_t window) {
    EnterCriticalSection(&gQueueLock);
    for (auto it = gQueue.begin(); it != gQueue.end();)
        it = it->window == window ? gQueue.erase(it) : it + 1;
    LeaveCriticalSection(&gQueueLock);
}

} // namespace

bool ToolkitStart(HINSTANCE instance, HANDLE) {
    gInstance = instance;
    InitializeCriticalSection(&gQueueLock);
    gQueueReady = true;
    gWakeMessage = RegisterWindowMessageW(L"TumarkToolkitWake");

    WNDCLASSEXW hidden = {};
    hidden.cbSize = sizeof(hidden);
    hidden.lpfnWndProc = HiddenProc;
    hidden.hInstance = instance;
    hidden.lpszClassName = HiddenClass;
    if (RegisterClassExW(&hidden))
        gHidden = CreateWindowExW(0, HiddenClass, L"", WS_CAPTION, 0, 0, 1, 1, nullptr, nullptr,
                                  instance, nullptr);

    gIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    gCursor = LoadCursorW(nullptr, IDC_ARROW);
    gFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // The manifest declares the program DPI-aware, so this is the real system
    // DPI and the system does not stretch the window as a bitmap.
    if (HDC screen = GetDC(nullptr)) {
        int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        if (dpi > 0)
            gDpi = dpi;
        ReleaseDC(nullptr, screen);
    }
    INITCOMMONCONTROLSEX icc = {sizeof(icc), 0xB48};
    InitCommonControlsEx(&icc);
    return gHidden != nullptr;
}

void ToolkitEnd() {
    std::vector<uint32_t> open;
    for (const auto& w : gWindows)
        open.push_back(w.first);
    for (uint32_t id : open)
        WindowClose(id);
    if (gHidden) {
        DestroyWindow(gHidden);
        gHidden = nullptr;
        UnregisterClassW(HiddenClass, gInstance);
    }
}

uint32_t WindowOpen(int x, int y, int innerWidth, int innerHeight, const wchar_t* title,
                    uint32_t flags) {
    uint32_t id = gNextId++;
    // "WindowClass_" and the id in decimal (at most ten digits).
    wchar_t className[32] = L"WindowClass_";
    _ultow(id, className + wcslen(className), 10);

    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ToolkitWindowProc;
    wc.hInstance = gInstance;
    wc.hIcon = gIcon;
    wc.hCursor = gCursor;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<intptr_t>(COLOR_BTNFACE + 1));
    wc.lpszClassName = className;
    if (!RegisterClassExW(&wc))
        return 0;

    DWORD style = flags & ~static_cast<DWORD>(WindowFlagCentre);
    DWORD exStyle = 0;
    RECT rect = {0, 0, Scaled(innerWidth), Scaled(innerHeight)};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    HWND hwnd = CreateWindowExW(exStyle, className, title ? title : L"", style, Scaled(x),
                                Scaled(y), rect.right - rect.left, rect.bottom - rect.top, nullptr,
                                nullptr, gInstance, nullptr);
    if (!hwnd) {
        UnregisterClassW(className, gInstance);
        return 0;
    }
    WindowEntry entry;
    entry.hwnd = hwnd;
    entry.className = className;
    gWindows[id] = entry;

    if (flags & WindowFlagCentre) {
        // Centre by the outer size on the whole primary screen.
        RECT outer;
        GetWindowRect(hwnd, &outer);
        int w = outer.right - outer.left, h = outer.bottom - outer.top;
        int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        if (w > sw)
            w = sw;
        if (h > sh)
            h = sh;
        SetWindowPos(hwnd, nullptr, (sw - w) / 2, (sh - h) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);

    ACCEL keys[2] = {{FVIRTKEY | FNOINVERT, VK_TAB, CommandFocusNext},
                     {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CommandFocusPrevious}};
    gWindows[id].accel = CreateAcceleratorTableW(keys, 2);

    gGadgetList = id;
    gOptionRun = false;
    SetPropW(hwnd, IdProperty, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id) + 1));
    return id;
}

void WindowClose(uint32_t window) {
    WindowEntry* entry = FindWindowEntry(window);
    if (!entry)
        return;
    HWND hwnd = entry->hwnd;
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner)
        SetActiveWindow(owner);
    RemovePropW(hwnd, IdProperty);
    DestroyWindow(hwnd);
    std::wstring className = entry->className;
    HACCEL accel = entry->accel;
    UnregisterClassW(className.c_str(), gInstance);
    if (accel)
        DestroyAcceleratorTable(accel);
    DrainQueueOf(window);
    gWindows.erase(window);
    if (gGadgetList == window)
        gGadgetList = 0;
}

HWND WindowHandle(uint32_t window) {
    WindowEntry* entry = FindWindowEntry(window);
    return entry ? entry->hwnd : nullptr;
}

uint32_t FrameCreate(int x, int y, int width, int height, const wchar_t* caption) {
    return CreateControl(Kind::Frame, L"Button", WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX,
                         ScaledPlace(x, y, width, height), caption);
}

uint32_t OptionCreate(int x, int y, int width, int height, const wchar_t* caption) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
    if (!gOptionRun)
        style |= WS_GROUP; // the first option after any other control starts a group
    uint32_t id =
        CreateControl(Kind::Option, L"Button", style, ScaledPlace(x, y, width, height), caption);
    if (!id)
        return 0;
    gOptionRun = true;
    // Windows sends BN_CLICKED when an unchecked automatic option gets the
    // keyboard focus; the options change only when clicked or selected.
    SendMessageW(gGadgets[id].hwnd, BM_SETDONTCLICK, TRUE, 0);
    return id;
}

uint32_t DropListCreate(int x, int y, int width, int height) {
    bool themed = VisualStyles();
    Place place = ScaledPlace(x, y, width, height);
    const int closedHeight = place.height;
    place.height = themed ? closedHeight + Scaled(30) : Scaled(350);
    uint32_t id = CreateControl(Kind::List, L"ComboBox",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_GROUP |
                                    WS_TABSTOP | CBS_DROPDOWNLIST,
                                place, L"");
    if (!id)
        return 0;
    // Size the closed control to exactly the requested height.
    HWND hwnd = gGadgets[id].hwnd;
    SendMessageW(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 15);
    RECT rect;
    GetWindowRect(hwnd, &rect);
    int border = (rect.bottom - rect.top) - 15;
    SendMessageW(hwnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), closedHeight - border);
    return id;
}

uint32_t ButtonCreate(int x, int y, int width, int height, const wchar_t* caption) {
    return CreateControl(Kind::Button, L"Button",
                         WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON,
                         ScaledPlace(x, y, width, height), caption);
}

uint32_t DropListAddItem(uint32_t list, int position, const wchar_t* text) {
    GadgetEntry* gadget = FindGadget(list);
    if (!gadget || gadget->kind != Kind::List || position < -1)
        return gadget ? 1 : 0;
    Suppressed quiet;
    SendMessageW(gadget->hwnd, CB_INSERTSTRING, static_cast<WPARAM>(position),
                 reinterpret_cast<LPARAM>(text ? text : L""));
    return 1;
}

std::wstring GadgetGetText(uint32_t gadget) {
    GadgetEntry* entry = FindGadget(gadget);
    if (!entry)
        return {};
    int length = GetWindowTextLengthW(entry->hwnd);
    if (length <= 0)
        return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(entry->hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

void GadgetSetText(uint32_t gadget, const wchar_t* text) {
    GadgetEntry* entry = FindGadget(gadget);
    if (!entry)
        return;
    Suppressed quiet;
    if (!text)
        text = L"";
    if (entry->kind == Kind::List) {
        if (!*text) {
            SendMessageW(entry->hwnd, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
            return;
        }
        LRESULT found = SendMessageW(entry->hwnd, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(text));
        if (found != CB_ERR)
            SendMessageW(entry->hwnd, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
        return;
    }
    SetWindowTextW(entry->hwnd, text);
}

int32_t GadgetGetState(uint32_t gadget) {
    GadgetEntry* entry = FindGadget(gadget);
    if (!entry)
        return 0;
    switch (entry->kind) {
    case Kind::Option:
    case Kind::Button:
        return static_cast<int32_t>(SendMessageW(entry->hwnd, BM_GETCHECK, 0, 0) & 1);
    case Kind::List:
        return static_cast<int32_t>(SendMessageW(entry->hwnd, CB_GETCURSEL, 0, 0));
    case Kind::Frame:
        break;
    }
    return 0;
}

void GadgetSetState(uint32_t gadget, int32_t state) {
    GadgetEntry* entry = FindGadget(gadget);
    if (!entry)
        return;
    Suppressed quiet;
    switch (entry->kind) {
    case Kind::Option:
        if (state) {
            // Deselect the rest of the group: from the window that starts it
            // forward over the automatic options.
            HWND start = entry->hwnd;
            while (start && !(GetWindowLongW(start, GWL_STYLE) & WS_GROUP)) {
                HWND previous = GetWindow(start, GW_HWNDPREV);
                if (!previous)
                    break;
                start = previous;
            }
            for (HWND h = start; h; h = GetWindow(h, GW_HWNDNEXT)) {
                if ((GetWindowLongW(h, GWL_STYLE) & 0x9) != 0x9)
                    break;
                SendMessageW(h, BM_SETCHECK, BST_UNCHECKED, 0);
            }
            SendMessageW(entry->hwnd, BM_SETCHECK, BST_CHECKED, 0);
        } else {
            SendMessageW(entry->hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
        }
        break;
    case Kind::Button:
        SendMessageW(entry->hwnd, BM_SETCHECK, state ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    case Kind::List:
        SendMessageW(entry->hwnd, CB_SETCURSEL, static_cast<WPARAM>(state), 0);
        break;
    case Kind::Frame:
        break;
    }
}

void GadgetDisable(uint32_t gadget, uint32_t flag) {
    GadgetEntry* entry = FindGadget(gadget);
    if (entry)
        EnableWindow(entry->hwnd, flag ? FALSE : TRUE);
}

HWND GadgetHandle(uint32_t gadget) {
    GadgetEntry* entry = FindGadget(gadget);
    return entry ? entry->hwnd : nullptr;
}

void EventPost(uint32_t kind, uint32_t gadget, uint32_t window, uint32_t type, uint32_t data1,
               uint32_t data2) {
    if (!gQueueReady)
        return;
    EnterCriticalSection(&gQueueLock);
    bool added = false;
    if (gSuppress <= 0) {
        const Event* last = gQueue.empty() ? nullptr : &gQueue.back();
        // Identical events back to back merge into the one already waiting.
        if (!(last && kind < 65536 && last->kind == kind && last->gadget == gadget &&
              last->window == window && last->type == type)) {
            gQueue.push_back({kind, gadget, window, type, data1, data2});
            added = true;
        }
    }
    LeaveCriticalSection(&gQueueLock);
    // A post from another thread wakes the GUI thread's wait.
    if (added && gHidden && GetWindowThreadProcessId(gHidden, nullptr) != GetCurrentThreadId())
        PostMessageW(gHidden, gWakeMessage, 0, 0);
}

uint32_t EventWait() {
    ToolkitEvent.kind = 0;
    ToolkitEvent.type = static_cast<uint32_t>(-1);
    EnterCriticalSection(&gQueueLock);
    bool have = !gQueue.empty();
    Event e{};
    if (have) {
        e = gQueue.front();
        gQueue.pop_front();
    }
    LeaveCriticalSection(&gQueueLock);
    if (have) {
        ToolkitEvent = {e.kind, e.window, e.gadget, e.type, e.data1, e.data2};
        return e.kind;
    }

    MSG msg;
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1)
        return 0;
    HWND active = GetActiveWindow();
    uint32_t stored = active ? IdOfWindow(active) : 0;
    WindowEntry* entry = stored ? FindWindowEntry(stored - 1) : nullptr;
    if (entry &&
        (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0))
        ShowCues(active);
    if (entry && entry->accel && TranslateAcceleratorW(active, entry->accel, &msg)) {
        ShowCues(active);
    } else {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return msg.message;
}

uint32_t EventWindow() {
    return ToolkitEvent.window;
}
uint32_t EventGadget() {
    return ToolkitEvent.gadget;
}
uint32_t EventType() {
    return ToolkitEvent.type;
}

namespace {

struct Noted {
    HWND hwnd;
    bool topmost;
    bool disabledHere;
};

BOOL CALLBACK NoteWindow(HWND hwnd, LPARAM param) {
    auto* noted = reinterpret_cast<std::vector<Noted>*>(param);
    if (GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId() || !IsWindowVisible(hwnd))
        return TRUE;
    Noted n = {hwnd, (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, false};
    if (hwnd != GetForegroundWindow() && IsWindowEnabled(hwnd)) {
        EnableWindow(hwnd, FALSE);
        n.disabledHere = true;
    }
    noted->push_back(n);
    return TRUE;
}

} // namespace

int MessageShow(const wchar_t* caption, const wchar_t* text, uint32_t style) {
    std::vector<Noted> noted;
    EnumWindows(NoteWindow, reinterpret_cast<LPARAM>(&noted));
    for (const Noted& n : noted)
        if (n.topmost)
            SetWindowPos(n.hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    HWND owner = GetForegroundWindow();
    DWORD pid = 0;
    if (owner)
        GetWindowThreadProcessId(owner, &pid);
    if (pid != GetCurrentProcessId())
        owner = nullptr;
    int answer = MessageBoxW(owner, text ? text : L"", caption ? caption : L"", style);
    for (const Noted& n : noted) {
        if (n.disabledHere)
            EnableWindow(n.hwnd, TRUE);
        if (n.topmost)
            SetWindowPos(n.hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    return answer;
}
