// The open listport.txt: ReadTextLine hands out its lines decoded from UTF-8,
// TextFileAtEnd tells whether any byte is left. The file is read in chunks
// through ListLineReader, so a line costs no system call per byte.
// GUI thread.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "ports/list_file.h"

// One list file opened for reading, closed when the holder goes.
class TextFile {
  public:
    // Opens the file for reading with read sharing only, so that a list still
    // being written elsewhere is not read. IsOpen() tells whether that worked.
    explicit TextFile(const std::wstring& path);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    ListLineReader& Lines() { return lines_; }

  private:
    static size_t ReadChunk(void* source, uint8_t* buffer, size_t size);

    HANDLE handle_;
    ListLineReader lines_;
};

// The next line of the file, decoded from UTF-8; its terminator is dropped.
std::wstring ReadTextLine(TextFile& file);
// True when no further byte can be read (a failed read counts as the end).
bool TextFileAtEnd(TextFile& file);

// UTF-8 bytes to UTF-16 with MultiByteToWideChar (CP_UTF8, no flags); bytes
// that are not UTF-8 come out as replacement characters.
std::wstring Utf8ToWide(std::string_view bytes);
