// Window-level tests of the configurator's shell under Wine: each test starts
// its own TumarkConfigurator.exe and works its real window through the UI
// driver as a user would: frame and placement, the controls, the mode options
// and the direction list, keyboard navigation and the exit confirmation.
#include <gtest/gtest.h>

#include "uidriver.h"

#include <oleacc.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace uidriver;

namespace {

const std::wstring kTitle = L"Конфигуратор" + std::wstring(6, L' ') + L"Tumark v. 0.2";
const wchar_t* const kStandalone = L"Автономный";
const wchar_t* const kSlave = L"Ведомый";
const wchar_t* const kWrite = L"Запись";
const wchar_t* const kRead = L"Чтение";
const wchar_t* const kExitQuestion = L"Вы действительно хотите выйти из программы?";

// The shipped program: TUMARK_DIST_DIR (a Unix path, seen as drive Z:) or
// dist/win64 beside the build tree.
std::wstring ConfiguratorPath() {
    const char* dist = std::getenv("TUMARK_DIST_DIR");
    std::wstring folder;
    if (dist && dist[0] == '/') {
        folder = L"Z:" + Wide(dist);
        for (auto& c : folder) {
            if (c == L'/') {
                c = L'\\';
            }
        }
    } else {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        folder = path;
        folder = folder.substr(0, folder.rfind(L'\\')) + L"\\..\\..\\..\\dist\\win64";
    }
    return folder + L"\\TumarkConfigurator.exe";
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

class ShellWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(program_.Launch(ConfiguratorPath()))
            << Utf8(ConfiguratorPath()) << " error " << GetLastError();
        ASSERT_NE(program_.WaitWindow(kTitle, 30000), nullptr);
        ASSERT_GT(program_.WaitIdleMs(10000), 0);
        // The window is shown before its controls are made; wait for the last.
        ASSERT_TRUE(WaitUntil([&] { return Find(kRead) != nullptr; }, 10000));
        ASSERT_TRUE(Settle(Window()));
    }

    HWND Window() const { return program_.window(); }
    WindowState State() const { return ReadWindow(Window()); }
    HWND Find(const std::wstring& caption) const {
        const WindowState state = State();
        const Control* control = FindControl(state, caption);
        return control ? control->hwnd : nullptr;
    }
    Control List() const {
        const WindowState state = State();
        const Control* list = FindControlByClass(state, L"ComboBox");
        return list ? *list : Control{};
    }
    // The caption of the focused control, "" for none.
    std::wstring Focused() const {
        for (const auto& control : State().controls) {
            if (control.focused) {
                return control.text;
            }
        }
        return L"";
    }
    void ClickAndSettle(const std::wstring& caption) {
        HWND control = Find(caption);
        ASSERT_NE(control, nullptr) << Utf8(caption);
        ASSERT_TRUE(Click(control));
        ASSERT_TRUE(Settle(Window()));
    }
    bool ListEnabled() const { return List().enabled; }

    // Mode, direction and the list's state: what a declined exit must keep.
    struct Settings {
        int standalone, slave;
        std::wstring direction;
        bool listEnabled;
        bool operator==(const Settings&) const = default;
    };
    Settings Read() const {
        const WindowState state = State();
        const Control* standalone = FindControl(state, kStandalone);
        const Control* slave = FindControl(state, kSlave);
        const Control* list = FindControlByClass(state, L"ComboBox");
        if (!standalone || !slave || !list) {
            return {-1, -1, L"<missing>", false};
        }
        return {standalone->check, slave->check, list->text, list->enabled};
    }

    Program program_;
};

// Its place and outer size at each DPI are the DPI test's; its centring on
// the whole screen, with a taskbar, the toolkit test's.
TEST_F(ShellWindowTest, TitleSizeAndFrame) {
    const WindowState state = State();
    EXPECT_EQ(state.title, kTitle);
    EXPECT_EQ(state.clientWidth, 286);
    EXPECT_EQ(state.clientHeight, 99);
    const LONG wanted = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    EXPECT_EQ(state.style & wanted, wanted);
    const LONG forbidden = WS_MAXIMIZEBOX | WS_THICKFRAME | WS_CHILD | static_cast<LONG>(WS_POPUP);
    EXPECT_EQ(state.style & forbidden, 0L);
    // The system adds WS_EX_WINDOWEDGE to every captioned window by itself.
    EXPECT_EQ(state.exStyle & ~static_cast<LONG>(WS_EX_WINDOWEDGE), 0L);
    EXPECT_EQ(GetWindow(Window(), GW_OWNER), nullptr);
    EXPECT_EQ(GetMenu(Window()), nullptr);
    EXPECT_TRUE(state.visible);
    EXPECT_TRUE(state.enabled);
}

