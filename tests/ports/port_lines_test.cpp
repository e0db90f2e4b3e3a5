// Host tests of the lines ZiziDivu writes: whatever the device calls itself,
// the line's first pair of parentheses must give the port back through the
// configurator's own rule, and a cable's marker must survive.
#include <gtest/gtest.h>

#include <string>

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

TEST(SamePortName, AsciiCaseOnly) {
    EXPECT_TRUE(SamePortName(L"COM5", L"com5"));
    EXPECT_FALSE(SamePortName(L"COM5", L"COM50"));
    EXPECT_FALSE(SamePortName(L"COM5", L"COM6"));
    EXPECT_TRUE(SamePortName(L"", L""));
}

} // namespace
