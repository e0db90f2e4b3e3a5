// The four kinds of control (frame, option, drop-down list, button): their
// creation in the newest window, their text and their state. The program's
// own changes never come back as events. GUI thread only.
#include "app/toolkit/accessible.h"
#include "app/toolkit/registry.h"
#include "app/toolkit/toolkit.h"
#include "common/system_library.h"

#include <commctrl.h>
#include <shlwapi.h>

using namespace toolkit;

namespace {

// The first comctl32 version that draws with visual styles.
constexpr DWORD ThemedComctlVersion = 6;

// The height a drop-down list is created with includes its open list. With
// visual styles the open list sizes itself to its items and a little more
// than the closed height will do; without them it is this tall.
constexpr int ThemedListExtra = 30;
constexpr int UnthemedListHeight = 350;

// Any known item height: the closed list's frame is its height less this.
constexpr int ProbeItemHeight = 15;

// CB_SETITEMHEIGHT's item index for the selection field of the closed list;
// CB_SETCURSEL's and CB_FINDSTRINGEXACT's for "none" and "from the start".
constexpr WPARAM SelectionField = static_cast<WPARAM>(-1);

// The identifier a control is created with, replaced by its own at once.
constexpr intptr_t PendingControlId = -1;

// The style bits of an automatic option (BS_AUTORADIOBUTTON, 0x9).
constexpr LONG AutoOptionBits = BS_AUTORADIOBUTTON;

int gThemed = -1; // -1 until the first list asks

// A frame paints itself where the system would cut its caption. Without
// visual styles the system also repaints a frame at once, not through
// WM_PAINT, when it is enabled or disabled or its keyboard cues change: it
// is painted again after.
LRESULT FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, WNDPROC previous) {
    if ((msg == WM_PAINT || (msg == WM_PRINTCLIENT && wParam)) &&
        PaintFrame(hwnd, reinterpret_cast<HDC>(wParam))) {
        return 0;
    }
    const LRESULT result = CallWindowProcW(previous, hwnd, msg, wParam, lParam);
    if (msg == WM_ENABLE || msg == WM_UPDATEUISTATE) {
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    return result;
}

// Every control is subclassed so that its entry and property go when it does.
LRESULT CALLBACK ControlProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    uint32_t id = static_cast<uint32_t>(GetWindowLongW(hwnd, GWL_ID));
    GadgetEntry* gadget = FindGadget(id);
    WNDPROC previous = gadget ? gadget->previous : nullptr;
    if (msg == WM_NCDESTROY) {
        if (gadget && gadget->named) {
            ForgetGadgetName(hwnd);
        }
        gGadgets.erase(id);
        RemovePropW(hwnd, GadgetProperty);
    }
    if (!previous) {
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    if (gadget->kind == Kind::Frame) {
        return FrameProc(hwnd, msg, wParam, lParam, previous);
    }
    return CallWindowProcW(previous, hwnd, msg, wParam, lParam);
}

// Whether the controls draw with visual styles: comctl32 6 or later, and the
// user's theme on. Asked once.
bool VisualStyles() {
    if (gThemed < 0) {
        gThemed = 0;
        const auto getVersion =
            ModuleFunction<DLLGETVERSIONPROC>(GetModuleHandleW(L"COMCTL32.DLL"), "DllGetVersion");
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof(info);
        if (getVersion && SUCCEEDED(getVersion(&info)) &&
            info.dwMajorVersion >= ThemedComctlVersion) {
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

// The height a list is made with: the open list's, which holds the closed
// field of `closedHeight` and the items below it.
int ListHeight(int closedHeight, int dpi) {
    return VisualStyles() ? closedHeight + Scaled(ThemedListExtra, dpi)
                          : Scaled(UnthemedListHeight, dpi);
}

// The place is at 96 DPI; the control is made at its window's DPI, in its
// window's font, and the window laid out again with it, so that a caption
// that does not fit grows its control from the start.
uint32_t CreateControl(Kind kind, const wchar_t* className, DWORD style, const Place& layout,
                       const wchar_t* caption) {
    const uint32_t window = gGadgetList;
    WindowEntry* parent = FindWindowEntry(window);
    if (!parent) {
        return 0;
    }
    Place place = ScaledPlace(layout, parent->dpi);
    if (kind == Kind::List) {
        place.height = ListHeight(place.height, parent->dpi);
    }
    HWND hwnd = CreateWindowExW(0, className, caption ? caption : L"", style, place.x, place.y,
                                place.width, place.height, parent->hwnd,
                                reinterpret_cast<HMENU>(PendingControlId), gInstance, nullptr);
    if (!hwnd) {
        return 0;
    }
    uint32_t id = gNextId++;
    GadgetEntry entry;
    entry.hwnd = hwnd;
    entry.kind = kind;
    entry.window = window;
    entry.layout = layout;
    // The identifier is the control's ID, so that WM_COMMAND names it.
    SetWindowLongW(hwnd, GWL_ID, static_cast<LONG>(id));
    SetPropW(hwnd, GadgetProperty, reinterpret_cast<HANDLE>(static_cast<uintptr_t>(id)));
    gGadgets[id] = entry;
    gGadgets[id].previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProc)));
    SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(parent->font), TRUE);
    LayoutWindow(window, parent);
    gOptionRun = false;
    return id;
}

} // namespace

uint32_t FrameCreate(int x, int y, int width, int height, const wchar_t* caption) {
    return CreateControl(Kind::Frame, L"Button", WS_CHILD | WS_VISIBLE | WS_GROUP | BS_GROUPBOX,
                         {x, y, width, height}, caption);
}

