// A DLL planted beside the programs under a system DLL's name (winmm.dll), as
// an attacker would leave one in a Downloads folder. It exports nothing and
// does nothing but record, when it is loaded, into planted.log in its own
// folder: its name, the program, and who asked for it: the first
// module on the stack below the loader ("loader" when only the loader is
// there, as for an import resolved at process start). Loader thread.
#include <windows.h>

#include <string>

namespace {

std::wstring FileName(HMODULE module) {
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    std::wstring text(path, length < MAX_PATH ? length : 0);
    return text.substr(text.find_last_of(L"\\/") + 1);
}

// Whether the program's own import table names `dll`: then a load that only
// the loader asked for is the program's start-up resolving its imports.
bool ProgramImports(const std::wstring& dll) {
    const auto base = reinterpret_cast<const BYTE*>(GetModuleHandleW(nullptr));
    const auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (entry.VirtualAddress == 0) {
        return false;
    }
    for (auto d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + entry.VirtualAddress);
         d->Name != 0; ++d) {
        const char* name = reinterpret_cast<const char*>(base + d->Name);
        std::wstring wide(name, name + lstrlenA(name));
        if (lstrcmpiW(wide.c_str(), dll.c_str()) == 0) {
            return true;
        }
    }
    return false;
}

// Modules that make up the loading itself, not the asking.
bool IsLoader(const std::wstring& name) {
    for (const wchar_t* loader : {L"ntdll.dll", L"kernelbase.dll", L"kernel32.dll"}) {
        if (lstrcmpiW(name.c_str(), loader) == 0) {
            return true;
        }
    }
    return false;
}

void Record(HMODULE self) {
    void* frames[62] = {};
    const USHORT count = RtlCaptureStackBackTrace(0, 62, frames, nullptr);
    std::wstring requester = L"loader";
    std::wstring stack;
    bool found = false;
    for (USHORT i = 0; i < count; ++i) {
        HMODULE module = nullptr;
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                    GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                reinterpret_cast<LPCWSTR>(frames[i]), &module)) {
            continue;
        }
        const std::wstring name = FileName(module);
        if (stack.empty() || stack.substr(stack.find_last_of(L' ') + 1) != name) {
            stack += L" " + name;
        }
        if (!found && module != self && !IsLoader(name)) {
            requester = name;
            found = true;
        }
    }
    if (!found && ProgramImports(FileName(self))) {
        requester = FileName(nullptr); // an import of the program's own
    }
    const std::wstring line = FileName(self) + L" program=" + FileName(nullptr) + L" requester=" +
                              requester + L" stack:" + stack + L"\r\n";
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    std::wstring log(path, length);
    log = log.substr(0, log.find_last_of(L"\\/") + 1) + L"planted.log";
    HANDLE file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes,
                        nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    CloseHandle(file);
}

} // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        Record(self);
    }
    return TRUE;
}
