// Port discovery over Win32: finds the program folder from the main window,
// runs the port-listing tool beside the configurator, waits for it and reads
// the port of the supported cable out of the list it leaves. GUI thread;
// blocks it until the tool has ended, or a little beyond the tool's own
// time limit when it does not end.
#include "ports/discovery.h"

#include <shellapi.h>

#include <vector>

#include "app/main_window.h"
#include "app/toolkit/toolkit.h"
#include "common/holders.h"
#include "common/system_library.h"
#include "ports/discovery_internal.h"
#include "ports/list_file.h"

namespace {

constexpr wchar_t ToolName[] = L"ZiziDivu.exe";
constexpr wchar_t ListName[] = L"listport.txt";
// The tool writes its list and ends itself 3 s after its start. A process
// whose thread sits in a kernel wait (a wedged device's driver starting) can
// outlive its own end, so it is waited for only this long: its 3 s, and half
// a second for its start, its writing and its exit.
constexpr DWORD ToolLimit = 3500; // ms

// Waits for the tool's process until `until` (GetTickCount64); true when it
// ended by then.
bool AwaitTool(HANDLE process, ULONGLONG until) {
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now >= until ? 0 : static_cast<DWORD>(until - now);
    return WaitForSingleObject(process, left) == WAIT_OBJECT_0;
}

bool LaunchDirect(const std::wstring& toolPath, ULONGLONG until, bool& ended) {
    // The tool path in quotes and nothing after it; CreateProcessW may write
    // into the command line, so it gets a copy of its own.
    std::wstring commandLine = L"\"" + toolPath + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &process)) {
        return false;
    }
    CloseHandle(process.hThread);
    Handle hold(process.hProcess);
    ended = AwaitTool(hold.Get(), until);
    return true;
}

} // namespace

// ShellExecuteExW, from shell32 loaded on the first start through the shell.
using ShellExecuteExFunction = BOOL(WINAPI*)(SHELLEXECUTEINFOW*);
ShellExecuteExFunction gShellExecuteEx;

bool LaunchThroughShell(const std::wstring& toolPath, ULONGLONG until, bool& ended) {
    if (!gShellExecuteEx) {
        gShellExecuteEx = SystemFunction<ShellExecuteExFunction>(L"shell32.dll", "ShellExecuteExW");
        if (!gShellExecuteEx) {
            return false;
        }
    }
    const std::wstring directory = ShellDirectoryOf(toolPath);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // No process handle closed behind our back, no asynchronous start, and no
    // error box from the shell: a missing tool is reported by the caller.
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.hwnd = nullptr;
    info.lpVerb = nullptr;
    info.lpFile = toolPath.c_str();
    info.lpParameters = L"";
    info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!gShellExecuteEx(&info)) {
        return false;
    }
    // The shell may hand the file to a program that is already running and
    // give no process back: then there is nothing to wait for.
    Handle hold(info.hProcess);
    ended = !hold.IsValid() || AwaitTool(hold.Get(), until);
    return true;
}

namespace {

// What identifies one writing of the list: the tool writes a new file and
// renames it over the old one, so a new list is a new file. Read without
// taking the file from the tool: no access, every sharing.
struct ListStamp {
    bool exists = false;
    BY_HANDLE_FILE_INFORMATION info{};

