// Host tests of the port list's line splitting, the qualifying-line rule and
// the program folder cut, run under the sanitizers. Every table runs with
// several read sizes so that line ends straddling a chunk boundary are met.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "ports/list_file.h"

namespace {

using namespace std::string_literals;

// A list in memory, given out at most `step` bytes per read.
struct MemoryList {
    std::string bytes;
    size_t step;
    size_t at = 0;
    int reads = 0;

    static size_t Read(void* source, uint8_t* buffer, size_t size) {
        auto* list = static_cast<MemoryList*>(source);
        ++list->reads;
        const size_t n = std::min({size, list->step, list->bytes.size() - list->at});
        std::memcpy(buffer, list->bytes.data() + list->at, n);
        list->at += n;
        return n;
    }
};

const size_t Steps[] = {1, 2, 3, 7, 1 << 20};

std::vector<std::string> SplitAll(const std::string& bytes, size_t step) {
    MemoryList list{bytes, step};
    ListLineReader reader(&MemoryList::Read, &list);
    std::vector<std::string> lines;
    std::string line;
    while (!reader.AtEnd()) {
        reader.ReadLine(line);
        lines.push_back(line);
    }
    return lines;
}

struct FoundPort {
    bool found;
    std::string name;
};

FoundPort PortOf(const std::string& bytes, size_t step) {
    MemoryList list{bytes, step};
    ListLineReader reader(&MemoryList::Read, &list);
    FoundPort port;
    port.name = ListPortName(reader, port.found);
    return port;
}

struct SplitCase {
    const char* what;
    std::string bytes;
    std::vector<std::string> lines;
};

TEST(ListLines, LineEnds) {
    const SplitCase cases[] = {
        {"empty file", "", {}},
        {"CR LF", "a\r\nb\r\n", {"a", "b"}},
        {"LF", "a\nb\n", {"a", "b"}},
        {"lone CR", "a\rb\r", {"a", "b"}},
        {"mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"CR CR LF gives an empty line", "a\r\r\nb", {"a", "", "b"}},
        {"LF CR is two ends", "a\n\rb", {"a", "", "b"}},
        {"zero byte ends a line", "a\0b\0"s, {"a", "b"}},
        {"zero then LF", "a\0\nb"s, {"a", "", "b"}},
        {"last line without terminator", "a\nlast", {"a", "last"}},
        {"lone CR at the end ends the last line", "a\r", {"a"}},
        {"CR LF at the end", "a\r\n", {"a"}},
        {"two terminators give an empty line", "a\n\nb", {"a", "", "b"}},
        {"only a terminator", "\n", {""}},
        {"blanks are kept", "  a b  \r\n", {"  a b  "}},
        {"byte order mark stays in front", "\xEF\xBB\xBFx\r\n", {"\xEF\xBB\xBFx"}},
        {"high bytes are not terminators", "\xD0\x9F\x8D\r\n", {"\xD0\x9F\x8D"}},
    };
    for (const auto& c : cases) {
        for (size_t step : Steps) {
            EXPECT_EQ(SplitAll(c.bytes, step), c.lines) << c.what << ", step " << step;
        }
    }
}

TEST(ListLines, FailedReadIsTheEnd) {
    // A reader that gives nothing once is not asked again.
    MemoryList list{"a\nb\n", 2};
    ListLineReader reader(&MemoryList::Read, &list);
    std::string line;
    ASSERT_FALSE(reader.AtEnd());
    reader.ReadLine(line);
    EXPECT_EQ(line, "a");
    list.bytes.resize(list.at); // the rest cannot be read
    EXPECT_TRUE(reader.AtEnd());
    const int reads = list.reads;
    EXPECT_TRUE(reader.AtEnd());
    reader.ReadLine(line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(list.reads, reads);
}

TEST(ListLines, EndTestConsumesNothing) {
    MemoryList list{"xy", 1};
    ListLineReader reader(&MemoryList::Read, &list);
    std::string line;
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_FALSE(reader.AtEnd());
    reader.ReadLine(line);
    EXPECT_EQ(line, "xy");
    EXPECT_TRUE(reader.AtEnd());
}

struct PortCase {
    const char* what;
    std::string list;
    bool found;
    std::string name;
};

TEST(ListPort, QualifyingLines) {
    const PortCase cases[] = {
        {"empty list", "", false, ""},
        {"CH340", "USB-SERIAL CH340 (COM5)\r\n", true, "COM5"},
        {"Prolific", "PROLIFIC USB-TO-SERIAL COMM PORT (COM12)\r\n", true, "COM12"},
        {"other ports only", "COMMUNICATIONS PORT (COM1)\r\nFTDI (COM3)\r\n", false, ""},
        {"marker anywhere", "(COM3) USB-SERIAL CH340", true, "COM3"},
        {"marker inside a longer name", "XUSB-SERIAL CH340G (COM9)", true, "COM9"},
        {"two pairs: the first wins", "USB-SERIAL CH340 (COM7) (x)", true, "COM7"},
        {"nested: first ( to first )", "USB-SERIAL CH340 ((COM7))", true, "(COM7"},
        {"blanks kept", "USB-SERIAL CH340 ( COM3 )", true, " COM3 "},
        {"empty parentheses", "USB-SERIAL CH340 ()", true, ""},
        {"no parentheses", "USB-SERIAL CH340 COM5", false, ""},
        {"only (", "USB-SERIAL CH340 (COM5", false, ""},
        {"only )", "USB-SERIAL CH340 COM5)", false, ""},
        {") before (", "USB-SERIAL CH340 )COM5(", false, ""},
        {") before ( with a pair later", "USB-SERIAL CH340 ) (COM5)", false, ""},
        {"mixed-case Prolific", "Prolific USB-to-Serial Comm Port (COM4)\r\n", false, ""},
        {"lower-case CH340", "usb-serial ch340 (COM4)", false, ""},
        {"marker cut by a line end", "USB-SERIAL\nCH340 (COM4)", false, ""},
        {"marker cut by a zero", "USB-SERIAL \0CH340 (COM4)"s, false, ""},
        {"byte order mark", "\xEF\xBB\xBFUSB-SERIAL CH340 (COM5)\r\n", true, "COM5"},
        {"UTF-8 name kept as bytes", "USB-SERIAL CH340 (\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82)", true,
         "\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82"},
        {"lone CR at the end", "USB-SERIAL CH340 (COM6)\r", true, "COM6"},
        {"zero byte ends the line before )", "USB-SERIAL CH340 (CO\0M6)"s, false, ""},
    };
    for (const auto& c : cases) {
        for (size_t step : Steps) {
            const FoundPort port = PortOf(c.list, step);
            EXPECT_EQ(port.found, c.found) << c.what << ", step " << step;
            EXPECT_EQ(port.name, c.name) << c.what << ", step " << step;
        }
    }
}

TEST(ListPort, LastQualifyingLineWins) {
    const PortCase cases[] = {
        {"two qualifying lines",
         "USB-SERIAL CH340 (COM5)\r\nPROLIFIC USB-TO-SERIAL COMM PORT (COM12)\r\n", true, "COM12"},
        {"then a marker without parentheses", "USB-SERIAL CH340 (COM5)\r\nUSB-SERIAL CH340\r\n",
         true, "COM5"},
        {"then empty parentheses", "USB-SERIAL CH340 (COM5)\r\nUSB-SERIAL CH340 ()\r\n", true, ""},
        {"then ) before (", "USB-SERIAL CH340 (COM5)\nUSB-SERIAL CH340 )COM6(\n", true, "COM5"},
        {"then other ports", "USB-SERIAL CH340 (COM5)\nCOMMUNICATIONS PORT (COM1)\n\n", true,
         "COM5"},
        {"then mixed-case Prolific",
         "USB-SERIAL CH340 (COM5)\nProlific USB-to-Serial Comm Port (COM4)\n", true, "COM5"},
        {"lines split by lone CRs", "USB-SERIAL CH340 (COM5)\rUSB-SERIAL CH340 (COM8)", true,
         "COM8"},
    };
    for (const auto& c : cases) {
        for (size_t step : Steps) {
            const FoundPort port = PortOf(c.list, step);
            EXPECT_EQ(port.found, c.found) << c.what << ", step " << step;
            EXPECT_EQ(port.name, c.name) << c.what << ", step " << step;
        }
    }
}

// A list saved in UTF-16: every ASCII character is followed by a zero byte,
// which ends a line, so no line holds a whole marker.
TEST(ListPort, SixteenBitListFindsNothing) {
    const std::string ascii = "USB-SERIAL CH340 (COM5)\r\n";
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    for (char ch : ascii) {
        le += ch;
        le += '\0';
        be += '\0';
        be += ch;
    }
    for (size_t step : Steps) {
        EXPECT_FALSE(PortOf(le, step).found) << "little-endian, step " << step;
        EXPECT_FALSE(PortOf(be, step).found) << "big-endian, step " << step;
    }
}

TEST(ListPort, VeryLongLines) {
    // Megabyte lines on either side of the name, and a long name: all found,
    // in linear time (a quadratic scan would not end within the test's limit).
    const std::string filler(4 << 20, 'x');
    const std::string parens(1 << 20, '(');
    const std::string closes(1 << 20, ')');
    const std::string almost(1 << 20, 'U');
    const PortCase cases[] = {
        {"long before the marker", filler + " USB-SERIAL CH340 (COM5)\r\n", true, "COM5"},
        {"long after the name", "USB-SERIAL CH340 (COM5)" + filler + "\r\n", true, "COM5"},
        {"long name", "USB-SERIAL CH340 (" + filler + ")", true, filler},
        {"many opens", "USB-SERIAL CH340 " + parens + "COM5)", true, parens.substr(1) + "COM5"},
        {"many closes first", closes + "USB-SERIAL CH340 (COM5)", false, ""},
        {"near-markers", almost + "USB-SERIAL CH34" + almost + " (COM5)", false, ""},
        {"long line then a short one", filler + "\nUSB-SERIAL CH340 (COM6)", true, "COM6"},
    };
    for (const auto& c : cases) {
        const FoundPort port = PortOf(c.list, 1 << 20);
        EXPECT_EQ(port.found, c.found) << c.what;
        EXPECT_TRUE(port.name == c.name) << c.what << ": name of " << port.name.size() << " bytes";
    }
}

TEST(ListPort, ManyLines) {
    std::string list;
    for (int i = 0; i < 200000; ++i) {
        list += "USB-SERIAL CH340 (COM" + std::to_string(i) + ")\r\n";
    }
    list += "junk\r\n";
    const FoundPort port = PortOf(list, 4096);
    EXPECT_TRUE(port.found);
    EXPECT_EQ(port.name, "COM199999");
}

TEST(ListPort, LineRuleReportsTheSpan) {
    PortNameSpan span{99, 99};
    ASSERT_TRUE(LinePortName("USB-SERIAL CH340 (COM5) tail", span));
    EXPECT_EQ(span.start, 18u);
    EXPECT_EQ(span.length, 4u);
    span = {99, 99};
    EXPECT_FALSE(LinePortName("", span));
    EXPECT_FALSE(LinePortName("()", span));
    EXPECT_EQ(span.start, 99u); // untouched when the line does not qualify
}

struct FolderCase {
    std::wstring path;
    std::wstring folder;
};

TEST(ProgramFolder, CutAfterLastSeparator) {
    const FolderCase cases[] = {
        {L"C:\\Program Files\\Tumark\\Tumark.exe", L"C:\\Program Files\\Tumark\\"},
        {L"C:/Tumark/Tumark.exe", L"C:/Tumark/"},
        {L"C:\\a/b\\c/Tumark.exe", L"C:\\a/b\\c/"},
        {L"\\\\server\\share\\Tumark.exe", L"\\\\server\\share\\"},
        {L"C:\\Папка с пробелами\\Конфигуратор.exe", L"C:\\Папка с пробелами\\"},
        {L"C:\\Tumark\\", L"C:\\Tumark\\"},
        {L"Tumark.exe", L""},
        {L"", L""},
        {L"\"C:\\Tumark\\Tumark.exe\"", L"C:\\Tumark\\"},
        {L"C:\\Tumark\\Tumark.exe|D:\\x\\", L"C:\\Tumark\\"},
        {L"\"Tumark.exe", L""},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(FolderOfPath(c.path) == c.folder);
    }
}

} // namespace
