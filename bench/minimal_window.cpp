// The baseline of the start-up benchmark: the least a Win32 program does to
// show one window (register a class, create, show, run the message loop).
// Built the same way as the configurator (static, GUI subsystem, stripped).
//
// Built a second time with MINIMAL_WITH_START_DLLS: the same window, but
// with the configurator's resources (its common-controls 6.0 manifest) and
// the three library calls that the configurator's start-up must make before
// its window shows (InitCommonControlsEx, CoInitialize, IsAppThemed), so
// that it loads the same DLLs first. That is the floor of a start-up that
// keeps those steps.
#include <windows.h>

#include "probe_window.h"

#ifdef MINIMAL_WITH_START_DLLS
#include <commctrl.h>
#include <objbase.h>
#include <uxtheme.h>
#endif

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#ifdef MINIMAL_WITH_START_DLLS
    INITCOMMONCONTROLSEX classes = {sizeof(classes), 0xB48};
    InitCommonControlsEx(&classes);
    CoInitialize(nullptr);
    IsAppThemed();
#endif
    HWND window = OpenProbeWindow(instance, ProbeWindowProc, L"MinimalWindow", L"Minimal window");
    if (!window) {
        return 3;
    }
    ShowWindow(window, SW_SHOWNORMAL);
    return RunProbeLoop();
}
