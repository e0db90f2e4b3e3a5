// A program that calls a delay-loaded winmm function the way the system
// headers declare it (through its import pointer), so that the inspection is
// seen to judge delayed imports: the 32-bit linker leaves such a slot at 0.
#include <windows.h>

#include <mmsystem.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return static_cast<int>(timeBeginPeriod(1));
}
