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

// The address of `function` in the system DLL `library`, or nullptr.
FARPROC SystemProcedure(const wchar_t* library, const char* function);

// The same, as a pointer of the function's own type.
template <typename Function> Function SystemFunction(const wchar_t* library, const char* function) {
    // Through a plain function pointer type, which any function pointer
    // converts to and from without a warning.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(SystemProcedure(library, function)));
}
