// libFuzzer target of the port list reader: any bytes, given out in chunks
// of a size taken from the input, must split and match without a fault, and
// the result must not depend on the chunk size or on a slow line-by-line
// reference of the same rule.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "ports/list_file.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t step;
    size_t at;
    static size_t Read(void* source, uint8_t* buffer, size_t size) {
        auto* in = static_cast<Input*>(source);
        size_t n = in->size - in->at;
        if (n > size) {
            n = size;
        }
        if (n > in->step) {
            n = in->step;
        }
        std::memcpy(buffer, in->data + in->at, n);
        in->at += n;
        return n;
    }
};

// The rule written out byte by byte, as the list's format states it.
std::string Reference(const uint8_t* data, size_t size, bool& found) {
    std::string result;
    found = false;
    size_t i = 0;
    while (i < size) {
        std::string line;
        while (i < size && data[i] != 0 && data[i] != '\n' && data[i] != '\r') {
            line += static_cast<char>(data[i++]);
        }
        if (i < size) {
            const uint8_t end = data[i++];
            if (end == '\r' && i < size && data[i] == '\n') {
                ++i;
            }
        }
        const std::string_view view(line);
        if (view.find(ProlificMarker) == view.npos && view.find(Ch340Marker) == view.npos) {
            continue;
        }
        const size_t open = view.find('('), close = view.find(')');
        if (open != view.npos && close != view.npos && close > open) {
            result = line.substr(open + 1, close - open - 1);
            found = true;
        }
    }
    return result;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t step = 1 + data[0] % 16;
    ++data;
    --size;
    bool refFound = false;
    const std::string expected = Reference(data, size, refFound);
    for (size_t s : {step, size_t{1} << 20}) {
        Input in{data, size, s, 0};
        ListLineReader reader(&Input::Read, &in);
        bool found = false;
        const std::string name = ListPortName(reader, found);
        if (found != refFound || name != expected) {
            std::abort();
        }
    }
    return 0;
}
