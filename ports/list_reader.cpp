// Reading listport.txt: the file holder, ReadTextLine, its end test and the
// UTF-8 decoding of what discovery returns. GUI thread.
#include "ports/list_reader.h"

TextFile::TextFile(const std::wstring& path)
    : handle_(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)),
      lines_(&TextFile::ReadChunk, this) {}

TextFile::~TextFile() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
    }
}

size_t TextFile::ReadChunk(void* source, uint8_t* buffer, size_t size) {
    auto* file = static_cast<TextFile*>(source);
    if (file->handle_ == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD got = 0;
    const DWORD want = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
    if (!ReadFile(file->handle_, buffer, want, &got, nullptr)) {
        return 0; // a failed read ends the list; what was found so far stands
    }
    return got;
}

std::wstring ReadTextLine(TextFile& file) {
    std::string bytes;
    file.Lines().ReadLine(bytes);
    return Utf8ToWide(bytes);
}

bool TextFileAtEnd(TextFile& file) {
    return file.Lines().AtEnd();
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
