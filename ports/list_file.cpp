// The line splitting and the qualifying-line rule of the port list, over
// bytes. Each line is scanned a fixed number of times (two marker searches,
// one for "(" and one for ")"), so the work is linear in the size of the list;
// and the program folder cut from the module path. Called on the GUI thread.
#include "ports/list_file.h"

bool ListLineReader::Fill() {
    if (next_ < filled_) {
        return true;
    }
    if (ended_) {
        return false;
    }
    next_ = 0;
    filled_ = read_(source_, chunk_, ChunkSize);
    if (filled_ > ChunkSize) {
        filled_ = ChunkSize; // a reader that claims more than it was given
    }
    if (filled_ == 0) {
        ended_ = true;
        return false;
    }
    return true;
}

bool ListLineReader::AtEnd() {
    return !Fill();
}

void ListLineReader::ReadLine(std::string& line) {
    line.clear();
    while (Fill()) {
        const uint8_t* begin = chunk_ + next_;
        const uint8_t* end = chunk_ + filled_;
        const uint8_t* stop = begin;
        while (stop != end && *stop != '\n' && *stop != '\r' && *stop != 0) {
            ++stop;
        }
        line.append(reinterpret_cast<const char*>(begin), static_cast<size_t>(stop - begin));
        next_ = static_cast<size_t>(stop - chunk_);
        if (stop == end) {
            continue; // the line goes on in the next chunk
        }
        const uint8_t terminator = *stop;
        ++next_;
        // An LF right after a CR belongs to the same line end, even when the
        // two straddle a chunk boundary.
        if (terminator == '\r' && Fill() && chunk_[next_] == '\n') {
            ++next_;
        }
        return;
    }
}

bool LinePortName(std::string_view line, PortNameSpan& span) {
    if (line.find(ProlificMarker) == std::string_view::npos &&
        line.find(Ch340Marker) == std::string_view::npos) {
        return false;
    }
    const size_t open = line.find('(');
    const size_t close = line.find(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return false;
    }
    span.start = open + 1;
    span.length = close - open - 1;
    return true;
}

std::string ListPortName(ListLineReader& reader) {
    std::string result;
    std::string line;
    while (!reader.AtEnd()) {
        reader.ReadLine(line);
        PortNameSpan span;
        if (LinePortName(line, span)) {
            // The last qualifying line decides, even when its name is empty.
            result.assign(line, span.start, span.length);
        }
    }
    return result;
}

std::wstring FolderOfPath(std::wstring_view path) {
    size_t begin = 0;
    if (!path.empty() && path[0] == L'"') {
        begin = 1;
    }
    size_t cut = begin; // just after the last separator seen so far
    for (size_t i = begin; i < path.size() && path[i] != L'|'; ++i) {
        if (path[i] == L'\\' || path[i] == L'/') {
            cut = i + 1;
        }
    }
    return std::wstring(path.substr(begin, cut - begin));
}
