// Windows tests of port discovery under Wine: the tool run from a folder and
// waited for, the list read after it (or not), its lines and their decoding,
// the shell fallback and the program folder of a window. The tool is the
// stand-in ports_fake_tool.exe copied in as ZiziDivu.exe.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "ports/discovery.h"
#include "ports/discovery_internal.h"

namespace {

using namespace std::string_literals;

std::wstring ExeFolder() {
    wchar_t path[4096] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 4095);
    std::wstring text(path, length);
    return text.substr(0, text.rfind(L'\\') + 1);
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return "<missing>";
    }
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        bytes.append(chunk, got);
    }
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
    CloseHandle(file);
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring Utf16(const std::string& utf8) {
    return Utf8ToWide(utf8);
}

// A fresh folder under the temporary folder for each test, removed after it.
class DiscoveryFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        static int serial = 0;
        folder_ = std::wstring(temp) + L"tumark ports " + std::to_wstring(GetCurrentProcessId()) +
                  L"-" + std::to_wstring(++serial) + L"\\";
        ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    }
    void TearDown() override {
        for (const wchar_t* name :
             {L"ZiziDivu.exe", L"listport.txt", L"listport.next", L"ran.txt"}) {
            DeleteFileW((folder_ + name).c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }
    void InstallTool() {
        ASSERT_TRUE(CopyFileW((ExeFolder() + L"ports_fake_tool.exe").c_str(),
                              (folder_ + L"ZiziDivu.exe").c_str(), FALSE));
    }
    // The list the tool will write when it runs.
    void ToolWillWrite(const std::string& bytes) { WriteBytes(folder_ + L"listport.next", bytes); }
    void OldList(const std::string& bytes) { WriteBytes(folder_ + L"listport.txt", bytes); }

    std::wstring folder_;
};

TEST_F(DiscoveryFolder, MissingToolGivesEmptyAndLeavesTheListUnread) {
    OldList("USB-SERIAL CH340 (COM5)\r\n");
    EXPECT_FALSE(LaunchAndWait(folder_ + L"ZiziDivu.exe"));
    EXPECT_EQ(FindPortInFolder(folder_), L"");
    // The same list is found once a tool is there: the empty result came from
    // the missing tool, not from the list.
    InstallTool();
    EXPECT_EQ(FindPortInFolder(folder_), L"COM5");
}

TEST_F(DiscoveryFolder, ToolThatWritesNothing) {
    InstallTool();
    EXPECT_EQ(FindPortInFolder(folder_), L"");
    EXPECT_TRUE(Exists(folder_ + L"ran.txt"));
    EXPECT_FALSE(Exists(folder_ + L"listport.txt"));
    // A list from an earlier run is read as it lies.
    OldList("PROLIFIC USB-TO-SERIAL COMM PORT (COM12)\r\n");
    EXPECT_EQ(FindPortInFolder(folder_), L"COM12");
}

TEST_F(DiscoveryFolder, ListWrittenByTheToolReplacesTheOld) {
    InstallTool();
    OldList("USB-SERIAL CH340 (COM5)\r\n");
    ToolWillWrite("USB-SERIAL CH340 (COM7)\r\n");
    EXPECT_EQ(FindPortInFolder(folder_), L"COM7");
}

struct ListCase {
    const char* what;
    std::string list;
    std::wstring port;
};

// The list as the tool leaves it, read from the file and decoded: the line
// rule itself is the host test's table (tests/ports/list_file_test.cpp).
TEST_F(DiscoveryFolder, ListsWrittenByTheTool) {
    const ListCase cases[] = {
        {"empty list", "", L""},
        {"CH340", "USB-SERIAL CH340 (COM5)\r\n", L"COM5"},
        {"name decoded from UTF-8", "USB-SERIAL CH340 (\xD0\x9F\xD0\xBE\xD1\x80\xD1\x82 5)",
         L"\u041F\u043E\u0440\u0442 5"},
        {"non-ASCII before the name", "\xD0\x9F USB-SERIAL CH340 \xE2\x80\x94 (COM8)", L"COM8"},
        {"bad UTF-8 does not end the line", "USB-SERIAL CH340 \xFF\xC3 (COM9)", L"COM9"},
    };
    InstallTool();
    for (const auto& c : cases) {
        ToolWillWrite(c.list);
        EXPECT_EQ(FindPortInFolder(folder_), c.port) << c.what;
    }
}

TEST_F(DiscoveryFolder, ListOpenForWritingElsewhereGivesEmpty) {
    OldList("USB-SERIAL CH340 (COM5)\r\n");
    const std::wstring list = folder_ + L"listport.txt";
    HANDLE writer = CreateFileW(list.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadListPort(list), L"");
    CloseHandle(writer);
    EXPECT_EQ(ReadListPort(list), L"COM5");
}

// The tool runs in our current directory when started directly, and in its
// own folder when started through the shell.
TEST_F(DiscoveryFolder, EachWayOfStartingGivesTheToolItsWorkingFolder) {
    InstallTool();
    wchar_t current[4096] = {};
    ASSERT_GT(GetCurrentDirectoryW(4095, current), 0u);
    const std::wstring tool = folder_ + L"ZiziDivu.exe";
    ASSERT_NE(folder_, std::wstring(current) + L"\\");
    ASSERT_TRUE(LaunchAndWait(tool));
    EXPECT_EQ(Utf16(ReadBytes(folder_ + L"ran.txt")), current);
    bool ended = false;
    ASSERT_TRUE(LaunchThroughShell(tool, GetTickCount64() + 5000, ended));
    EXPECT_TRUE(ended);
    EXPECT_EQ(Utf16(ReadBytes(folder_ + L"ran.txt")) + L"\\", folder_);
}

TEST_F(DiscoveryFolder, LaunchWaitsForTheToolToEnd) {
    // The tool copies the list only after it has started: had the call not
    // waited, the list would not be there yet on most runs.
    InstallTool();
    std::string big;
    for (int i = 0; i < 20000; ++i) {
        big += "OTHER PORT (COM" + std::to_string(i) + ")\r\n";
    }
    big += "USB-SERIAL CH340 (COM44)\r\n";
    ToolWillWrite(big);
    for (int i = 0; i < 3; ++i) {
        DeleteFileW((folder_ + L"listport.txt").c_str());
        ASSERT_TRUE(LaunchAndWait(folder_ + L"ZiziDivu.exe"));
        EXPECT_EQ(ReadBytes(folder_ + L"listport.txt"), big);
    }
}

TEST(ShellDirectory, CutAfterLastBackslash) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"C:\\Tumark\\ZiziDivu.exe", L"C:\\Tumark\\"},
        {L"C:\\a b\\c\\ZiziDivu.exe", L"C:\\a b\\c\\"},
        {L"C:/a\\b/ZiziDivu.exe", L"C:/a\\"},
        {L"C:/a/ZiziDivu.exe", L""},
        {L"\\ZiziDivu.exe", L""},
        {L"ZiziDivu.exe", L""},
        {L"\\\\server\\share\\ZiziDivu.exe", L"\\\\server\\share\\"},
    };
    for (const auto& [path, directory] : cases) {
        EXPECT_EQ(ShellDirectoryOf(path), directory) << path;
    }
}

