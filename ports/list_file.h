// The portable half of port discovery: splits the bytes of listport.txt into
// lines, picks the cable's port name out of them, and cuts the module path to
// the program folder. No Win32 in it, so that the host tests and the fuzzer
// run it under the sanitizers. Called on the GUI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The two driver markers, matched exactly and case-sensitively.
inline constexpr std::string_view ProlificMarker = "PROLIFIC USB-TO-SERIAL COMM PORT";
inline constexpr std::string_view Ch340Marker = "USB-SERIAL CH340";

// Fills `buffer` with up to `size` bytes of the list and returns how many it
// gave; 0 means the end of the file or a failed read, which count alike.
using ListReadFunction = size_t (*)(void* source, uint8_t* buffer, size_t size);

// Reads the list in chunks and hands it out line by line. A line ends at LF,
// at CR (with an LF that follows at once), at a zero byte, or at the end of
// the file; the terminator is consumed and never stored.
class ListLineReader {
  public:
    ListLineReader(ListReadFunction read, void* source) : read_(read), source_(source) {}
    ListLineReader(const ListLineReader&) = delete;
    ListLineReader& operator=(const ListLineReader&) = delete;

    // True when no further byte can be read. Consumes nothing.
    bool AtEnd();
    // Replaces `line` with the bytes of the next line, without its terminator.
    void ReadLine(std::string& line);

  private:
    // Makes at least one unread byte available; false at the end.
    bool Fill();

    static constexpr size_t ChunkSize = 16384;
    ListReadFunction read_;
    void* source_;
    uint8_t chunk_[ChunkSize];
    size_t next_ = 0;
    size_t filled_ = 0;
    // Once a read gives nothing, the list is over: a failed read is its end.
    bool ended_ = false;
};

// Where the port name of a qualifying line lies: `start` bytes into the line,
// `length` bytes long (possibly 0, for "()").
struct PortNameSpan {
    size_t start;
    size_t length;
};

// True when the line names a cable port: it holds one of the driver markers
// and its first "(" stands before its first ")". The name is what lies strictly
// between those two. Every other line is ignored.
bool LinePortName(std::string_view line, PortNameSpan& span);

// Reads the whole list and returns the bytes of the port name of its last
// qualifying line; empty when none qualifies (or the last one holds "()").
std::string ListPortName(ListLineReader& reader);

// Longest module path that discovery supports; a longer one fails discovery.
inline constexpr size_t MaxModulePathLength = 254;

// The program folder: the path up to and including its last backslash or
// forward slash, or the empty string when it holds none. A leading double
// quote is skipped and the scan stops at the first "|" (neither occurs in a
// module path, but a copied command line may hold them).
std::wstring FolderOfPath(std::wstring_view path);
