// Loading system DLLs by their full path in the system folder. A plain
// LoadLibrary, or a delay-loaded import, searches the program's own folder
// first for a DLL that is not one of the system's known DLLs.
#include "common/system_library.h"

#include <string>

void RestrictDllSearch() {
    using SetDefaultDirectories = BOOL(WINAPI*)(DWORD);
    const auto setDefault = ModuleFunction<SetDefaultDirectories>(GetModuleHandleW(L"kernel32.dll"),
                                                                  "SetDefaultDllDirectories");
    if (!setDefault || !setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }
}

HMODULE LoadSystemLibrary(const wchar_t* library) {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    std::wstring path(folder, length);
    if (path.back() != L'\\') {
        path += L'\\';
    }
    path += library;
    // The altered search path makes the DLL's own imports resolve from the
    // system folder too, not from the program's.
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
