// The planted-DLL scenario's probe of each layer on its own: run from the
// folder that holds a planted winmm.dll, it loads winmm.dll one way (given on
// its command line) and exits 0 when the planted copy stayed out, 1 when it
// was taken, 2 when nothing loaded.
//   plain          LoadLibraryW by the bare name: the planted copy is taken
//                  (the counter-check that the plant works at all)
//   system         LoadSystemLibrary alone, with the search left as it is
//   restricted     RestrictDllSearch, then LoadLibraryW by the bare name
#include <windows.h>

#include <cwchar>

#include "common/system_library.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    HMODULE winmm = nullptr;
    if (wcscmp(commandLine, L"system") == 0) {
        winmm = LoadSystemLibrary(L"winmm.dll");
    } else {
        if (wcscmp(commandLine, L"restricted") == 0) {
            RestrictDllSearch();
        }
        winmm = LoadLibraryW(L"winmm.dll");
    }
    if (!winmm) {
        return 2;
    }
    // The planted copy exports nothing; the system's has timeBeginPeriod.
    return GetProcAddress(winmm, "timeBeginPeriod") ? 0 : 1;
}
