// The planted-DLL scenario's counter-check: a program that loads winmm.dll
// by its bare name, the way the configurator must not, so that the planted
// copy beside it is seen to record a load that our own code asked for.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return LoadLibraryW(L"winmm.dll") ? 0 : 1;
}
