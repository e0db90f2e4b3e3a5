// Building the line of one port for listport.txt. Called on the tool's only
// thread.
#include "tools/zizidivu/port_lines.h"

namespace {

wchar_t AsciiUpper(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
}

bool IsControl(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

} // namespace

bool SamePortName(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

std::wstring PortListLine(std::wstring_view upperName, std::wstring_view portName) {
    if (portName.empty()) {
        return std::wstring();
    }
    for (wchar_t c : portName) {
        // The reader takes the text up to the first ")" and ends a line at CR,
        // LF or a zero: such a name would come back cut.
        if (c == L'(' || c == L')' || IsControl(c)) {
            return std::wstring();
        }
    }
    std::wstring name(upperName);
    // Windows' friendly names usually end with the port already: "... (COM5)".
    const size_t suffix = portName.size() + 2;
    if (name.size() >= suffix && name.back() == L')' && name[name.size() - suffix] == L'(' &&
        SamePortName(std::wstring_view(name).substr(name.size() - suffix + 1, portName.size()),
                     portName)) {
        name.resize(name.size() - suffix);
    }
    for (wchar_t& c : name) {
        if (c == L'(') {
            c = L'[';
        } else if (c == L')') {
            c = L']';
        } else if (IsControl(c)) {
            c = L' ';
        }
    }
    while (!name.empty() && IsBlank(name.back())) {
        name.pop_back();
    }
    if (name.empty()) {
        name = portName;
    }
    name += L" (";
    name += portName;
    name += L')';
    return name;
}
