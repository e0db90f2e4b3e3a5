// The tables of open windows and controls and the lookups over them, the
// resources every window shares, and the scaling from 96-DPI layout to a
// window's DPI. GUI thread only.
#include "app/toolkit/registry.h"

namespace toolkit {

HINSTANCE gInstance;
HICON gIcon;
HCURSOR gCursor;
HFONT gFont;
int gDpi = LayoutDpi;

uint32_t gNextId = FirstId;
std::map<uint32_t, WindowEntry> gWindows;
std::map<uint32_t, GadgetEntry> gGadgets;
uint32_t gGadgetList;
bool gOptionRun;

void SetIdOfWindow(HWND hwnd, uint32_t id) {
    SetPropW(hwnd, IdProperty, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id) + 1));
}

uint32_t IdOfWindow(HWND hwnd) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetPropW(hwnd, IdProperty)));
}

uint32_t TopWindowOf(HWND hwnd) {
    for (HWND h = hwnd; h; h = GetParent(h)) {
        uint32_t stored = IdOfWindow(h);
        if (stored) {
            return stored - 1;
        }
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

int Scaled(int value, int dpi) {
    return MulDiv(value, dpi, LayoutDpi);
}

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

Place ScaledPlace(const Place& layout, int dpi) {
    const int left = Scaled(layout.x, dpi), top = Scaled(layout.y, dpi);
    return {left, top, Scaled(layout.x + layout.width, dpi) - left,
            Scaled(layout.y + layout.height, dpi) - top};
}

} // namespace toolkit
