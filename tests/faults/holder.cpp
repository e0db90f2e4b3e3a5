// A test helper for the discovery fault tests: opens the file named on its
// command line for writing with no sharing, as a program still writing the
// list would, leaves "<file>.held" beside it, and keeps the file open until
// "<file>.release" appears (or a minute has passed). One thread.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command, int) {
    std::wstring path = command;
    if (!path.empty() && path.front() == L'"') {
        path = path.substr(1, path.find(L'"', 1) - 1);
    }
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 2;
    }
    HANDLE mark = CreateFileW((path + L".held").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) {
        CloseHandle(mark);
    }
    const std::wstring release = path + L".release";
    for (int i = 0; i < 600; ++i) {
        if (GetFileAttributesW(release.c_str()) != INVALID_FILE_ATTRIBUTES) {
            break;
        }
        Sleep(100);
    }
    CloseHandle(file);
    return 0;
}