// Each control's place at each DPI is the DPI test's.
TEST_F(ShellWindowTest, ControlsInCreationOrderWithCaptionKindAndState) {
    struct Expected {
        const wchar_t* className;
        const wchar_t* caption;
        LONG kind;      // the low style bits: BS_GROUPBOX, BS_AUTORADIOBUTTON, ...
        LONG styleBits; // styles it must have
        LONG notBits;   // styles it must not have
        int check;
        bool enabled;
    };
    const LONG base = WS_CHILD | WS_VISIBLE;
    const Expected expected[] = {
        {L"Button", L"Режим", BS_GROUPBOX, base | WS_GROUP, WS_TABSTOP, 0, true},
        {L"Button", kStandalone, BS_AUTORADIOBUTTON, base | WS_TABSTOP | WS_GROUP, 0, BST_CHECKED,
         true},
        {L"Button", kSlave, BS_AUTORADIOBUTTON, base | WS_TABSTOP, WS_GROUP, BST_UNCHECKED, true},
        {L"Button", L"Направление", BS_GROUPBOX, base | WS_GROUP, WS_TABSTOP, 0, true},
        // The combo box hands WS_BORDER and WS_VSCROLL on to its list part and
        // drops them from its own style.
        {L"ComboBox", L"1", CBS_DROPDOWNLIST, base | WS_GROUP | WS_TABSTOP, 0, 0, false},
        {L"Button", L"Связь", BS_GROUPBOX, base | WS_GROUP, WS_TABSTOP, 0, true},
        {L"Button", kWrite, BS_PUSHBUTTON, base | WS_GROUP | WS_TABSTOP, 0, 0, true},
        {L"Button", kRead, BS_PUSHBUTTON, base | WS_GROUP | WS_TABSTOP, 0, 0, true},
    };
    const WindowState state = State();
    ASSERT_EQ(state.controls.size(), std::size(expected));
    std::vector<int> ids;
    for (size_t i = 0; i < std::size(expected); ++i) {
        const Control& c = state.controls[i];
        const Expected& e = expected[i];
        SCOPED_TRACE(Utf8(e.caption));
        EXPECT_EQ(c.className, e.className);
        EXPECT_EQ(c.text, e.caption);
        EXPECT_EQ(c.style & 0xF, e.kind);
        EXPECT_EQ(c.style & e.styleBits, e.styleBits);
        EXPECT_EQ(c.style & e.notBits, 0L);
        EXPECT_EQ(c.exStyle, 0L);
        EXPECT_EQ(c.check, e.check);
        EXPECT_EQ(c.enabled, e.enabled);
        EXPECT_TRUE(c.visible);
        EXPECT_FALSE(c.focused);
        EXPECT_NE(c.id, 0);
        for (int id : ids) {
            EXPECT_NE(c.id, id);
        }
        ids.push_back(c.id);
        // All children of the main window itself, none of a frame.
        EXPECT_EQ(GetParent(c.hwnd), Window());
    }
}

TEST_F(ShellWindowTest, ListHoldsOneToSixteenShowsOneAndCannotBeOpenedWhileDisabled) {
    Control list = List();
    std::vector<std::wstring> numbers;
    for (int i = 1; i <= 16; ++i) {
        numbers.push_back(std::to_wstring(i));
    }
    EXPECT_EQ(list.items, numbers);
    EXPECT_EQ(list.selection, 0);
    EXPECT_EQ(list.text, L"1");
    EXPECT_FALSE(list.enabled);

    // A click on the disabled list opens nothing, and nothing can be chosen.
    ASSERT_TRUE(ClickControl(list.hwnd));
    Sleep(200);
    EXPECT_FALSE(List().dropped);
    EXPECT_FALSE(SelectItem(list.hwnd, L"5"));
    EXPECT_EQ(List().selection, 0);

    // Enabled, the same click opens it (so the click did reach the list).
    ClickAndSettle(kSlave);
    ASSERT_TRUE(WaitUntil([&] { return ListEnabled(); }));
    ASSERT_TRUE(ClickControl(list.hwnd));
    EXPECT_TRUE(WaitUntil([&] { return List().dropped; }));
    ASSERT_TRUE(PressKey(Window(), Key::Esc));
    EXPECT_TRUE(WaitUntil([&] { return !List().dropped; }));
    EXPECT_EQ(List().text, L"1");
    EXPECT_TRUE(program_.Running());
    EXPECT_TRUE(FindBoxes(program_.pid()).empty());
}

