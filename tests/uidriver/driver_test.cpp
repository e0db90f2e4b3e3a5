// Tests of the UI driver itself, against uidriver_standin.exe, a window whose
// status line records what reached it: that the driver finds only its own
// program's window, reads controls and boxes as they are, and that its
// clicks, list choices and keys arrive where a user's would.
#include <gtest/gtest.h>

#include "uidriver.h"

#include <functional>
#include <string>

using namespace uidriver;

namespace {

std::wstring StandInPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.rfind(L'\\') + 1) + L"uidriver_standin.exe";
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

// A started stand-in with its window found.
class StandInTest : public ::testing::Test {
  protected:
    void Start(Program& program, const std::wstring& title, int exitCode = 0) {
        ASSERT_TRUE(
            program.Launch(StandInPath(), L"", L"\"" + title + L"\" " + std::to_wstring(exitCode)));
        ASSERT_NE(program.WaitWindow(title, 30000), nullptr);
        ASSERT_GT(program.WaitIdleMs(10000), 0);
    }
    void SetUp() override {
        Start(program_, L"stand-in " + std::to_wstring(GetCurrentProcessId()), 7);
    }

    WindowState State() { return ReadWindow(program_.window()); }
    HWND Find(const std::wstring& text) {
        const WindowState state = State();
        const Control* control = FindControl(state, text);
        return control ? control->hwnd : nullptr;
    }
    std::wstring Status() {
        const WindowState state = State();
        const Control* status = FindControlByClass(state, L"Static");
        return status ? status->text : L"<none>";
    }
    bool StatusHas(const std::wstring& part) {
        return WaitUntil([&] { return Status().find(part) != std::wstring::npos; });
    }

    Program program_;
};

TEST_F(StandInTest, FindsOnlyTheWindowOfItsOwnProcess) {
    Program other;
    const std::wstring title = State().title;
    // A second program with the very same title.
    ASSERT_TRUE(other.Launch(StandInPath(), L"", L"\"" + title + L"\""));
    ASSERT_NE(other.WaitWindow(title, 30000), nullptr);
    EXPECT_NE(other.window(), program_.window());
    EXPECT_EQ(WindowProcess(other.window()), other.pid());
    EXPECT_EQ(WindowProcess(program_.window()), program_.pid());
    EXPECT_EQ(FindTopWindows(program_.pid(), nullptr, title.c_str()).size(), 1u);
    // Neither sees the other's boxes.
    ASSERT_TRUE(Click(Find(L"Press")));
    ASSERT_NE(WaitBox(program_.pid(), 5000), nullptr);
    EXPECT_TRUE(FindBoxes(other.pid()).empty());
}

TEST_F(StandInTest, ReadsEveryControl) {
    const WindowState state = State();
    EXPECT_EQ(state.clientWidth, 240);
    EXPECT_EQ(state.clientHeight, 100);
    EXPECT_EQ(state.style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
    struct Expected {
        const wchar_t* className;
        const wchar_t* text;
        int x, y, width;
        LONG styleBits;
    };
    const Expected expected[] = {
        {L"Button", L"Press", 10, 10, 60, WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON},
        {L"Button", L"Error", 80, 10, 60, WS_TABSTOP | WS_GROUP},
        {L"Button", L"A", 10, 40, 40, WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON},
        {L"Button", L"B", 60, 40, 40, WS_TABSTOP | BS_AUTORADIOBUTTON},
        {L"ComboBox", L"x", 110, 40, 50, WS_TABSTOP | CBS_DROPDOWNLIST},
        {L"Static", L"", 10, 70, 220, WS_GROUP},
    };
    ASSERT_EQ(state.controls.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Control& c = state.controls[i];
        SCOPED_TRACE(Utf8(expected[i].text));
        EXPECT_EQ(c.className, expected[i].className);
        EXPECT_EQ(c.text, expected[i].text);
        EXPECT_EQ(c.rect.left, expected[i].x);
        EXPECT_EQ(c.rect.top, expected[i].y);
        EXPECT_EQ(c.width(), expected[i].width);
        EXPECT_EQ(c.style & expected[i].styleBits, expected[i].styleBits);
        EXPECT_TRUE(c.enabled);
        EXPECT_TRUE(c.visible);
        EXPECT_FALSE(c.focused);
    }
    const Control& list = state.controls[4];
    EXPECT_EQ(list.items, (std::vector<std::wstring>{L"x", L"y", L"z"}));
    EXPECT_EQ(list.selection, 0);
    EXPECT_FALSE(list.dropped);
    // The window itself may hold the focus, none of its controls does.
    EXPECT_TRUE(state.focus == nullptr || state.focus == program_.window());
}

TEST_F(StandInTest, ClicksAndChoicesArriveAsNotifications) {
    ASSERT_TRUE(Click(Find(L"B")));
    ASSERT_TRUE(StatusHas(L"b;"));
    WindowState state = State();
    EXPECT_EQ(FindControl(state, L"B")->check, BST_CHECKED);
    EXPECT_EQ(FindControl(state, L"A")->check, BST_UNCHECKED);

    HWND list = FindControlByClass(state, L"ComboBox")->hwnd;
    ASSERT_TRUE(SelectItem(list, L"z"));
    ASSERT_TRUE(StatusHas(L"sel:2;"));
    EXPECT_EQ(FindControlByClass(State(), L"ComboBox")->text, L"z");
    EXPECT_FALSE(SelectItem(list, L"no such item"));
    // The same with the mouse: the list itself tells its parent.
    ASSERT_TRUE(ChooseItemByMouse(list, L"y"));
    ASSERT_TRUE(StatusHas(L"sel:1;")) << Utf8(Status());
    EXPECT_EQ(FindControlByClass(State(), L"ComboBox")->text, L"y");
    EXPECT_FALSE(FindControlByClass(State(), L"ComboBox")->dropped);

    // A user cannot choose in a disabled list, nor can the driver.
    ASSERT_TRUE(Click(Find(L"A")));
    ASSERT_TRUE(StatusHas(L"a;"));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindowEnabled(list); }));
    const std::wstring before = Status();
    EXPECT_FALSE(SelectItem(list, L"x"));
    EXPECT_FALSE(ChooseItemByMouse(list, L"x"));
    Settle(program_.window());
    EXPECT_EQ(Status(), before);
}

