// Top-level windows: opening, closing, and the window procedure that turns
// the system's messages (close, control notifications, timers, activation)
// into toolkit events. GUI thread only.
#include "app/toolkit/registry.h"
#include "app/toolkit/toolkit.h"

#include <commctrl.h>

#include <cstdlib>
#include <cwchar>

using namespace toolkit;

namespace {

// HIWORD(wParam) of a WM_COMMAND that comes from an accelerator table.
constexpr WORD FromAccelerator = 1;

// "WindowClass_" and the identifier in decimal (at most ten digits) fit.
constexpr size_t ClassNameLength = 32;

LRESULT CALLBACK ToolkitWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    uint32_t stored = IdOfWindow(hwnd);
    uint32_t self = stored ? stored - 1 : 0;
    switch (msg) {
    case WM_CLOSE:
        // The program decides whether the window closes: it gets an event.
        if (stored) {
            EventPost(CloseWindowEvent, self, self, 0, 0, 0);
        }
        return 0;
    case WM_COMMAND:
        if (lParam) {
            HWND control = reinterpret_cast<HWND>(lParam);
            uint32_t id = static_cast<uint32_t>(GetWindowLongW(control, GWL_ID));
            GadgetEntry* gadget = FindGadget(id);
            if (!gadget) {
                return 0;
            }
            uint32_t code = HIWORD(wParam);
            // A list reports only a changed selection, as EventTypeChange.
            if (gadget->kind == Kind::List) {
                if (code == CBN_SELCHANGE) {
                    EventPost(GadgetEvent, id, TopWindowOf(control), EventTypeChange, 0, 0);
                }
                return 0;
            }
            EventPost(GadgetEvent, id, TopWindowOf(control), code, 0, 0);
            return 0;
        }
        if (HIWORD(wParam) == FromAccelerator) {
            OnFocusCommand(hwnd, LOWORD(wParam));
            return 0;
        }
        break;
    case WM_TIMER:
        if (stored) {
            EventPost(TimerEvent, static_cast<uint32_t>(wParam), self, 0, 0, 0);
        }
        return 0;
    case WM_ACTIVATE:
        if (WindowEntry* entry = FindWindowEntry(self)) {
            OnActivate(hwnd, entry, LOWORD(wParam) != WA_INACTIVE);
        }
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

} // namespace

uint32_t WindowOpen(int x, int y, int innerWidth, int innerHeight, const wchar_t* title,
                    uint32_t flags) {
    uint32_t id = gNextId++;
    wchar_t className[ClassNameLength] = L"WindowClass_";
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
    if (!RegisterClassExW(&wc)) {
        return 0;
    }

    // The inner size is the client area; the frame is added around it.
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
        if (w > sw) {
            w = sw;
        }
        if (h > sh) {
            h = sh;
        }
        SetWindowPos(hwnd, nullptr, (sw - w) / 2, (sh - h) / 2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    ShowWindow(hwnd, SW_SHOWNORMAL);

    gWindows[id].accel = CreateFocusKeys();

    // New controls go into the newest window; the first option starts a group.
    gGadgetList = id;
    gOptionRun = false;
    // Set last: until then the window procedure posts no events for it.
    SetIdOfWindow(hwnd, id);
    return id;
}

void WindowClose(uint32_t window) {
    WindowEntry* entry = FindWindowEntry(window);
    if (!entry) {
        return;
    }
    HWND hwnd = entry->hwnd;
    // Hand the activation to the owner first, so that the system does not
    // activate some other program's window when this one goes.
    HWND owner = GetWindow(hwnd, GW_OWNER);
    if (owner) {
        SetActiveWindow(owner);
    }
    RemovePropW(hwnd, IdProperty);
    DestroyWindow(hwnd);
    std::wstring className = entry->className;
    HACCEL accel = entry->accel;
    UnregisterClassW(className.c_str(), gInstance);
    if (accel) {
        DestroyAcceleratorTable(accel);
    }
    DrainQueueOf(window);
    gWindows.erase(window);
    if (gGadgetList == window) {
        gGadgetList = 0;
    }
}

HWND WindowHandle(uint32_t window) {
    WindowEntry* entry = FindWindowEntry(window);
    return entry ? entry->hwnd : nullptr;
}
