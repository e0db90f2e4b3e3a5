// Narrow seams of port discovery for the tests: the same steps as
// FindDevicePort, given the folder or the window instead of taking them from
// the main window, and the list file it reads. GUI thread.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "common/holders.h"
#include "ports/list_file.h"

// Reads the module path of `window` and cuts it to its folder. False when the
// path is longer than discovery supports; an unreadable path gives true and
// an empty folder, so that the bare file names are used.
bool ReadProgramFolder(HWND window, std::wstring& folder);

// Runs folder + "ZiziDivu.exe", waits for it and reads folder + "listport.txt";
// when the tool has not ended by the limit, only a list it wrote meanwhile.
std::wstring FindPortInFolder(const std::wstring& folder);

// The port name of the last qualifying line of the list at `listPath`, or the
// empty string when the list cannot be opened or no line qualifies.
std::wstring ReadListPort(const std::wstring& listPath);

// The second way to start the tool, when CreateProcessW refuses it (on
// Windows, a tool that the system starts only elevated): through the shell,
// in the tool's own folder, waiting until `until` (GetTickCount64). True
// when it started; `ended` tells whether it ended by then.
bool LaunchThroughShell(const std::wstring& toolPath, ULONGLONG until, bool& ended);

// The working folder the shell is given for the tool: the path cut after its
// last backslash, or empty when no backslash follows its first character.
std::wstring ShellDirectoryOf(const std::wstring& toolPath);

// One list file opened for reading, closed when the holder goes. Its lines
// come from ListLineReader in chunks, so a line costs no system call per byte.
class TextFile {
  public:
    // Opens the file for reading with read sharing only, so that a list still
    // being written elsewhere is not read. IsOpen() tells whether that worked.
    explicit TextFile(const std::wstring& path);
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool IsOpen() const { return file_.IsValid(); }
    ListLineReader& Lines() { return lines_; }

  private:
    static size_t ReadChunk(void* source, uint8_t* buffer, size_t size);

    Handle file_;
    ListLineReader lines_;
};

// ReadListPort hands the undecoded lines to ListPortName (ports/list_file.h):
// the line rule is host-tested and fuzzed on bytes, and since its markers and
// parentheses are ASCII, only the name it finds needs decoding.

// UTF-8 bytes to UTF-16 with MultiByteToWideChar (CP_UTF8, no flags); bytes
// that are not UTF-8 come out as replacement characters.
std::wstring Utf8ToWide(std::string_view bytes);
