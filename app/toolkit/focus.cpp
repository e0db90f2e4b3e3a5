// Keyboard navigation between controls (Tab and Shift+Tab through each
// window's accelerator table, the arrow keys within a group of options), the
// keyboard cues (focus rectangle and underlined access keys) and the focus
// kept while a window is inactive. GUI thread only.
#include "app/toolkit/registry.h"
#include "app/toolkit/toolkit.h"

#include <cstdint>
#include <vector>

namespace toolkit {

namespace {

constexpr WORD CueFlags = UISF_HIDEFOCUS | UISF_HIDEACCEL;

// Our windows are not dialogs, so the system does not show the cues when the
// keyboard is used: we do, as a dialog would.
void ShowCues(HWND window) {
    LRESULT state = SendMessageW(window, WM_QUERYUISTATE, 0, 0);
    if (state & CueFlags) {
        SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_CLEAR, CueFlags), 0);
    }
}

// Hidden again when the window loses the activation, so that a mouse user
// coming back does not find them.
void HideCues(HWND window) {
    LRESULT state = SendMessageW(window, WM_QUERYUISTATE, 0, 0);
    if ((state & CueFlags) != CueFlags) {
        SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, CueFlags), 0);
    }
}

BOOL CALLBACK CollectTabStop(HWND hwnd, LPARAM param) {
    auto* list = reinterpret_cast<std::vector<HWND>*>(param);
    LONG style = GetWindowLongW(hwnd, GWL_STYLE);
    if (IsWindowEnabled(hwnd) && IsWindowVisible(hwnd) && (style & WS_TABSTOP)) {
        list->push_back(hwnd);
    }
    return TRUE;
}

// Tab and Shift+Tab: the next or previous enabled, visible tab stop in
// creation order, wrapping around.
void MoveFocus(HWND window, bool forward) {
    std::vector<HWND> stops;
    EnumChildWindows(window, CollectTabStop, reinterpret_cast<LPARAM>(&stops));
    if (stops.empty()) {
        return;
    }
    HWND focus = GetFocus();
    bool inside = focus && IsChild(window, focus);
    size_t at = stops.size();
    for (size_t i = 0; i < stops.size(); ++i) {
        if (stops[i] == focus) {
            at = i;
        }
    }
    if (forward) {
        if (!inside) {
            SetFocus(stops.front());
        } else if (at < stops.size()) {
            SetFocus(stops[(at + 1) % stops.size()]);
        }
    } else {
        if (!inside || at == 0 || at == stops.size()) {
            SetFocus(stops.back());
        } else {
            SetFocus(stops[at - 1]);
        }
    }
}

bool IsArrowKey(WPARAM key) {
    return key == VK_UP || key == VK_DOWN || key == VK_LEFT || key == VK_RIGHT;
}

// An arrow key on a focused option moves to the next (Down, Right) or the
// previous (Up, Left) enabled, visible option of its group, wrapping, selects
// it and raises the click a mouse user's choice would raise, as the arrow
// keys do in a dialog. Tab alone cannot do this: an option that loses its
// check loses WS_TABSTOP, so without the arrows a keyboard user could never
// get back to the other mode. The option is selected before it takes the
// focus, and the focus change is quiet, so that the click that Windows sends
// when an unselected option gets the focus never adds a second event.
// False when the key is not for an option group; it then goes on as usual.
bool MoveInOptionGroup(HWND window, const MSG& msg) {
    if (msg.message != WM_KEYDOWN || !IsArrowKey(msg.wParam) || msg.hwnd != GetFocus() ||
        !IsChild(window, msg.hwnd)) {
        return false;
    }
    const GadgetEntry* gadget = FindGadget(static_cast<uint32_t>(GetWindowLongW(msg.hwnd, GWL_ID)));
    if (!gadget || gadget->kind != Kind::Option || gadget->hwnd != msg.hwnd) {
        return false;
    }
    std::vector<HWND> options;
    size_t at = SIZE_MAX;
    for (HWND option : OptionGroup(msg.hwnd)) {
        if (option == msg.hwnd) {
            at = options.size();
            options.push_back(option);
        } else if (IsWindowEnabled(option) && IsWindowVisible(option)) {
            options.push_back(option);
        }
    }
    if (at == SIZE_MAX || options.size() < 2) {
        return false;
    }
    const bool forward = msg.wParam == VK_DOWN || msg.wParam == VK_RIGHT;
    HWND target = options[(forward ? at + 1 : at + options.size() - 1) % options.size()];
    {
        Suppressed quiet;
        SelectOption(target);
        SetFocus(target);
    }
    EventPost(GadgetEvent, static_cast<uint32_t>(GetWindowLongW(target, GWL_ID)),
              TopWindowOf(target), EventTypeClick, 0, 0);
    return true;
}

} // namespace

// Without a dialog's message loop nothing moves the focus on Tab, so every
// window gets a table of two entries that turn Tab and Shift+Tab into the
// commands CommandFocusNext and CommandFocusPrevious. FNOINVERT: no menu to
// flash.
HACCEL CreateFocusKeys() {
    ACCEL keys[] = {{FVIRTKEY | FNOINVERT, VK_TAB, CommandFocusNext},
                    {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CommandFocusPrevious}};
    return CreateAcceleratorTableW(keys, sizeof(keys) / sizeof(keys[0]));
}

// Before a message is dispatched: a modifier key held, Tab or an arrow key
// in an option group means the user is on the keyboard, so the cues show.
// True when the message was one of the window's accelerators or moved within
// an option group, and must not be dispatched again.
bool TranslateFocusKeys(MSG* msg) {
    HWND active = GetActiveWindow();
    uint32_t stored = active ? IdOfWindow(active) : 0;
    WindowEntry* entry = stored ? FindWindowEntry(stored - 1) : nullptr;
    if (entry &&
        (GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0)) {
        ShowCues(active);
    }
    if (entry && entry->accel && TranslateAcceleratorW(active, entry->accel, msg)) {
        ShowCues(active);
        return true;
    }
    if (entry && MoveInOptionGroup(active, *msg)) {
        ShowCues(active);
        return true;
    }
    return false;
}

void OnFocusCommand(HWND window, WORD command) {
    if (command == CommandFocusNext) {
        MoveFocus(window, true);
    } else if (command == CommandFocusPrevious) {
        MoveFocus(window, false);
    }
}

// The system does not keep a plain window's focused control across a switch
// to another window, as it does for a dialog: the control is noted when the
// window goes inactive and given the focus back when it comes back, unless it
// has since been destroyed.
void OnActivate(HWND window, WindowEntry* entry, bool active) {
    if (!active) {
        HWND focus = GetFocus();
        entry->lastFocus = (focus && IsChild(window, focus)) ? focus : nullptr;
        HideCues(window);
    } else if (entry->lastFocus && IsWindow(entry->lastFocus)) {
        SetFocus(entry->lastFocus);
    }
}

} // namespace toolkit
