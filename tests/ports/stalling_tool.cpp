// ZiziDivu on a machine with a wedged USB device, for the tests: the shipped
// tool's run, with the reads of the devices (SetupDiOpenDevRegKey for each
// Ports device, then RegEnumValueW for each entry of the serial device map)
// replaced in the tool's own import table. Once N devices have been read,
// the next read never returns, and it holds the loader's lock meanwhile, as
// a read wedged inside a DLL's start-up does (SetupAPI loading a class's
// co-installer, say). Windows' exit takes that lock before it ends the other
// threads, and reading the tool's own path takes it too: from then on only
// the hard end at the time limit ends the tool, and only with a folder found
// before the worker started. N is read from stall-after.txt beside the
// program; without that file nothing stalls. The shipped enumeration has no
// hook for this: its calls into the system are the only seam.
// Before its first device read the stand-in loads winmm.dll by the bare
// name, as a system DLL loads a helper of its own: a copy planted beside the
// tool must not be the one taken (the tool restricts the search at start).
// "hold" in stall-after.txt instead makes a tool that writes nothing and does
// not end for 10 s, and "list-hold" one that writes its list and then stays
// as long: from the configurator's side, a tool whose thread sits in a kernel
// wait that no end of the process can cut short. Either ends by itself.
// Main thread, and the tool's worker, which the stall holds.
#include <windows.h>

#include <setupapi.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/system_library.h"
#include "tools/zizidivu/bounded_run.h"
#include "tools/zizidivu/list_writer.h"

namespace {

constexpr long Hold = -2;
constexpr long ListHold = -3;
constexpr DWORD HoldMs = 10000;
// The exit code when the import could not be replaced: nothing was listed.
constexpr int NoStandIn = 9;

using OpenDevRegKey = HKEY(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, DWORD, DWORD, REGSAM);
using EnumValue = LONG(WINAPI*)(HKEY, DWORD, LPWSTR, LPDWORD, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
using LockLoaderLock = LONG(NTAPI*)(ULONG flags, ULONG* disposition, ULONG_PTR* cookie);

OpenDevRegKey gRealOpen = nullptr;
EnumValue gRealEnum = nullptr;
long gStallAfter = -1; // devices read when the enumeration stalls; -1: never
long gReads = 0;       // devices read so far (the worker only)

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

[[noreturn]] void WedgeHoldingTheLoaderLock() {
    const auto lock =
        ModuleFunction<LockLoaderLock>(GetModuleHandleW(L"ntdll.dll"), "LdrLockLoaderLock");
    ULONG disposition = 0;
    ULONG_PTR cookie = 0;
    if (!lock || lock(0, &disposition, &cookie) < 0) {
        ExitProcess(NoStandIn); // no wedge to offer: the test sees the code
    }
    for (;;) {
        Sleep(INFINITE);
    }
}

void BeforeDeviceRead() {
    if (gReads == 0) {
        LoadLibraryW(L"winmm.dll"); // which copy came is the plant's to record
    }
    if (gStallAfter >= 0 && gReads == gStallAfter) {
        WedgeHoldingTheLoaderLock();
    }
    ++gReads;
}

HKEY WINAPI WedgedOpenDevRegKey(HDEVINFO set, PSP_DEVINFO_DATA device, DWORD scope, DWORD profile,
                                DWORD keyType, REGSAM access) {
    BeforeDeviceRead();
    return gRealOpen(set, device, scope, profile, keyType, access);
}

LONG WINAPI WedgedEnumValue(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength,
                            LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD bytes) {
    BeforeDeviceRead();
    return gRealEnum(key, index, name, nameLength, reserved, type, data, bytes);
}

// Points this program's import of `real` at `replacement`.
bool ReplaceImport(void* real, void* replacement) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) {
        return false;
    }
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            if (slot->u1.Function != reinterpret_cast<ULONG_PTR>(real)) {
                continue;
            }
            DWORD was = 0;
            if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &was)) {
                return false;
            }
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(slot, sizeof(*slot), was, &was);
            return true;
        }
    }
    return false;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    gStallAfter = ReadStallAfter();
    if (gStallAfter == Hold) {
        Sleep(HoldMs);
        return 0;
    }
    gRealOpen =
        ModuleFunction<OpenDevRegKey>(GetModuleHandleW(L"setupapi.dll"), "SetupDiOpenDevRegKey");
    gRealEnum = ModuleFunction<EnumValue>(GetModuleHandleW(L"advapi32.dll"), "RegEnumValueW");
    if (!gRealOpen || !gRealEnum ||
        !ReplaceImport(reinterpret_cast<void*>(gRealOpen),
                       reinterpret_cast<void*>(&WedgedOpenDevRegKey)) ||
        !ReplaceImport(reinterpret_cast<void*>(gRealEnum),
                       reinterpret_cast<void*>(&WedgedEnumValue))) {
        return NoStandIn;
    }
    const int code = RunZiziDivu();
    if (gStallAfter == ListHold) {
        Sleep(HoldMs);
    }
    return code;
}