TEST(ProgramFolderOfWindow, IsTheFolderOfOurExecutable) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"TumarkPortsTest";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND window = CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                  nullptr, wc.hInstance, nullptr);
    ASSERT_NE(window, nullptr);
    std::wstring folder = L"x";
    EXPECT_TRUE(ReadProgramFolder(window, folder));
    EXPECT_EQ(folder, ExeFolder());
    DestroyWindow(window);
    // No window: the path cannot be read, the folder is empty and the bare
    // names are used.
    folder = L"x";
    EXPECT_TRUE(ReadProgramFolder(nullptr, folder));
    EXPECT_EQ(folder, L"");
}

// Changes the shared prefix's registry: runs alone under the "registry" lock.
// A tool registered under App Paths is found by the shell but not by
// CreateProcessW, which is what happens when the folder is empty and only the
// bare name "ZiziDivu.exe" is left.
TEST_F(DiscoveryFolder, RegistryShellFallbackThroughAppPaths) {
    InstallTool();
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\ZiziDivu.exe";
    HKEY appPath = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &appPath, nullptr),
              ERROR_SUCCESS);
    const std::wstring tool = folder_ + L"ZiziDivu.exe";
    RegSetValueExW(appPath, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(tool.c_str()),
                   static_cast<DWORD>((tool.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(appPath);
    // Our folder must not hold the tool, or CreateProcessW would find it.
    ASSERT_FALSE(Exists(L"ZiziDivu.exe"));
    const bool started = LaunchAndWait(L"ZiziDivu.exe");
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, key);
    EXPECT_TRUE(started);
    EXPECT_TRUE(Exists(folder_ + L"ran.txt"));
    // And with nothing registered, neither way starts it.
    EXPECT_FALSE(LaunchAndWait(L"ZiziDivu.exe"));
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
