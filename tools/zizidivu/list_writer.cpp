// Writing the port list through a temporary file and a rename. Waits are
// bounded: a list held open by a reader is retried for at most about a second.
// Called on the tool's only thread.
#include "tools/zizidivu/list_writer.h"

#include <windows.h>

#include <cstdlib>

#include "common/holders.h"

namespace {

std::string Utf8Of(const std::vector<std::wstring>& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        if (!line.empty()) {
            const int count =
                WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr,
                                    0, nullptr, nullptr);
            if (count > 0) {
                const size_t at = bytes.size();
                bytes.resize(at + static_cast<size_t>(count));
                if (WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()),
                                        bytes.data() + at, count, nullptr, nullptr) != count) {
                    bytes.resize(at);
                }
            }
        }
        bytes += "\r\n";
    }
    return bytes;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD want = left > 0x1000000 ? 0x1000000 : static_cast<DWORD>(left);
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, want, &wrote, nullptr) || wrote == 0) {
            return false;
        }
        done += wrote;
    }
    return true;
}

} // namespace

std::wstring ToolFolder() {
    std::wstring path(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 8; ++attempt) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            const size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
        }
        path.resize(path.size() * 2); // cut short: try again with more room
    }
    return std::wstring();
}

ListWriteResult WriteList(const std::wstring& folder, const std::vector<std::wstring>& lines) {
    if (folder.empty()) {
        return ListNoFolder;
    }
    const std::wstring listPath = folder + L"listport.txt";
    // Named after this process, so that two runs at once do not share it.
    wchar_t pid[11]; // a DWORD has at most ten decimal digits
    const std::wstring tempPath =
        folder + L"listport." + _ultow(GetCurrentProcessId(), pid, 10) + L".tmp";
    {
        Handle temp(CreateFileW(tempPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!temp.IsValid()) {
            return ListNoTempFile;
        }
        const bool written = WriteAll(temp.Get(), Utf8Of(lines)) && FlushFileBuffers(temp.Get());
        if (!temp.Close() || !written) {
            DeleteFileW(tempPath.c_str());
            return ListNoTempFile;
        }
    }
    // A reader holds the old list open for a moment only: retry a few times.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (MoveFileExW(tempPath.c_str(), listPath.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ListWritten;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED &&
            error != ERROR_LOCK_VIOLATION) {
            break;
        }
        Sleep(50);
    }
    DeleteFileW(tempPath.c_str());
    return ListNotReplaced;
}
