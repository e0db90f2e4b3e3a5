// ZiziDivu with its enumeration stalled, for the tests: the shipped tool's
// run, except that once N ports have been gathered the next device read
// never returns, as on a machine with a wedged USB device. N is read from
// stall-after.txt beside the program; without that file nothing stalls.
// "hold" there instead makes a tool that writes nothing and does not end for
// 10 s, and "list-hold" one that writes its list and then stays as long:
// from the configurator's side, a tool whose thread sits in a kernel wait
// that no end of the process can cut short. Either ends by itself.
// Main thread, and the tool's worker, which the stall holds.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "tools/zizidivu/bounded_run.h"
#include "tools/zizidivu/list_writer.h"

namespace {

long gStallAfter = -1; // ports gathered when the enumeration stalls; -1: never
constexpr long Hold = -2;
constexpr long ListHold = -3;
constexpr DWORD HoldMs = 10000;

// The number in stall-after.txt beside the program, Hold, ListHold, or -1.
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
    if (!read || got == 0) {
        return -1;
    }
    if (std::strncmp(text, "hold", 4) == 0) {
        return Hold;
    }
    if (std::strncmp(text, "list-hold", 9) == 0) {
        return ListHold;
    }
    return std::strtol(text, nullptr, 10);
}

void StallAfter(size_t gathered) {
    if (gStallAfter >= 0 && gathered == static_cast<size_t>(gStallAfter)) {
        Sleep(INFINITE);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    gStallAfter = ReadStallAfter();
    if (gStallAfter == Hold) {
        Sleep(HoldMs);
        return 0;
    }
    const int code = RunZiziDivu(EnumerationLimitMs, StallAfter);
    if (gStallAfter == ListHold) {
        Sleep(HoldMs);
    }
    return code;
}
