// ZiziDivu with its enumeration stalled, for the tests: the shipped tool's
// run, except that once N ports have been gathered the next device read
// never returns, as on a machine with a wedged USB device. N is read from
// stall-after.txt beside the program; without that file nothing stalls.
// Main thread, and the tool's worker, which the stall holds.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tools/zizidivu/bounded_run.h"
#include "tools/zizidivu/list_writer.h"

namespace {

long gStallAfter = -1; // ports gathered when the enumeration stalls; -1: never

// The number in stall-after.txt beside the program, or -1.
long ReadStallAfter() {
    const std::wstring path = ToolFolder() + L"stall-after.txt";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return -1;
    }
    char text[16] = {};
    DWORD got = 0;
    const BOOL read = ReadFile(file, text, sizeof(text) - 1, &got, nullptr);
    CloseHandle(file);
    return read && got > 0 ? std::strtol(text, nullptr, 10) : -1;
}

void StallAfter(size_t gathered) {
    if (gStallAfter >= 0 && gathered == static_cast<size_t>(gStallAfter)) {
        Sleep(INFINITE);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    gStallAfter = ReadStallAfter();
    return RunZiziDivu(EnumerationLimitMs, StallAfter);
}
