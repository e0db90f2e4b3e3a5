// Functions of system DLLs that the program loads only when it first needs
// them, always from the Windows system folder: a file of the same name lying
// beside the program (in a Downloads folder, say) is never loaded instead.
// Any thread; the handles stay loaded for the rest of the run.
#pragma once

#include <windows.h>

// Makes every later LoadLibrary of the process, and the dependencies the
// system resolves for it, search the system folder only, never the program's
// folder or the current one. Call first thing at start-up. Windows 7 has the
// call only with update KB2533623; without it the current folder is still
// taken out of the search, and our own loads name the system folder anyway.
void RestrictDllSearch();

// The module of `library` (for example L"winmm.dll") from the system folder,
// loaded if need be; nullptr when it cannot be loaded.
HMODULE LoadSystemLibrary(const wchar_t* library);

// `function` of a module already loaded, as a pointer of its own type;
// nullptr when the module is null or lacks it.
template <typename Function> Function ModuleFunction(HMODULE module, const char* function) {
    // Through a plain function pointer type, which any function pointer
    // converts to and from without a warning.
    return module ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(module, function)))
                  : nullptr;
}

// `function` of the system DLL `library`, loaded from the system folder if
// need be, as a pointer of its own type; nullptr when either is missing.
template <typename Function> Function SystemFunction(const wchar_t* library, const char* function) {
    return ModuleFunction<Function>(LoadSystemLibrary(library), function);
}