// A screen reader asks the accessibility layer for the list's name, as
// Narrator does; Windows answers with the program's annotation. Wine's
// annotation service takes no names (E_NOTIMPL): the WoW64 bench answers
// the list's text, the 64-bit one gives no object from another process
// at all. So under Wine the row reports what Wine did, and the toolkit's
// test checks the call.
TEST_F(ShellWindowTest, TheDirectionListIsAnnouncedAsDirection) {
    const HRESULT com = CoInitialize(nullptr);
    ASSERT_TRUE(SUCCEEDED(com));
    IAccessible* accessible = nullptr;
    const HRESULT found =
        AccessibleObjectFromWindow(List().hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                   reinterpret_cast<void**>(&accessible));
    HRESULT named = E_FAIL;
    std::wstring text;
    if (SUCCEEDED(found) && accessible) {
        VARIANT self = {};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        named = accessible->get_accName(self, &name);
        text = name ? name : L"";
        SysFreeString(name);
        accessible->Release();
    }
    CoUninitialize();
    if (RunningOnWine() && text != L"Направление") {
        GTEST_SKIP() << "Wine: object " << std::hex << found << ", name " << named << " \""
                     << Utf8(text) << "\"";
    }
    EXPECT_EQ(found, S_OK);
    EXPECT_EQ(named, S_OK);
    EXPECT_EQ(text, L"Направление");
}

TEST_F(ShellWindowTest, SlaveEnablesTheListStandaloneDisablesItSelectionSurvives) {
    ClickAndSettle(kSlave);
    EXPECT_EQ(Read(), (Settings{0, 1, L"1", true}));

    ASSERT_TRUE(SelectItem(List().hwnd, L"7"));
    ASSERT_TRUE(Settle(Window()));
    EXPECT_EQ(Read(), (Settings{0, 1, L"7", true}));
    EXPECT_EQ(List().selection, 6);

    ClickAndSettle(kStandalone);
    EXPECT_EQ(Read(), (Settings{1, 0, L"7", false}));
    // A second click on the selected option changes nothing.
    ClickAndSettle(kStandalone);
    EXPECT_EQ(Read(), (Settings{1, 0, L"7", false}));

    ClickAndSettle(kSlave);
    EXPECT_EQ(Read(), (Settings{0, 1, L"7", true}));
    // The same choice with the mouse, on the last item.
    ASSERT_TRUE(ChooseItemByMouse(List().hwnd, L"16"));
    EXPECT_EQ(Read(), (Settings{0, 1, L"16", true}));
    EXPECT_FALSE(List().dropped);
    ClickAndSettle(kStandalone);
    EXPECT_EQ(Read(), (Settings{1, 0, L"16", false}));
    EXPECT_TRUE(FindBoxes(program_.pid()).empty());
}

// Notifications from an option that leave it unselected change nothing: a
// double click, and the click Windows sends from an unselected automatic
// option when it gets the keyboard focus. A list choice changes the list
// alone.
TEST_F(ShellWindowTest, OptionNotificationsThatSelectNothingChangeNothing) {
    const struct {
        const char* name;
        WORD code;
    } rows[] = {{"double click", BN_DOUBLECLICKED}, {"click", BN_CLICKED}};
    const Settings standalone{1, 0, L"1", false}, slave{0, 1, L"9", true};
    for (const Settings& mode : {standalone, slave}) {
        const wchar_t* unselected = mode.standalone ? kSlave : kStandalone;
        if (!mode.standalone) {
            ClickAndSettle(kSlave);
            ASSERT_TRUE(SelectItem(List().hwnd, L"9"));
            ASSERT_TRUE(Settle(Window()));
            EXPECT_EQ(Read(), mode) << "a list choice changed more than the list";
        }
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.name) + " from " + Utf8(unselected));
            ASSERT_TRUE(Notify(Find(unselected), row.code));
            ASSERT_TRUE(Settle(Window()));
            EXPECT_EQ(Read(), mode);
        }
    }
    EXPECT_TRUE(FindBoxes(program_.pid()).empty());
}

