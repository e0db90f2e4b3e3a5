// A stand-in for the port-listing tool in the discovery tests: copied into a
// test folder as "ZiziDivu.exe", it records where it ran and, when the test
// left a "listport.next" beside it, puts that in place as "listport.txt".
// Without one it writes no list at all. Ends with a failure code on purpose:
// discovery must not look at it.
#include <windows.h>

#include <string>

namespace {

std::wstring OwnFolder() {
    wchar_t path[4096] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 4095);
    std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L"\\/") + 1);
}

void WriteUtf8(const std::wstring& path, const std::wstring& text) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    char bytes[8192];
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                          bytes, sizeof(bytes), nullptr, nullptr);
    DWORD wrote = 0;
    if (count > 0) {
        WriteFile(file, bytes, static_cast<DWORD>(count), &wrote, nullptr);
    }
    CloseHandle(file);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    const std::wstring folder = OwnFolder();
    wchar_t current[4096] = {};
    GetCurrentDirectoryW(4095, current);
    WriteUtf8(folder + L"ran.txt", current);
    const std::wstring next = folder + L"listport.next";
    if (GetFileAttributesW(next.c_str()) != INVALID_FILE_ATTRIBUTES) {
        CopyFileW(next.c_str(), (folder + L"listport.txt").c_str(), FALSE);
    }
    return 5;
}
