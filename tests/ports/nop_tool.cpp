// A do-nothing GUI program: the yardstick that the discovery benchmark starts
// the same way as the port-listing tool.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return 0;
}
