// Host tests of the lines ZiziDivu writes: whatever the device calls itself,
// the line's first pair of parentheses must give the port back through the
// configurator's own rule, a cable's marker must survive, a device with a
// problem must not qualify, and the lines go in COM number order.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "ports/list_file.h"
#include "tools/zizidivu/port_lines.h"

namespace {

struct LineCase {
    const wchar_t* name; // already in upper case, as the tool passes it
    const wchar_t* port;
    const wchar_t* line;
};

TEST(PortListLine, Shapes) {
    const LineCase cases[] = {
        {L"USB-SERIAL CH340 (COM5)", L"COM5", L"USB-SERIAL CH340 (COM5)"},
        {L"PROLIFIC USB-TO-SERIAL COMM PORT (COM12)", L"COM12",
         L"PROLIFIC USB-TO-SERIAL COMM PORT (COM12)"},
        {L"USB-SERIAL CH340", L"COM5", L"USB-SERIAL CH340 (COM5)"},
        {L"USB-SERIAL CH340 (COM5)", L"com5", L"USB-SERIAL CH340 (com5)"},
        {L"USB-SERIAL CH340 (COM5)", L"COM6", L"USB-SERIAL CH340 [COM5] (COM6)"},
        {L"DEVICE (INTERFACE 0) (COM7)", L"COM7", L"DEVICE [INTERFACE 0] (COM7)"},
        {L"USB-SERIAL CH340 (COM5)  ", L"COM5", L"USB-SERIAL CH340 [COM5] (COM5)"},
        {L"TWO\r\nLINES\tX", L"COM3", L"TWO  LINES X (COM3)"},
        {L"", L"COM9", L"COM9 (COM9)"},
        {L"\\DEVICE\\SERIAL0", L"COM1", L"\\DEVICE\\SERIAL0 (COM1)"},
        {L"(COM4)", L"COM4", L"COM4 (COM4)"},
        {L"\u041F\u041E\u0420\u0422", L"COM2", L"\u041F\u041E\u0420\u0422 (COM2)"},
        {L"X", L"", L""},
        {L"X", L"CO)M1", L""},
        {L"X", L"COM(1", L""},
        {L"X", L"COM\n1", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortListLine(c.name, c.port), std::wstring(c.line)) << "port " << c.port;
    }
}

TEST(PortListLine, ReaderGetsThePortBack) {
    // Names as drivers give them; each line must qualify and yield its port.
    const wchar_t* names[] = {
        L"USB-SERIAL CH340 (COM5)",
        L"USB-SERIAL CH340",
        L"USB-SERIAL CH340 (COM99)",
        L"PROLIFIC USB-TO-SERIAL COMM PORT (COM12)",
        L"PROLIFIC USB-TO-SERIAL COMM PORT) (COM12",
        L"((USB-SERIAL CH340))",
    };
    for (const wchar_t* name : names) {
        const std::wstring line = PortListLine(name, L"COM5");
        const std::string bytes(line.begin(), line.end()); // ASCII here
        PortNameSpan span{};
        ASSERT_TRUE(LinePortName(bytes, span)) << bytes;
        EXPECT_EQ(bytes.substr(span.start, span.length), "COM5") << bytes;
    }
}

struct DeviceCase {
    const wchar_t* name; // as the driver gives it; upperName is its ASCII upper case
    std::vector<std::wstring> ids;
    unsigned long problem;
    const wchar_t* line;
    const char* port; // what the configurator takes from the line; nullptr: not a cable
};

std::wstring AsciiUpperOf(const wchar_t* text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) {
        if (c >= L'a' && c <= L'z') {
            c = wchar_t(c - L'a' + L'A');
        }
    }
    return upper;
}