// Tab and Shift+Tab from each state a technician meets, in one program: the
// focus follows the enabled tab stops, and the walk changes nothing else. An
// automatic option that loses its check also loses WS_TABSTOP, so in slave
// mode the walk skips "Автономный"; in standalone mode it passes over the
// disabled list. Windows and Wine 10 send BN_CLICKED when the unchecked
// "Ведомый" gets the focus: the mode, the list and its state stay as they
// were, and no command runs. A row without clicks starts where the one
// before it ended; the first starts with no focus at all.
TEST_F(ShellWindowTest, TabWalksFollowTheTabStopsAndChangeNothing) {
    const struct {
        const char* name;
        std::vector<std::wstring> clicks; // the mode clicks that set the start up
        Key key;
        std::vector<std::wstring> expected;
    } walks[] = {
        {"Tab from no focus", {}, Key::Tab, {kStandalone, kSlave, kWrite, kRead, kStandalone}},
        {"Shift+Tab", {}, Key::ShiftTab, {kRead, kWrite, kSlave, kStandalone, kRead}},
        {"Tab in slave mode", {kSlave}, Key::Tab, {L"1", kWrite, kRead, kSlave, L"1"}},
        {"Shift+Tab in slave mode", {kSlave}, Key::ShiftTab, {kRead, kWrite, L"1", kSlave, kRead}},
        {"Tab back in standalone", {kSlave, kStandalone}, Key::Tab, {kWrite, kRead, kStandalone}},
        {"Shift+Tab back in standalone",
         {kSlave, kStandalone},
         Key::ShiftTab,
         {kRead, kWrite, kStandalone}},
    };
    ASSERT_EQ(Focused(), L"");
    for (const auto& walk : walks) {
        SCOPED_TRACE(walk.name);
        for (const auto& caption : walk.clicks) {
            ClickAndSettle(caption);
        }
        const Settings before = Read();
        if (!walk.clicks.empty()) {
            // A click leaves the focus on the clicked option.
            ASSERT_EQ(Focused(), walk.clicks.back());
        }
        std::vector<std::wstring> seen;
        for (size_t i = 0; i < walk.expected.size(); ++i) {
            if (!PressKey(Window(), walk.key)) {
                seen.push_back(L"<key not delivered>");
                break;
            }
            seen.push_back(Focused());
        }
        EXPECT_EQ(seen, walk.expected);
        ASSERT_TRUE(Settle(Window()));
        EXPECT_EQ(Read(), before);
        EXPECT_TRUE(FindBoxes(program_.pid()).empty()) << "the walk ran a command";
    }
}

// The three ways to ask for the end, each declined with No in a different state.
TEST_F(ShellWindowTest, EveryCloseRequestAsksAndNoKeepsEverything) {
    struct Way {
        const char* name;
        std::function<void()> setUp;
        std::function<bool()> ask;
    };
    const Way ways[] = {
        {"close box",
         [&] {
             ClickAndSettle(kSlave);
             ASSERT_TRUE(SelectItem(List().hwnd, L"12"));
         },
         [&] { return CloseBox(Window()); }},
        {"system menu Close", [&] { ClickAndSettle(kStandalone); },
         [&] { return SystemMenuClose(Window()); }},
        {"Alt+F4",
         [&] {
             ClickAndSettle(kSlave);
             ASSERT_TRUE(SelectItem(List().hwnd, L"2"));
         },
         [&] { return PressKey(Window(), Key::AltF4); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        way.setUp();
        ASSERT_TRUE(Settle(Window()));
        const Settings before = Read();
        ASSERT_TRUE(way.ask());
        HWND hwnd = WaitBox(program_.pid(), 5000);
        ASSERT_NE(hwnd, nullptr);
        Sleep(150); // the icon is read from the screen
        const Box box = ReadBox(hwnd);
        EXPECT_EQ(box.caption, L"Выход");
        EXPECT_EQ(box.text, kExitQuestion);
        EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
        EXPECT_EQ(box.icon, L"exclamation");
        EXPECT_EQ(box.owner, Window());
        EXPECT_FALSE(IsWindowEnabled(Window()));
        EXPECT_EQ(FindBoxes(program_.pid()).size(), 1u);
        // The window stays on the screen while the question is open.
        EXPECT_TRUE(IsWindowVisible(Window()));

        ASSERT_TRUE(AnswerBox(hwnd, IDNO));
        EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Window()) != FALSE; }));
        EXPECT_EQ(Read(), before);
        EXPECT_TRUE(program_.Running());
        EXPECT_TRUE(FindBoxes(program_.pid()).empty());
        EXPECT_EQ(State().title, kTitle);
    }
}

