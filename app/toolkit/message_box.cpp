// The modal message box, owned by the program's foreground window and modal
// over every window of the GUI thread, not only its owner. GUI thread only.
#include "app/toolkit/toolkit.h"

#include <vector>

namespace {

struct Noted {
    HWND hwnd;
    bool topmost;
    bool disabledHere; // enabled again after the box, and only these
};

// A box owned by one window leaves the thread's other windows usable: they
// are disabled while it is up, all but the owner, which the box disables
// itself. A window that was disabled already is left as it is.
BOOL CALLBACK NoteWindow(HWND hwnd, LPARAM param) {
    auto* noted = reinterpret_cast<std::vector<Noted>*>(param);
    if (GetWindowThreadProcessId(hwnd, nullptr) != GetCurrentThreadId() || !IsWindowVisible(hwnd)) {
        return TRUE;
    }
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
    // A topmost window of ours would cover the box, which is not topmost:
    // ours drop out of the topmost band while it is up and go back after.
    for (const Noted& n : noted) {
        if (n.topmost) {
            SetWindowPos(n.hwnd, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
    }
    // Owned by our foreground window, if the foreground is ours: the box then
    // stays above it. Never owned by another program's window.
    HWND owner = GetForegroundWindow();
    DWORD pid = 0;
    if (owner) {
        GetWindowThreadProcessId(owner, &pid);
    }
    if (pid != GetCurrentProcessId()) {
        owner = nullptr;
    }
    int answer = MessageBoxW(owner, text ? text : L"", caption ? caption : L"", style);
    for (const Noted& n : noted) {
        if (n.disabledHere) {
            EnableWindow(n.hwnd, TRUE);
        }
        if (n.topmost) {
            SetWindowPos(n.hwnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        }
    }
    return answer;
}
