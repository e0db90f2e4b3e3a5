// Building the lines of listport.txt from what the tool gathered about each
// port: the cable family from the hardware IDs, the marker, the line's shape
// and the order of the lines. Called on the tool's only thread.
#include "tools/zizidivu/port_lines.h"

#include <algorithm>
#include <iterator>

namespace {

// The configurator's markers, in exactly this case.
constexpr std::wstring_view ProlificMarker = L"PROLIFIC USB-TO-SERIAL COMM PORT";
constexpr std::wstring_view WchMarker = L"USB-SERIAL CH340";

constexpr unsigned ProlificVendor = 0x067B;
constexpr unsigned WchVendor = 0x1A86;

wchar_t AsciiUpper(wchar_t c) {
    return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c;
}

bool IsControl(wchar_t c) {
    return c < 0x20 || c == 0x7F;
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') {
        return c - L'0';
    }
    const wchar_t upper = AsciiUpper(c);
    return (upper >= L'A' && upper <= L'F') ? upper - L'A' + 10 : -1;
}

// The USB vendor of an ID such as "USB\VID_1A86&PID_7523&REV_0264", or -1.
int UsbVendor(std::wstring_view id) {
    constexpr std::wstring_view prefix = L"USB\\VID_";
    if (id.size() < prefix.size() + 4 || !SamePortName(id.substr(0, prefix.size()), prefix)) {
        return -1;
    }
    int vendor = 0;
    for (size_t i = prefix.size(); i < prefix.size() + 4; ++i) {
        const int digit = HexDigit(id[i]);
        if (digit < 0) {
            return -1;
        }
        vendor = vendor * 16 + digit;
    }
    const size_t after = prefix.size() + 4;
    if (after < id.size() && id[after] != L'&' && id[after] != L'\\') {
        return -1; // more hex digits: not a vendor ID
    }
    return vendor;
}

bool PortNameWritable(std::wstring_view portName) {
    if (portName.empty()) {
        return false;
    }
    for (wchar_t c : portName) {
        // The reader takes the text up to the first ")" and ends a line at CR,
        // LF or a zero: such a name would come back cut.
        if (c == L'(' || c == L')' || IsControl(c)) {
            return false;
        }
    }
    return true;
}

// The driver's name without the "(port)" it usually ends with, control
// characters as blanks (they would end the line), without blanks around it.
std::wstring NameWithoutPort(std::wstring_view name, std::wstring_view portName) {
    const size_t suffix = portName.size() + 2;
    std::wstring_view trimmed = name;
    while (!trimmed.empty() && IsBlank(trimmed.back())) {
        trimmed.remove_suffix(1);
    }
    if (trimmed.size() >= suffix && trimmed.back() == L')' &&
        trimmed[trimmed.size() - suffix] == L'(' &&
        SamePortName(trimmed.substr(trimmed.size() - suffix + 1, portName.size()), portName)) {
        trimmed.remove_suffix(suffix);
    }
    std::wstring text(trimmed);
    for (wchar_t& c : text) {
        if (IsControl(c)) {
            c = L' ';
        }
    }
    const size_t first = text.find_first_not_of(L" \t");
    const size_t last = text.find_last_not_of(L" \t");
    return first == std::wstring::npos ? std::wstring() : text.substr(first, last - first + 1);
}

std::wstring CableLine(std::wstring_view marker, const SerialPortEntry& entry) {
    std::wstring line(marker);
    line += L" (";
    line += entry.port;
    line += L')';
    // After the port, so that parentheses in it cannot be taken for the port.
    const std::wstring name = NameWithoutPort(entry.name, entry.port);
    if (!name.empty() && !SamePortName(name, marker)) {
        line += L' ';
        line += name;
    }
    return line;
}

// The decimal text of a number, without the printf engine that
// std::to_wstring would bring into the shipped tool.
std::wstring DecimalText(unsigned long value) {
    wchar_t digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return std::wstring(std::make_reverse_iterator(digits + count),
                        std::make_reverse_iterator(digits));
}

std::wstring ProblemLine(const SerialPortEntry& entry) {
    std::wstring line = L"DEVICE PROBLEM " + DecimalText(entry.problem) + L" (";
    line += entry.port;
    line += L')';
    std::wstring name = NameWithoutPort(entry.name, entry.port);
    if (!name.empty()) {
        // Both markers are upper case: in lower case the name holds neither.
        for (wchar_t& c : name) {
            if (c >= L'A' && c <= L'Z') {
                c = wchar_t(c - L'A' + L'a');
            }
        }
        line += L' ';
        line += name;
    }
    return line;
}

// The number of "COM<digits>", or -1 for any other port name.
long ComNumber(std::wstring_view port) {
    if (port.size() < 4 || port.size() > 12 || !SamePortName(port.substr(0, 3), L"COM")) {
        return -1;
    }
    long number = 0;
    for (wchar_t c : port.substr(3)) {
        if (c < L'0' || c > L'9') {
            return -1;
        }
        number = number * 10 + (c - L'0');
    }
    return number;
}

bool PortBefore(const SerialPortEntry& a, const SerialPortEntry& b) {
    const long na = ComNumber(a.port);
    const long nb = ComNumber(b.port);
    if ((na < 0) != (nb < 0)) {
        return na >= 0; // COM ports first
    }
    if (na != nb) {
        return na < nb;
    }
    return std::lexicographical_compare(
        a.port.begin(), a.port.end(), b.port.begin(), b.port.end(),
        [](wchar_t x, wchar_t y) { return AsciiUpper(x) < AsciiUpper(y); });
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
    if (!PortNameWritable(portName)) {
        return std::wstring();
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

CableKind CableOfHardwareIds(const std::vector<std::wstring>& ids) {
    for (const auto& id : ids) {
        const int vendor = UsbVendor(id);
        if (vendor == ProlificVendor) {
            return CableProlific;
        }
        if (vendor == WchVendor) {
            return CableWch;
        }
        if (vendor >= 0) {
            return CableNone;
        }
    }
    return CableNone;
}

std::wstring DeviceListLine(const SerialPortEntry& entry) {
    if (!PortNameWritable(entry.port)) {
        return std::wstring();
    }
    // A device in trouble (Code 10, say) cannot carry the link: no marker.
    if (entry.problem != 0) {
        return ProblemLine(entry);
    }
    switch (CableOfHardwareIds(entry.hardwareIds)) {
    case CableProlific:
        return CableLine(ProlificMarker, entry);
    case CableWch:
        return CableLine(WchMarker, entry);
    case CableNone:
        break;
    }
    return PortListLine(entry.upperName, entry.port);
}

std::vector<std::wstring> PortListLines(const std::vector<SerialPortEntry>& entries) {
    // The configurator takes the last cable line: a fixed order makes that
    // the same cable on every run.
    std::vector<const SerialPortEntry*> sorted;
    for (const auto& entry : entries) {
        sorted.push_back(&entry);
    }
    std::stable_sort(
        sorted.begin(), sorted.end(),
        [](const SerialPortEntry* a, const SerialPortEntry* b) { return PortBefore(*a, *b); });
    std::vector<std::wstring> lines;
    for (const SerialPortEntry* entry : sorted) {
        std::wstring line = DeviceListLine(*entry);
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}