// Yes is the box's default button, and it ends the program with exit code 0.
TEST_F(ShellWindowTest, EnterAnswersYesAndEndsTheProgram) {
    ASSERT_TRUE(PressKey(Window(), Key::AltF4));
    HWND hwnd = WaitBox(program_.pid(), 5000);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(PressKey(hwnd, Key::Enter));
    DWORD code = 99;
    ASSERT_TRUE(program_.WaitExit(10000, &code));
    EXPECT_EQ(code, 0u);
}

TEST_F(ShellWindowTest, EscNeverEndsTheProgram) {
    ClickAndSettle(kSlave);
    const Settings before = Read();
    ASSERT_TRUE(CloseBox(Window()));
    HWND hwnd = WaitBox(program_.pid(), 5000);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(PressKey(hwnd, Key::Esc));
    Sleep(500);
    EXPECT_TRUE(program_.Running());
    if (RunningOnWine()) {
        // Wine's message box ends a Yes/No box on Esc as if Cancel were there;
        // the program must take that as No.
        if (!FindBoxes(program_.pid()).empty()) {
            ASSERT_TRUE(AnswerBox(hwnd, IDNO));
        }
    } else {
        // Windows ignores Esc in a box without a Cancel button.
        ASSERT_EQ(FindBoxes(program_.pid()).size(), 1u);
        ASSERT_TRUE(AnswerBox(hwnd, IDNO));
    }
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(Window()) != FALSE; }));
    EXPECT_EQ(Read(), before);
    EXPECT_TRUE(program_.Running());
}

TEST_F(ShellWindowTest, CanBeMinimizedButNotMaximizedNorResized) {
    const RECT before = State().outer;
    ASSERT_TRUE(Minimize(Window()));
    EXPECT_TRUE(WaitUntil([&] { return IsIconic(Window()) != FALSE; }));
    ASSERT_TRUE(Restore(Window()));
    EXPECT_TRUE(WaitUntil([&] { return !IsIconic(Window()); }));
    // The restored place may follow the restore by a moment on a busy machine.
    RECT now = {};
    EXPECT_TRUE(WaitUntil([&] {
        now = State().outer;
        return EqualRect(&before, &now) != FALSE;
    })) << now.left
        << "," << now.top << " - " << now.right << "," << now.bottom;

    // A double click on the title bar, as a user would to maximize.
    const int captionY =
        before.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    const int middleX = (before.left + before.right) / 2;
    ASSERT_EQ(HitTest(Window(), middleX, captionY), HTCAPTION);
    ASSERT_TRUE(TryMaximize(Window()));
    EXPECT_FALSE(IsZoomed(Window()));
    now = State().outer;
    EXPECT_TRUE(EqualRect(&before, &now));

    // No edge or corner offers sizing, and dragging the corner sizes nothing.
    const POINT edges[] = {
        {before.left, (before.top + before.bottom) / 2},
        {before.right - 1, (before.top + before.bottom) / 2},
        {middleX, before.bottom - 1},
        {before.right - 1, before.bottom - 1},
        {before.left, before.top},
    };
    for (const auto& edge : edges) {
        const LRESULT hit = HitTest(Window(), edge.x, edge.y);
        EXPECT_TRUE(hit < HTLEFT || hit > HTBOTTOMRIGHT) << edge.x << "," << edge.y << ": " << hit;
    }
    ASSERT_TRUE(TryResize(Window(), 60, 40));
    const WindowState after = State();
    EXPECT_EQ(after.clientWidth, 286);
    EXPECT_EQ(after.clientHeight, 99);
    EXPECT_TRUE(program_.Running());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
