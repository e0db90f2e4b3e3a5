// The toolkit's start-up and end: the event queue and its wake-up window, the
// resources every window shares, the system DPI. The rest is split by job:
// registry (tables), windows, controls, event_queue (the one part another
// thread may call), focus, message_box. GUI thread only.
#include "app/toolkit/toolkit.h"
#include "app/toolkit/accessible.h"
#include "app/toolkit/registry.h"

#include <commctrl.h>

#include <vector>

using namespace toolkit;

namespace {

// The program's icon in its resource script.
constexpr WORD ProgramIconId = 1;

// Registering classes loads comctl32, the version the manifest names, before
// the first control is made: with version 6 the buttons and lists draw with
// visual styles. The set is the one the program has always registered.
constexpr DWORD CommonControlClasses = ICC_TAB_CLASSES | ICC_HOTKEY_CLASS | ICC_DATE_CLASSES |
                                       ICC_USEREX_CLASSES | ICC_INTERNET_CLASSES;
static_assert(CommonControlClasses == 0xB48);

} // namespace

// The heap is not used: see toolkit.h.
bool ToolkitStart(HINSTANCE instance, HANDLE) {
    gInstance = instance;
    const bool queued = QueueStart(instance);

    gIcon = LoadIconW(instance, MAKEINTRESOURCEW(ProgramIconId));
    gCursor = LoadCursorW(nullptr, IDC_ARROW);
    gFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // The manifest declares the program DPI-aware, so this is the real DPI of
    // the session, the one the stock font is made for; a window on a monitor
    // of another scale learns its own (dpi.cpp).
    if (HDC screen = GetDC(nullptr)) {
        int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        if (dpi > 0) {
            gDpi = dpi;
        }
        ReleaseDC(nullptr, screen);
    }
    INITCOMMONCONTROLSEX icc = {sizeof(icc), CommonControlClasses};
    InitCommonControlsEx(&icc);
    return queued;
}

void ToolkitEnd() {
    std::vector<uint32_t> open;
    for (const auto& w : gWindows) {
        open.push_back(w.first);
    }
    for (uint32_t id : open) {
        WindowClose(id);
    }
    PropServicesEnd();
    QueueEnd();
}
