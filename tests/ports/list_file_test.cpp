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

std::string PortOf(const std::string& bytes, size_t step) {
    MemoryList list{bytes, step};
    ListLineReader reader(&MemoryList::Read, &list);
    return ListPortName(reader);
}

// The text saved in UTF-16 (with its mark), little- or big-endian.
std::string Utf16Of(const std::string& ascii, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char ch : ascii) {
        bytes += bigEndian ? '\0' : ch;
        bytes += bigEndian ? ch : '\0';
    }
    return bytes;
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
    std::string name; // empty: no port
};

TEST(ListPort, QualifyingLines) {
    const PortCase cases[] = {
        {"empty list", "", ""},
        {"CH340", "USB-SERIAL CH340 (COM5)\r\n", "COM5"},
        {"Prolific", "PROLIFIC USB-TO-SERIAL COMM PORT (COM12)\r\n", "COM12"},
        {"other ports only", "COMMUNICATIONS PORT (COM1)\r\nFTDI (COM3)\r\n", ""},
        {"marker anywhere", "(COM3) USB-SERIAL CH340", "COM3"},
        {"marker inside a longer name", "XUSB-SERIAL CH340G (COM9)", "COM9"},
        {"two pairs: the first wins", "USB-SERIAL CH340 (COM7) (x)", "COM7"},
        {"nested: first ( to first )", "USB-SERIAL CH340 ((COM7))", "(COM7"},
        {"blanks kept", "USB-SERIAL CH340 ( COM3 )", " COM3 "},
        {"empty parentheses", "USB-SERIAL CH340 ()", ""},
        {"no parentheses", "USB-SERIAL CH340 COM5", ""},
        {"only (", "USB-SERIAL CH340 (COM5", ""},
        {"only )", "USB-SERIAL CH340 COM5)", ""},
        {") before (", "USB-SERIAL CH340 )COM5(", ""},
        {") before ( with a pair later", "USB-SERIAL CH340 ) (COM5)", ""},
        {"mixed-case Prolific", "Prolific USB-to-Serial Comm Port (COM4)\r\n", ""},
        {"lower-case CH340", "usb-serial ch340 (COM4)", ""},
        {"marker cut by a line end", "USB-SERIAL\nCH340 (COM4)", ""},
        {"marker cut by a zero", "USB-SERIAL \0CH340 (COM4)"s, ""},
        {"byte order mark", "\xEF\xBB\xBFUSB-SERIAL CH340 (COM5)\r\n", "COM5"},
        {"UTF-8 name kept as bytes", "USB-SERIAL CH340 (\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82)",
         "\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82"},
        {"lone CR at the end", "USB-SERIAL CH340 (COM6)\r", "COM6"},
        {"zero byte ends the line before )", "USB-SERIAL CH340 (CO\0M6)"s, ""},
        // Every ASCII character followed or led by a zero byte, which ends a
        // line: no line holds a whole marker.
        {"16-bit little-endian list", Utf16Of("USB-SERIAL CH340 (COM5)\r\n", false), ""},
        {"16-bit big-endian list", Utf16Of("USB-SERIAL CH340 (COM5)\r\n", true), ""},
        // The last qualifying line decides.
        {"two qualifying lines",
         "USB-SERIAL CH340 (COM5)\r\nPROLIFIC USB-TO-SERIAL COMM PORT (COM12)\r\n", "COM12"},
        {"then a marker without parentheses", "USB-SERIAL CH340 (COM5)\r\nUSB-SERIAL CH340\r\n",
         "COM5"},
        {"then empty parentheses", "USB-SERIAL CH340 (COM5)\r\nUSB-SERIAL CH340 ()\r\n", ""},
        {"then ) before (", "USB-SERIAL CH340 (COM5)\nUSB-SERIAL CH340 )COM6(\n", "COM5"},
        {"then other ports", "USB-SERIAL CH340 (COM5)\nCOMMUNICATIONS PORT (COM1)\n\n", "COM5"},
        {"then mixed-case Prolific",
         "USB-SERIAL CH340 (COM5)\nProlific USB-to-Serial Comm Port (COM4)\n", "COM5"},
        {"lines split by lone CRs", "USB-SERIAL CH340 (COM5)\rUSB-SERIAL CH340 (COM8)", "COM8"},
    };
    for (const auto& c : cases) {
        for (size_t step : Steps) {
            EXPECT_EQ(PortOf(c.list, step), c.name) << c.what << ", step " << step;
        }
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
        {"long before the marker", filler + " USB-SERIAL CH340 (COM5)\r\n", "COM5"},
        {"long after the name", "USB-SERIAL CH340 (COM5)" + filler + "\r\n", "COM5"},
        {"long name", "USB-SERIAL CH340 (" + filler + ")", filler},
        {"many opens", "USB-SERIAL CH340 " + parens + "COM5)", parens.substr(1) + "COM5"},
        {"many closes first", closes + "USB-SERIAL CH340 (COM5)", ""},
        {"near-markers", almost + "USB-SERIAL CH34" + almost + " (COM5)", ""},
        {"long line then a short one", filler + "\nUSB-SERIAL CH340 (COM6)", "COM6"},
    };
    for (const auto& c : cases) {
        const std::string name = PortOf(c.list, 1 << 20);
        EXPECT_TRUE(name == c.name) << c.what << ": name of " << name.size() << " bytes";
    }
}

TEST(ListPort, ManyLines) {
    std::string list;
    for (int i = 0; i < 200000; ++i) {
        list += "USB-SERIAL CH340 (COM" + std::to_string(i) + ")\r\n";
    }
    list += "junk\r\n";
    EXPECT_EQ(PortOf(list, 4096), "COM199999");
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
