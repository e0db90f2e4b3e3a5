// The program's load configuration: the loader resolves the program's own
// static imports from the system folder only, never from the program's
// folder (Windows 10 1607 and later read this; earlier systems ignore it).
// What those DLLs import in turn is not covered. Linked into each shipped
// program; cmake/set-load-config points the image's header at it after the
// link, which this linker does not do.
#include <windows.h>

#include <cstddef>

// The structure as Windows reads it, up to and including GuardFlags: the
// loader takes DependentLoadFlags only from a structure whose Size reaches
// GuardFlags, and ignores it in a shorter one. These headers' own
// IMAGE_LOAD_CONFIG_DIRECTORY32/64 stop at SEHandlerCount, so it is spelt out
// here. Addresses and counts are pointer-sized; the two heap fields swap
// places between the 32-bit and the 64-bit layout.
struct LoadConfig {
    DWORD Size;
    DWORD TimeDateStamp;
    WORD MajorVersion;
    WORD MinorVersion;
    DWORD GlobalFlagsClear;
    DWORD GlobalFlagsSet;
    DWORD CriticalSectionDefaultTimeout;
    ULONG_PTR DeCommitFreeBlockThreshold;
    ULONG_PTR DeCommitTotalFreeThreshold;
    ULONG_PTR LockPrefixTable;
    ULONG_PTR MaximumAllocationSize;
    ULONG_PTR VirtualMemoryThreshold;
#ifdef _WIN64
    ULONG_PTR ProcessAffinityMask;
    DWORD ProcessHeapFlags;
#else
    DWORD ProcessHeapFlags;
    ULONG_PTR ProcessAffinityMask;
#endif
    WORD CSDVersion;
    WORD DependentLoadFlags;
    ULONG_PTR EditList;
    ULONG_PTR SecurityCookie;
    ULONG_PTR SEHandlerTable;
    ULONG_PTR SEHandlerCount;
    ULONG_PTR GuardCFCheckFunctionPointer;
    ULONG_PTR GuardCFDispatchFunctionPointer;
    ULONG_PTR GuardCFFunctionTable;
    ULONG_PTR GuardCFFunctionCount;
    DWORD GuardFlags;
};

// Where the loader looks for these fields; cmake/set-load-config and the
// package inspection (tests/package/read-pe) know the same offsets.
#ifdef _WIN64
static_assert(offsetof(LoadConfig, DependentLoadFlags) == 0x4E);
static_assert(offsetof(LoadConfig, SecurityCookie) == 0x58);
static_assert(offsetof(LoadConfig, GuardFlags) == 0x90);
#else
static_assert(offsetof(LoadConfig, DependentLoadFlags) == 0x36);
static_assert(offsetof(LoadConfig, SecurityCookie) == 0x3C);
static_assert(offsetof(LoadConfig, GuardFlags) == 0x58);
#endif

// The structure's end as its Size gives it: the 64-bit struct's alignment
// padding after GuardFlags is not part of it.
constexpr DWORD LoadConfigSize = offsetof(LoadConfig, GuardFlags) + sizeof(DWORD);

// Read by the loader before any code of ours runs, so it must be constant
// data. Every field but Size and DependentLoadFlags stays 0. A security
// cookie of 0 means none: Windows 8.1 and later refuse a relocated image
// without a valid cookie once its subsystem version is 6.3 or more, so that
// version stays below 6.3 (the linker's 4.0 for 32-bit programs, 5.2 for
// 64-bit ones).
constexpr LoadConfig SystemFolderOnly() {
    LoadConfig config{};
    config.Size = LoadConfigSize;
    config.DependentLoadFlags = LOAD_LIBRARY_SEARCH_SYSTEM32;
    return config;
}

extern "C" constinit const LoadConfig _load_config_used = SystemFolderOnly();