uint32_t OptionCreate(int x, int y, int width, int height, const wchar_t* caption) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
    if (!gOptionRun) {
        style |= WS_GROUP; // the first option after any other control starts a group
    }
    uint32_t id = CreateControl(Kind::Option, L"Button", style, {x, y, width, height}, caption);
    if (!id) {
        return 0;
    }
    gOptionRun = true;
    // Windows sends BN_CLICKED when an unchecked automatic option gets the
    // keyboard focus; the options change only when clicked or selected.
    SendMessageW(gGadgets[id].hwnd, BM_SETDONTCLICK, TRUE, 0);
    return id;
}

uint32_t DropListCreate(int x, int y, int width, int height) {
    return CreateControl(Kind::List, L"ComboBox",
                         WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_GROUP | WS_TABSTOP |
                             CBS_DROPDOWNLIST,
                         {x, y, width, height}, L"");
}

uint32_t ButtonCreate(int x, int y, int width, int height, const wchar_t* caption) {
    return CreateControl(Kind::Button, L"Button",
                         WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON,
                         {x, y, width, height}, caption);
}

// position -1 adds at the end. Answers 0 only for an unknown control.
uint32_t DropListAddItem(uint32_t list, int position, const wchar_t* text) {
    GadgetEntry* gadget = FindGadget(list);
    if (!gadget || gadget->kind != Kind::List || position < -1) {
        return gadget ? 1 : 0;
    }
    Suppressed quiet;
    SendMessageW(gadget->hwnd, CB_INSERTSTRING, static_cast<WPARAM>(position),
                 reinterpret_cast<LPARAM>(text ? text : L""));
    return 1;
}

std::wstring GadgetGetText(uint32_t gadget) {
    GadgetEntry* entry = FindGadget(gadget);
    return entry ? WindowText(entry->hwnd) : std::wstring();
}

// A list's text selects the item of exactly that text (none for ""); an
// unknown text leaves the selection as it is.
void GadgetSetText(uint32_t gadget, const wchar_t* text) {
    GadgetEntry* entry = FindGadget(gadget);
    if (!entry) {
        return;
    }
    Suppressed quiet;
    if (!text) {
        text = L"";
    }
    if (entry->kind == Kind::List) {
        if (!*text) {
            SendMessageW(entry->hwnd, CB_SETCURSEL, SelectionField, 0);
            return;
        }
        LRESULT found = SendMessageW(entry->hwnd, CB_FINDSTRINGEXACT, SelectionField,
                                     reinterpret_cast<LPARAM>(text));
        if (found != CB_ERR) {
            SendMessageW(entry->hwnd, CB_SETCURSEL, static_cast<WPARAM>(found), 0);
        }
        return;
    }
    SetWindowTextW(entry->hwnd, text);
}

// Options and buttons: 1 when checked. Lists: the selected item, -1 for none.
int32_t GadgetGetState(uint32_t gadget) {
    GadgetEntry* entry = FindGadget(gadget);
    if (!entry) {
        return 0;
    }
    switch (entry->kind) {
    case Kind::Option:
    case Kind::Button:
        return static_cast<int32_t>(SendMessageW(entry->hwnd, BM_GETCHECK, 0, 0) & BST_CHECKED);
    case Kind::List:
        return static_cast<int32_t>(SendMessageW(entry->hwnd, CB_GETCURSEL, 0, 0));
    case Kind::Frame:
        break;
    }
    return 0;
}

void GadgetSetState(uint32_t gadget, int32_t state) {
    GadgetEntry* entry = FindGadget(gadget);
    if (!entry) {
        return;
    }
    Suppressed quiet;
    switch (entry->kind) {
    case Kind::Option:
        if (state) {
            SelectOption(entry->hwnd);
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

namespace toolkit {

// The open list's height with it, then the closed control to exactly the
// place's height: measure the frame around a known item height, then give
// the item the rest.
void SizeList(HWND list, const Place& place, int dpi) {
    SetWindowPos(list, nullptr, place.x, place.y, place.width, ListHeight(place.height, dpi),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(list, CB_SETITEMHEIGHT, SelectionField, ProbeItemHeight);
    RECT rect;
    if (!GetWindowRect(list, &rect)) {
        return;
    }
    const int border = (rect.bottom - rect.top) - ProbeItemHeight;
    SendMessageW(list, CB_SETITEMHEIGHT, SelectionField, place.height - border);
}

// The group runs from the window with WS_GROUP at or before the option
// forward over the automatic options that follow it.
std::vector<HWND> OptionGroup(HWND option) {
    HWND start = option;
    while (start && !(GetWindowLongW(start, GWL_STYLE) & WS_GROUP)) {
        HWND previous = GetWindow(start, GW_HWNDPREV);
        if (!previous) {
            break;
        }
        start = previous;
    }
    std::vector<HWND> group;
    for (HWND h = start; h; h = GetWindow(h, GW_HWNDNEXT)) {
        if ((GetWindowLongW(h, GWL_STYLE) & AutoOptionBits) != AutoOptionBits) {
            break;
        }
        group.push_back(h);
    }
    return group;
}

void SelectOption(HWND option) {
    for (HWND h : OptionGroup(option)) {
        SendMessageW(h, BM_SETCHECK, BST_UNCHECKED, 0);
    }
    SendMessageW(option, BM_SETCHECK, BST_CHECKED, 0);
}

} // namespace toolkit

void GadgetDisable(uint32_t gadget, uint32_t flag) {
    GadgetEntry* entry = FindGadget(gadget);
    if (entry) {
        EnableWindow(entry->hwnd, flag ? FALSE : TRUE);
    }
}