TEST_F(StandInTest, KeysReachTheProgramsAcceleratorTable) {
    ASSERT_TRUE(PressKey(program_.window(), Key::Tab));
    ASSERT_TRUE(PressKey(program_.window(), Key::ShiftTab));
    ASSERT_TRUE(PressKey(program_.window(), Key::Tab));
    // Shift arrives as a key of its own; Tab itself only as the commands.
    EXPECT_TRUE(StatusHas(L"next;key:10;prev;next;")) << Utf8(Status());
    EXPECT_EQ(Status().find(L"key:9"), std::wstring::npos);
}

TEST_F(StandInTest, ReadsAndAnswersMessageBoxes) {
    struct Case {
        const wchar_t* button;
        const wchar_t* text;
        const wchar_t* icon;
    };
    const Case cases[] = {
        {L"Press", L"Pressed\nonce", L"information"},
        {L"Error", L"Something failed", L"error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf8(c.button));
        ASSERT_TRUE(Click(Find(c.button)));
        HWND hwnd = WaitBox(program_.pid(), 5000);
        ASSERT_NE(hwnd, nullptr);
        Sleep(100);
        const Box box = ReadBox(hwnd);
        EXPECT_EQ(box.caption, L"Stand-in");
        EXPECT_EQ(box.text, c.text);
        EXPECT_EQ(box.icon, c.icon);
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        EXPECT_EQ(box.owner, program_.window());
        EXPECT_FALSE(IsWindowEnabled(program_.window()));
        EXPECT_FALSE(AnswerBox(hwnd, IDYES)); // no such button
        ASSERT_TRUE(AnswerBox(hwnd, IDOK));
        EXPECT_TRUE(FindBoxes(program_.pid()).empty());
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(program_.window()) != FALSE; }));
    }
}

TEST_F(StandInTest, CloseRequestsAndTheirAnswers) {
    // Each way of asking to close, answered No, then Enter for Yes.
    const std::function<bool()> ways[] = {
        [&] { return CloseBox(program_.window()); },
        [&] { return SystemMenuClose(program_.window()); },
        [&] { return PressKey(program_.window(), Key::AltF4); },
    };
    for (size_t i = 0; i < std::size(ways); ++i) {
        SCOPED_TRACE(i);
        ASSERT_TRUE(ways[i]());
        HWND hwnd = WaitBox(program_.pid(), 5000);
        ASSERT_NE(hwnd, nullptr) << Utf8(Status());
        Sleep(100);
        const Box box = ReadBox(hwnd);
        EXPECT_EQ(box.text, L"Quit?");
        EXPECT_EQ(box.icon, L"exclamation");
        EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
        ASSERT_TRUE(AnswerBox(hwnd, IDNO));
        ASSERT_TRUE(StatusHas(L"answer:7;"));
        SetWindowTextW(FindControlByClass(State(), L"Static")->hwnd, L"");
        EXPECT_TRUE(program_.Running());
    }
    ASSERT_TRUE(CloseBox(program_.window()));
    HWND hwnd = WaitBox(program_.pid(), 5000);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(PressKey(hwnd, Key::Enter));
    DWORD code = 0;
    ASSERT_TRUE(program_.WaitExit(10000, &code));
    EXPECT_EQ(code, 7u);
}

TEST_F(StandInTest, ReadsTheProcessCounters) {
    const Counters counters = ReadCounters(program_.process());
    EXPECT_GT(counters.privateBytes, 0u);
    EXPECT_GT(counters.workingSet, counters.privateBytes / 100);
    program_.Kill();
    EXPECT_FALSE(program_.Running());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
