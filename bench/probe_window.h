// The one top-level window of the benchmarks' probe programs and their
// message loop: a plain class, caption, system menu and minimize box,
// 300 x 130 at the default place, like the configurator's window in kind.
#pragma once

#include <windows.h>

// The window procedure of a probe window: the program ends with its window.
// A probe with messages of its own hands the rest on to this.
inline LRESULT CALLBACK ProbeWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

// Registers the class and creates the window, not yet shown; null on failure.
inline HWND OpenProbeWindow(HINSTANCE instance, WNDPROC procedure, const wchar_t* className,
                            const wchar_t* title) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className;
    if (!RegisterClassW(&windowClass)) {
        return nullptr;
    }
    return CreateWindowExW(0, className, title, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           CW_USEDEFAULT, CW_USEDEFAULT, 300, 130, nullptr, nullptr, instance,
                           nullptr);
}

// Runs until WM_QUIT; returns its exit code.
inline int RunProbeLoop() {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
