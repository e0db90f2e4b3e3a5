// libFuzzer target of the port list reader: any bytes, given out in chunks
// of a size taken from the input, must split and match without a fault, and
// give the same name whatever the chunk size. The name found is never longer
// than the list and always stands between a "(" and a ")" of it with no ")"
// or line end inside; a line without a marker before or after the list
// changes nothing, and a cable's line after it decides.
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

std::string PortOf(std::string_view list, size_t step) {
    Input in{reinterpret_cast<const uint8_t*>(list.data()), list.size(), step, 0};
    ListLineReader reader(&Input::Read, &in);
    return ListPortName(reader);
}

void Require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t step = 1 + data[0] % 16;
    const std::string list(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string name = PortOf(list, 1 << 20);
    Require(PortOf(list, step) == name);
    Require(name.size() + 2 <= list.size() || name.empty());
    if (!name.empty()) {
        Require(list.find("(" + name + ")") != std::string::npos);
        Require(name.find_first_of(std::string_view(")\r\n\0", 4)) == std::string::npos);
    }
    Require(PortOf("OTHER PORT (COM1)\n" + list + "\nOTHER PORT (COM2)\n", step) == name);
    Require(PortOf(list + "\nUSB-SERIAL CH340 (COM77)", step) == "COM77");
    return 0;
}
