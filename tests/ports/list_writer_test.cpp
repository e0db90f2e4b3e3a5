// Windows tests of how ZiziDivu writes listport.txt: UTF-8 without a byte
// order mark, CR LF after every line, an empty file for no ports, and a list
// that cannot be replaced left whole with no temporary file behind.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "tools/zizidivu/list_writer.h"
#include "tools/zizidivu/serial_ports.h"

namespace {

std::string Contents(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string bytes(1 << 16, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    bytes.resize(got);
    return bytes;
}

int FilesIn(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    int count = 0;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ++count;
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return count;
}

class ListWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        folder_ =
            std::wstring(temp) + L"tumark writer " + std::to_wstring(GetCurrentProcessId()) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    }
    void TearDown() override {
        DeleteFileW((folder_ + L"listport.txt").c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    std::wstring folder_;
};

TEST_F(ListWriter, Encodings) {
    const struct {
        std::vector<std::wstring> lines;
        std::string bytes;
    } cases[] = {
        {{}, ""},
        {{L"USB-SERIAL CH340 (COM5)"}, "USB-SERIAL CH340 (COM5)\r\n"},
        {{L"A (COM1)", L"B (COM2)"}, "A (COM1)\r\nB (COM2)\r\n"},
        {{L"\u041F\u041E\u0420\u0422 (COM3)"}, "\xD0\x9F\xD0\x9E\xD0\xA0\xD0\xA2 (COM3)\r\n"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(WriteList(folder_, c.lines), ListWritten);
        EXPECT_EQ(Contents(folder_ + L"listport.txt"), c.bytes);
        EXPECT_EQ(FilesIn(folder_), 1); // no temporary file left
    }
}

TEST_F(ListWriter, ListHeldOpenByAReaderStaysWhole) {
    ASSERT_EQ(WriteList(folder_, {L"OLD (COM9)"}), ListWritten);
    // Opened as the configurator opens it: read sharing only.
    HANDLE reader = CreateFileW((folder_ + L"listport.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const ListWriteResult result = WriteList(folder_, {L"NEW (COM1)"});
    CloseHandle(reader);
    EXPECT_EQ(result, ListNotReplaced);
    EXPECT_EQ(Contents(folder_ + L"listport.txt"), "OLD (COM9)\r\n");
    EXPECT_EQ(FilesIn(folder_), 1);
}

TEST_F(ListWriter, MissingFolderFails) {
    EXPECT_EQ(WriteList(L"", {L"A (COM1)"}), ListNoFolder);
    EXPECT_EQ(WriteList(folder_ + L"no such folder\\", {L"A (COM1)"}), ListNoTempFile);
}

TEST(ToolFolder, EndsWithABackslash) {
    const std::wstring folder = ToolFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), L'\\');
    EXPECT_NE(GetFileAttributesW((folder + L"ports_discovery_test.exe").c_str()),
              INVALID_FILE_ATTRIBUTES);
}

TEST(UpperCase, DriverNames) {
    EXPECT_EQ(UpperCase(L"Prolific USB-to-Serial Comm Port (COM4)"),
              L"PROLIFIC USB-TO-SERIAL COMM PORT (COM4)");
    EXPECT_EQ(UpperCase(L"usb-serial ch340"), L"USB-SERIAL CH340");
    EXPECT_EQ(UpperCase(L"\u043F\u043E\u0440\u0442"), L"\u041F\u041E\u0420\u0422");
    EXPECT_EQ(UpperCase(L""), L"");
}

} // namespace
