// The message-box floor of the click benchmark: a window with one button
// that, when clicked, shows the box of a successful Write, as the
// configurator does at the end of a command. The click to the box takes
// what the configurator's click to its box takes besides discovery and the
// exchange. Each click appends the wall-clock time (ms since 1970) of the
// MessageBoxW call to the stamp file, which splits that time into the
// click's delivery and MessageBoxW itself. It carries the configurator's
// resources, so its box comes from the same common-controls version.
// Usage: box_probe.exe <stamp file>
#include <windows.h>

#include "probe_window.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int ShowButton = 100;
const wchar_t* gStampPath = nullptr;

double WallMs() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const ULONGLONG t = (static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    return static_cast<double>(t - 116444736000000000ULL) / 10000.0;
}

void ShowBox(HWND owner) {
    const double called = WallMs();
    MessageBoxW(owner, L"Операция записи выполнена удачно.", L"Выполнено",
                MB_OK | MB_ICONINFORMATION);
    if (FILE* stamps = _wfopen(gStampPath, L"a")) {
        std::fprintf(stamps, "%.3f\n", called);
        std::fclose(stamps);
    }
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND && LOWORD(wParam) == ShowButton && HIWORD(wParam) == BN_CLICKED) {
        ShowBox(hwnd);
        return 0;
    }
    return ProbeWindowProc(hwnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    if (__argc < 2) {
        return 2;
    }
    gStampPath = __wargv[1];
    HWND window = OpenProbeWindow(instance, WindowProc, L"BoxProbe", L"Box probe");
    if (!window) {
        return 3;
    }
    HWND button = CreateWindowExW(
        0, L"BUTTON", L"Показать", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 205, 25, 65,
        20, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(ShowButton)), instance, nullptr);
    if (!button) {
        return 3;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    return RunProbeLoop();
}
