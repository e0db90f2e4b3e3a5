// Top-level windows: opening, closing, and the window procedure that turns
// the system's messages (close, control notifications, timers, activation)
// into toolkit events and follows the window to a monitor of another scale.
// GUI thread only.
#include "app/toolkit/registry.h"
#include "app/toolkit/toolkit.h"

#include <commctrl.h>

#include <cstdlib>
#include <cwchar>

using namespace toolkit;

namespace {

// HIWORD(wParam) of a WM_COMMAND that comes from an accelerator table.
constexpr WORD FromAccelerator = 1;

// Sent by Windows 10 1703 and later (the headers of a Windows 7 build lack
// it) before WM_DPICHANGED, asking for the window's size at the new DPI.
constexpr UINT GetDpiScaledSizeMessage = 0x02E4;

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
    case GetDpiScaledSizeMessage:
        if (WindowEntry* entry = FindWindowEntry(self)) {
            return OnGetDpiScaledSize(entry, LOWORD(wParam), reinterpret_cast<SIZE*>(lParam));
        }
        break;
    case WM_DPICHANGED:
        if (WindowEntry* entry = FindWindowEntry(self)) {
            OnDpiChanged(self, entry, HIWORD(wParam), reinterpret_cast<const RECT*>(lParam));
            return 0;
        }
        break;
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

    // The inner size is the client area; the frame is added around it. Until
    // the window exists its DPI is the session's.
    DWORD style = flags & ~static_cast<DWORD>(WindowFlagCentre);
    DWORD exStyle = 0;
    RECT rect = {0, 0, Scaled(innerWidth, gDpi), Scaled(innerHeight, gDpi)};
    AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    HWND hwnd = CreateWindowExW(exStyle, className, title ? title : L"", style, Scaled(x, gDpi),
                                Scaled(y, gDpi), rect.right - rect.left, rect.bottom - rect.top,
                                nullptr, nullptr, gInstance, nullptr);
    if (!hwnd) {
        UnregisterClassW(className, gInstance);
        return 0;
    }
    WindowEntry entry;
    entry.hwnd = hwnd;
    entry.className = className;
    entry.innerWidth = innerWidth;
    entry.innerHeight = innerHeight;
    entry.dpi = gDpi;
    entry.font = gFont;
    // On a monitor whose scale is not the session's, the window is that
    // monitor's size from the start, and so are its controls and font.
    const int dpi = WindowDpi(hwnd);
    if (dpi != gDpi) {
        if (HFONT font = FontForDpi(dpi)) {
            entry.dpi = dpi;
            entry.font = font;
            RECT scaled = {0, 0, Scaled(innerWidth, dpi), Scaled(innerHeight, dpi)};
            if (OuterRect(&scaled, style, exStyle, dpi)) {
                SetWindowPos(hwnd, nullptr, 0, 0, scaled.right - scaled.left,
                             scaled.bottom - scaled.top,
                             SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            }
        }
    }
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
    if (entry->font && entry->font != gFont) {
        DeleteObject(entry->font);
    }
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
