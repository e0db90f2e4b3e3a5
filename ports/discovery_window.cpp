// The two discovery entries that take the program folder from the main
// window: GetProgramFolder and FindDevicePort. Kept apart from the rest so
// that the tests of the steps below need no window. GUI thread.
#include "ports/discovery.h"

#include "app/main_window.h"
#include "app/toolkit/toolkit.h"
#include "ports/discovery_internal.h"

std::wstring GetProgramFolder() {
    std::wstring folder;
    ReadProgramFolder(WindowHandle(MainWindow), folder);
    return folder;
}

std::wstring FindDevicePort() {
    std::wstring folder;
    if (!ReadProgramFolder(WindowHandle(MainWindow), folder)) {
        return std::wstring();
    }
    return FindPortInFolder(folder);
}
