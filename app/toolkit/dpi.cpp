// A window's DPI and what follows from it: the control font for that DPI,
// every control laid out again from its 96-DPI place, and the answers to
// the system's messages when the window moves to a monitor of another
// scale. The functions newer than Windows 7 are looked up when called and
// stood in for by the session's DPI where they are missing. GUI thread only.
#include "app/toolkit/registry.h"
#include "app/toolkit/toolkit.h"

#include <vector>

#include "common/system_library.h"

namespace toolkit {

namespace {

using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using AdjustForDpiFunction = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <typename Function> Function User32Function(const char* name) {
    return ModuleFunction<Function>(GetModuleHandleW(L"user32.dll"), name);
}

// The controls of a window in creation order (identifiers count up).
std::vector<std::pair<uint32_t, GadgetEntry*>> ControlsOf(uint32_t window) {
    std::vector<std::pair<uint32_t, GadgetEntry*>> controls;
    for (auto& g : gGadgets) {
        if (g.second.window == window) {
            controls.emplace_back(g.first, &g.second);
        }
    }
    return controls;
}

// The control's rectangle in its parent's client area.
Place PlaceOf(HWND control) {
    RECT rect = {};
    if (!GetWindowRect(control, &rect)) {
        return {};
    }
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

bool SamePlace(const Place& a, const Place& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Gives the window the client size width × height, keeping its top left.
// Measured against the frame the window has now, so that it holds whatever
// the system's frame is at this moment.
void SetClientSize(HWND hwnd, int width, int height) {
    RECT client = {}, outer = {};
    if (!GetClientRect(hwnd, &client) || !GetWindowRect(hwnd, &outer)) {
        return;
    }
    const int dx = width - client.right, dy = height - client.bottom;
    if (dx == 0 && dy == 0) {
        return;
    }
    SetWindowPos(hwnd, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

int WindowDpi(HWND hwnd) {
    static const auto getDpi = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
    const int dpi = getDpi && hwnd ? static_cast<int>(getDpi(hwnd)) : 0;
    return dpi > 0 ? dpi : gDpi;
}

bool OuterRect(RECT* rect, DWORD style, DWORD exStyle, int dpi) {
    static const auto forDpi = User32Function<AdjustForDpiFunction>("AdjustWindowRectExForDpi");
    if (forDpi && dpi != gDpi) {
        return forDpi(rect, style, FALSE, exStyle, static_cast<UINT>(dpi)) != FALSE;
    }
    return AdjustWindowRectEx(rect, style, FALSE, exStyle) != FALSE;
}

HFONT FontForDpi(int dpi) {
    if (dpi == gDpi) {
        return gFont;
    }
    LOGFONTW font = {};
    if (GetObjectW(gFont, sizeof(font), &font) != sizeof(font)) {
        return nullptr;
    }
    font.lfHeight = MulDiv(font.lfHeight, dpi, gDpi);
    font.lfWidth = MulDiv(font.lfWidth, dpi, gDpi);
    return CreateFontIndirectW(&font);
}

void LayoutWindow(uint32_t window, WindowEntry* entry) {
    const auto controls = ControlsOf(window);
    std::vector<Fitting> fitted;
    HDC dc = GetDC(entry->hwnd);
    HGDIOBJ old = dc ? SelectObject(dc, entry->font) : nullptr;
    for (const auto& c : controls) {
        const int need =
            dc ? CaptionNeed(dc, c.second->kind, GadgetGetText(c.first), entry->dpi) : 0;
        fitted.push_back({c.second->kind, ScaledPlace(c.second->layout, entry->dpi), need});
    }
    if (dc) {
        SelectObject(dc, old);
        ReleaseDC(entry->hwnd, dc);
    }
    const int wider = FitCaptions(fitted);

    Suppressed quiet;
    for (size_t i = 0; i < controls.size(); ++i) {
        HWND hwnd = controls[i].second->hwnd;
        const Place& place = fitted[i].place;
        const bool newFont =
            reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)) != entry->font;
        if (newFont) {
            SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(entry->font), TRUE);
        }
        if (controls[i].second->kind == Kind::List) {
            // A new font resets the closed list's height to the font's.
            if (newFont || !SamePlace(PlaceOf(hwnd), place)) {
                SizeList(hwnd, place, entry->dpi);
            }
        } else if (!SamePlace(PlaceOf(hwnd), place)) {
            SetWindowPos(hwnd, nullptr, place.x, place.y, place.width, place.height,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    SetClientSize(entry->hwnd, Scaled(entry->innerWidth, entry->dpi) + wider,
                  Scaled(entry->innerHeight, entry->dpi));
}

// The system asks first how large the window wants to be at the new DPI, so
// that the rectangle it then suggests gives the exact client area.
bool OnGetDpiScaledSize(WindowEntry* entry, int dpi, SIZE* size) {
    RECT rect = {0, 0, Scaled(entry->innerWidth, dpi), Scaled(entry->innerHeight, dpi)};
    const DWORD style = static_cast<DWORD>(GetWindowLongW(entry->hwnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(entry->hwnd, GWL_EXSTYLE));
    if (!size || !OuterRect(&rect, style, exStyle, dpi)) {
        return false;
    }
    size->cx = rect.right - rect.left;
    size->cy = rect.bottom - rect.top;
    return true;
}

// The window goes where the system suggests; its controls are laid out again
// for the new DPI from their 96-DPI places, in a font made for it.
void OnDpiChanged(uint32_t window, WindowEntry* entry, int dpi, const RECT* suggested) {
    if (dpi <= 0) {
        return;
    }
    HFONT previous = entry->font;
    HFONT font = FontForDpi(dpi);
    entry->dpi = dpi;
    if (font) {
        entry->font = font;
    }
    if (suggested) {
        SetWindowPos(entry->hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    LayoutWindow(window, entry);
    if (previous && previous != gFont && previous != entry->font) {
        DeleteObject(previous);
    }
    InvalidateRect(entry->hwnd, nullptr, TRUE);
}

} // namespace toolkit