TEST(DeviceListLine, CableFromHardwareIds) {
    const std::wstring gt = L"USB\\VID_067B&PID_23C3&REV_0300";
    const DeviceCase cases[] = {
        // The vendor decides, in any case of letters; the driver's name follows the port.
        {L"Prolific PL2303GT USB Serial COM Port (COM18)",
         {gt, L"USB\\VID_067B&PID_23C3"},
         0,
         L"PROLIFIC USB-TO-SERIAL COMM PORT (COM18) Prolific PL2303GT USB Serial COM Port",
         "COM18"},
        {L"USB-Enhanced-SERIAL CH343 (COM18)",
         {L"usb\\vid_1a86&pid_55d3&mi_00"},
         0,
         L"USB-SERIAL CH340 (COM18) USB-Enhanced-SERIAL CH343",
         "COM18"},
        {L"usb-serial ch340 (com18)",
         {L"USB\\VID_1A86&PID_7523"},
         0,
         L"USB-SERIAL CH340 (COM18)",
         "COM18"},
        {L"", {L"USB\\VID_1A86"}, 0, L"USB-SERIAL CH340 (COM18)", "COM18"},
        // The name's own "(port)" goes when it is this port, blanks after it
        // or not; a stale one from another port stays, behind the real one.
        {L"Prolific PL2303GT (COM18)  \t",
         {gt},
         0,
         L"PROLIFIC USB-TO-SERIAL COMM PORT (COM18) Prolific PL2303GT",
         "COM18"},
        {L"Prolific PL2303GT (COM15)",
         {gt},
         0,
         L"PROLIFIC USB-TO-SERIAL COMM PORT (COM18) Prolific PL2303GT (COM15)",
         "COM18"},
        // Parentheses and line ends in the driver's name stay behind the port.
        {L"Odd (COM3) name)\r\nUSB-SERIAL CH340 (COM1",
         {gt},
         0,
         L"PROLIFIC USB-TO-SERIAL COMM PORT (COM18) Odd (COM3) name)  USB-SERIAL CH340 (COM1",
         "COM18"},
        // The first USB ID decides; other enumerators and near misses are no cable.
        {L"X",
         {L"FTDIBUS\\COMPORT&VID_1A86&PID_6001", gt},
         0,
         L"PROLIFIC USB-TO-SERIAL COMM PORT (COM18) X",
         "COM18"},
        {L"X", {L"USB\\VID_0403&PID_6001", gt}, 0, L"X (COM18)", nullptr},
        {L"X", {L"USB\\VID_1A861&PID_7523"}, 0, L"X (COM18)", nullptr},
        {L"X", {L"USB\\VID_1A8"}, 0, L"X (COM18)", nullptr},
        {L"X", {L"HID\\VID_1A86&PID_7523"}, 0, L"X (COM18)", nullptr},
        // No hardware IDs: the name alone, as before.
        {L"USB-SERIAL CH340 (COM18)", {}, 0, L"USB-SERIAL CH340 (COM18)", "COM18"},
        // A device with a problem never qualifies, whatever its name.
        {L"USB-SERIAL CH340 (COM18)",
         {L"USB\\VID_1A86&PID_7523"},
         10,
         L"DEVICE PROBLEM 10 (COM18) usb-serial ch340",
         nullptr},
        {L"PROLIFIC USB-TO-SERIAL COMM PORT (COM18)",
         {},
         28,
         L"DEVICE PROBLEM 28 (COM18) prolific usb-to-serial comm port",
         nullptr},
        {L"", {gt}, 22, L"DEVICE PROBLEM 22 (COM18)", nullptr},
    };
    for (const auto& c : cases) {
        SerialPortEntry entry;
        entry.name = c.name;
        entry.upperName = AsciiUpperOf(c.name);
        entry.port = L"COM18";
        entry.hardwareIds = c.ids;
        entry.problem = c.problem;
        const std::wstring line = DeviceListLine(entry);
        EXPECT_EQ(line, std::wstring(c.line))
            << "name " << std::string(c.name, c.name + std::wcslen(c.name));
        const std::string bytes(line.begin(), line.end()); // ASCII here
        PortNameSpan span{};
        if (c.port == nullptr) {
            EXPECT_FALSE(LinePortName(bytes, span)) << bytes;
        } else {
            EXPECT_TRUE(LinePortName(bytes, span)) << bytes;
            EXPECT_EQ(bytes.substr(span.start, span.length), c.port) << bytes;
        }
    }
}

TEST(PortListLines, AscendingComNumber) {
    const wchar_t* ports[] = {L"COM10", L"CNCA0", L"com2", L"COM9", L"\\DEVICE\\X", L"COM100"};
    std::vector<SerialPortEntry> entries;
    for (const wchar_t* port : ports) {
        SerialPortEntry entry;
        entry.port = port;
        entry.upperName = L"P";
        entries.push_back(entry);
    }
    const std::vector<std::wstring> expected = {L"P (com2)",   L"P (COM9)",  L"P (COM10)",
                                                L"P (COM100)", L"P (CNCA0)", L"P (\\DEVICE\\X)"};
    EXPECT_EQ(PortListLines(entries), expected);
}

TEST(SamePortName, AsciiCaseOnly) {
    EXPECT_TRUE(SamePortName(L"COM5", L"com5"));
    EXPECT_FALSE(SamePortName(L"COM5", L"COM50"));
    EXPECT_FALSE(SamePortName(L"COM5", L"COM6"));
    EXPECT_TRUE(SamePortName(L"", L""));
}

} // namespace