    bool operator==(const ListStamp& o) const {
        return exists == o.exists &&
               (!exists || (info.dwVolumeSerialNumber == o.info.dwVolumeSerialNumber &&
                            info.nFileIndexHigh == o.info.nFileIndexHigh &&
                            info.nFileIndexLow == o.info.nFileIndexLow &&
                            CompareFileTime(&info.ftCreationTime, &o.info.ftCreationTime) == 0 &&
                            CompareFileTime(&info.ftLastWriteTime, &o.info.ftLastWriteTime) == 0 &&
                            info.nFileSizeHigh == o.info.nFileSizeHigh &&
                            info.nFileSizeLow == o.info.nFileSizeLow));
    }
};

ListStamp StampOf(const std::wstring& listPath) {
    ListStamp stamp;
    Handle file(CreateFileW(listPath.c_str(), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    stamp.exists = file.IsValid() && GetFileInformationByHandle(file.Get(), &stamp.info);
    return stamp;
}

} // namespace

std::wstring ShellDirectoryOf(const std::wstring& toolPath) {
    const size_t slash = toolPath.rfind(L'\\');
    if (slash == std::wstring::npos || slash == 0) {
        return std::wstring();
    }
    return toolPath.substr(0, slash + 1);
}

bool ReadProgramFolder(HWND window, std::wstring& folder) {
    // Room for far more than the supported length, so that a longer path is
    // seen whole and refused instead of being cut to a wrong folder.
    std::vector<wchar_t> buffer(32768, L'\0');
    GetWindowModuleFileNameW(window, buffer.data(), static_cast<UINT>(buffer.size() - 1));
    const std::wstring_view path(buffer.data());
    if (path.size() > MaxModulePathLength) {
        folder.clear();
        return false;
    }
    folder = FolderOfPath(path);
    return true;
}

bool LaunchAndWait(const std::wstring& toolPath, bool* ended) {
    const ULONGLONG until = GetTickCount64() + ToolLimit;
    bool done = false;
    const bool started =
        LaunchDirect(toolPath, until, done) || LaunchThroughShell(toolPath, until, done);
    if (ended) {
        *ended = started && done;
    }
    return started;
}

std::wstring ReadListPort(const std::wstring& listPath) {
    TextFile list(listPath);
    if (!list.IsOpen()) {
        return std::wstring();
    }
    // The markers and parentheses are ASCII, which never occurs inside a
    // multi-byte UTF-8 sequence: the name found in the bytes is the name the
    // decoded line holds, so only the name is decoded.
    return Utf8ToWide(ListPortName(list.Lines()));
}

std::wstring FindPortInFolder(const std::wstring& folder) {
    const std::wstring listPath = folder + ListName;
    const ListStamp before = StampOf(listPath);
    bool ended = false;
    if (!LaunchAndWait(folder + ToolName, &ended)) {
        return std::wstring(); // a list from an earlier run is not read
    }
    // A tool that is still there at the limit may or may not have written
    // its list: only a list that this start of it wrote is taken.
    if (!ended && StampOf(listPath) == before) {
        return std::wstring();
    }
    return ReadListPort(listPath);
}

std::wstring FindDevicePort() {
    std::wstring folder;
    if (!ReadProgramFolder(WindowHandle(MainWindow), folder)) {
        return std::wstring();
    }
    return FindPortInFolder(folder);
}

// Reading listport.txt.

TextFile::TextFile(const std::wstring& path)
    : file_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)),
      lines_(&TextFile::ReadChunk, this) {}

size_t TextFile::ReadChunk(void* source, uint8_t* buffer, size_t size) {
    auto* file = static_cast<TextFile*>(source);
    if (!file->IsOpen()) {
        return 0;
    }
    DWORD got = 0;
    const DWORD want = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!ReadFile(file->file_.Get(), buffer, want, &got, nullptr)) {
        return 0; // a failed read ends the list; what was found so far stands
    }
    return got;
}

std::wstring Utf8ToWide(std::string_view bytes) {
    // MultiByteToWideChar takes an int count: decode long texts in pieces that
    // end before a lead byte, so that no sequence is cut in two.
    constexpr size_t Piece = 1 << 20;
    std::wstring text;
    while (!bytes.empty()) {
        size_t take = bytes.size();
        if (take > Piece) {
            take = Piece;
            for (int back = 0; back < 3 && (static_cast<unsigned char>(bytes[take]) & 0xC0) == 0x80;
                 ++back) {
                --take;
            }
        }
        const int count =
            MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(take), nullptr, 0);
        if (count <= 0) {
            break;
        }
        const size_t at = text.size();
        text.resize(at + static_cast<size_t>(count));
        if (MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(take), text.data() + at,
                                count) != count) {
            text.resize(at);
            break;
        }
        bytes.remove_prefix(take);
    }
    return text;
}
