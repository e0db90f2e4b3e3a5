// A program linked the wrong way on purpose (dynamic C++ runtime, no
// resources), so that the inspection is seen to reject what it must.
#include <string>
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string text = "dynamic";
    return static_cast<int>(text.size());
}
