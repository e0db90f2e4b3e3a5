// Toolkit cases run in-process under Wine on the GUI thread of the test
// program; one helper thread answers the message box.
#include "app/main_window.h"
#include "app/toolkit/accessible.h"
#include "app/toolkit/toolkit.h"

#include <gtest/gtest.h>
#include <uxtheme.h>

#include "pixels.h"

#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr uint32_t Sentinel = 70000; // above the merge range, never merged

void Start() {
    static bool started = false;
    if (!started) {
        ASSERT_TRUE(ToolkitStart(GetModuleHandleW(nullptr), GetProcessHeap()));
        started = true;
    }
}

void Pump() {
    MSG msg;
    for (int round = 0; round < 5; ++round) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(10);
    }
}

// Every event queued before the call, in order; the queue is empty after.
std::vector<ToolkitEventData> Drain() {
    EventPost(Sentinel, 0, 0, 0, 0, 0);
    std::vector<ToolkitEventData> got;
    for (int i = 0; i < 1000; ++i) {
        uint32_t kind = EventWait();
        if (kind == Sentinel && ToolkitEvent.kind == Sentinel) {
            return got;
        }
        if (ToolkitEvent.kind != 0) {
            got.push_back(ToolkitEvent);
        }
    }
    ADD_FAILURE() << "sentinel never came back";
    return got;
}

class Toolkit : public ::testing::Test {
  protected:
    void SetUp() override {
        Start();
        window = WindowOpen(100, 100, 300, 200, L"Toolkit test", WS_CAPTION | WS_SYSMENU);
        ASSERT_NE(window, 0u);
        Pump();
        Drain();
    }
    void TearDown() override {
        if (window) {
            WindowClose(window);
        }
        Pump();
    }
    // A control of the test's window, as any program finds it: by its id.
    HWND Hwnd(uint32_t gadget) const {
        return GetDlgItem(WindowHandle(window), static_cast<int>(gadget));
    }
    uint32_t window = 0;
};

uint32_t MakeList() {
    uint32_t list = DropListCreate(10, 10, 60, 20);
    for (int i = 1; i <= 16; ++i) {
        DropListAddItem(list, -1, std::to_wstring(i).c_str());
    }
    GadgetSetState(list, 0);
    return list;
}

TEST_F(Toolkit, ListSetTextSelectsOnlyAnExactItem) {
    uint32_t list = MakeList();
    ASSERT_NE(list, 0u);
    struct Case {
        const wchar_t* text;
        int32_t state;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {L"7", 6, L"7"}, {L"0", 6, L"7"}, {L"17", 6, L"7"}, {L"16", 15, L"16"}, {L"", -1, L""},
    };
    for (const Case& c : cases) {
        GadgetSetText(list, c.text);
        EXPECT_EQ(GadgetGetState(list), c.state) << "text " << std::wstring(c.text);
        EXPECT_EQ(GadgetGetText(list), std::wstring(c.shown));
    }
    Pump();
    EXPECT_TRUE(Drain().empty()) << "a change the program makes raised an event";
}

TEST_F(Toolkit, ListTextReadsWhileDisabled) {
    uint32_t list = MakeList();
    GadgetDisable(list, 1);
    EXPECT_FALSE(IsWindowEnabled(Hwnd(list)));
    GadgetSetText(list, L"5");
    EXPECT_EQ(GadgetGetText(list), L"5");
    EXPECT_EQ(GadgetGetState(list), 4);
    GadgetDisable(list, 0);
    EXPECT_TRUE(IsWindowEnabled(Hwnd(list)));
    EXPECT_EQ(GadgetGetText(list), L"5");
}

TEST_F(Toolkit, OptionStateClearsTheRestOfItsGroupOnly) {
    uint32_t first = OptionCreate(10, 10, 80, 16, L"A");
    uint32_t second = OptionCreate(10, 30, 80, 16, L"B");
    uint32_t third = OptionCreate(10, 50, 80, 16, L"C");
    ButtonCreate(10, 70, 80, 20, L"Break");
    uint32_t other = OptionCreate(100, 10, 80, 16, L"D");
    ASSERT_NE(other, 0u);
    EXPECT_TRUE(GetWindowLongW(Hwnd(first), GWL_STYLE) & WS_GROUP);
    EXPECT_FALSE(GetWindowLongW(Hwnd(second), GWL_STYLE) & WS_GROUP);
    EXPECT_TRUE(GetWindowLongW(Hwnd(other), GWL_STYLE) & WS_GROUP);

    GadgetSetState(first, 1);
    GadgetSetState(other, 1);
    GadgetSetState(second, 1);
    EXPECT_EQ(GadgetGetState(first), 0);
    EXPECT_EQ(GadgetGetState(second), 1);
    EXPECT_EQ(GadgetGetState(third), 0);
    EXPECT_EQ(GadgetGetState(other), 1) << "an option of another group was cleared";

    GadgetSetState(second, 0);
    EXPECT_EQ(GadgetGetState(first), 0);
    EXPECT_EQ(GadgetGetState(second), 0);
    EXPECT_EQ(GadgetGetState(third), 0);
    Pump();
    EXPECT_TRUE(Drain().empty());
}

TEST_F(Toolkit, IdenticalEventsBackToBackArriveOnce) {
    EventPost(GadgetEvent, 1234, window, 0, 0, 0);
    EventPost(GadgetEvent, 1234, window, 0, 0, 0);
    EventPost(GadgetEvent, 1234, window, 768, 0, 0);
    EventPost(GadgetEvent, 1234, window, 0, 0, 0);
    auto got = Drain();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].type, 0u);
    EXPECT_EQ(got[1].type, 768u);
    EXPECT_EQ(got[2].type, 0u);
    EXPECT_EQ(got[0].gadget, 1234u);
    EXPECT_EQ(got[0].window, window);
}

TEST_F(Toolkit, EventPostedFromAnotherThreadWakesTheWait) {
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID) WINAPI -> DWORD {
            Sleep(100);
            EventPost(GadgetEvent, 4321, 0, 0, 0, 0);
            return 0;
        },
        nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        seen = EventWait() == GadgetEvent && EventGadget() == 4321;
    }
    EXPECT_TRUE(seen);
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
}

TEST_F(Toolkit, ButtonClickGivesOneClickEvent) {
    uint32_t button = ButtonCreate(10, 10, 80, 24, L"Go");
    ASSERT_NE(button, 0u);
    ASSERT_NE(Hwnd(button), nullptr) << "the control's id is not its gadget number";
    Pump();
    Drain();
    SendMessageW(Hwnd(button), BM_CLICK, 0, 0);
    Pump();
    auto got = Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, GadgetEvent);
    EXPECT_EQ(got[0].gadget, button);
    EXPECT_EQ(got[0].window, window);
    EXPECT_EQ(got[0].type, EventTypeClick);
}

TEST_F(Toolkit, CloseRequestBecomesAnEventAndTheWindowStays) {
    HWND hwnd = WindowHandle(window);
    SendMessageW(hwnd, WM_CLOSE, 0, 0);
    auto got = Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, CloseWindowEvent);
    EXPECT_EQ(got[0].window, window);
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(Toolkit, WindowCloseDropsItsQueuedEvents) {
    uint32_t second = WindowOpen(50, 50, 100, 50, L"Second", WS_CAPTION);
    ASSERT_NE(second, 0u);
    HWND hwnd = WindowHandle(second);
    EventPost(GadgetEvent, 1, second, 0, 0, 0);
    EventPost(GadgetEvent, 2, window, 0, 0, 0);
    WindowClose(second);
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(WindowHandle(second), nullptr);
    auto got = Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].gadget, 2u);
}

struct BoxWatch {
    const wchar_t* caption;
    std::vector<HWND> windows;
    std::vector<BOOL> enabled;
    bool found = false;
};

DWORD WINAPI AnswerBox(LPVOID param) {
    auto* watch = static_cast<BoxWatch*>(param);
    for (int i = 0; i < 200; ++i) {
        HWND box = FindWindowExW(nullptr, nullptr, L"#32770", watch->caption);
        if (box) {
            watch->found = true;
            Sleep(100);
            for (HWND h : watch->windows) {
                watch->enabled.push_back(IsWindowEnabled(h));
            }
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(25);
    }
    return 1;
}

TEST_F(Toolkit, MessageShowDisablesTheOthersAndRestoresEach) {
    uint32_t b = WindowOpen(450, 100, 120, 60, L"Other B", WS_CAPTION);
    uint32_t c = WindowOpen(450, 250, 120, 60, L"Other C", WS_CAPTION);
    ASSERT_NE(b, 0u);
    ASSERT_NE(c, 0u);
    HWND hb = WindowHandle(b), hc = WindowHandle(c), ha = WindowHandle(window);
    EnableWindow(hc, FALSE);
    SetForegroundWindow(ha);
    Pump();

    BoxWatch watch{L"Toolkit box test", {hb, hc}, {}};
    HANDLE thread = CreateThread(nullptr, 0, AnswerBox, &watch, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    int answer = MessageShow(watch.caption, L"Text", MB_OK);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);

    EXPECT_TRUE(watch.found);
    EXPECT_EQ(answer, IDOK);
    ASSERT_EQ(watch.enabled.size(), 2u);
    EXPECT_FALSE(watch.enabled[0]) << "another window stayed enabled under the box";
    EXPECT_FALSE(watch.enabled[1]);
    EXPECT_TRUE(IsWindowEnabled(hb)) << "window B was not given its enabled state back";
    EXPECT_FALSE(IsWindowEnabled(hc)) << "window C was disabled before and must stay so";
    EXPECT_TRUE(IsWindowEnabled(ha));
    WindowClose(b);
    WindowClose(c);
}

DWORD WINAPI EscapeToBox(LPVOID caption) {
    for (int i = 0; i < 200; ++i) {
        HWND box = FindWindowExW(nullptr, nullptr, L"#32770", static_cast<const wchar_t*>(caption));
        HWND ok = box ? GetDlgItem(box, IDOK) : nullptr;
        if (ok) {
            Sleep(100);
            PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageW(ok, WM_KEYUP, VK_ESCAPE, 0);
            return 0;
        }
        Sleep(25);
    }
    return 1;
}

// Keys and clicks that waited in the queue while a command ran are dropped
// before its box, so that none of them answers it; other messages stay,
// and a key given once the box is up works on it as usual.
TEST_F(Toolkit, InputQueuedBeforeABoxIsDroppedAndInputAfterAnswersIt) {
    const uint32_t button = ButtonCreate(10, 10, 80, 24, L"B");
    const HWND hb = Hwnd(button), hw = WindowHandle(window);
    Pump();
    Drain();
    for (UINT m : {WM_KEYDOWN, WM_CHAR, WM_KEYUP, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_LBUTTONUP,
                   WM_MOUSEMOVE, WM_NCLBUTTONDOWN}) {
        PostMessageW(hb, m, VK_RETURN, 0);
    }
    constexpr UINT NotInput = WM_APP + 7;
    PostMessageW(hw, NotInput, 0, 0);
    EventDropInput();
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_MOUSEFIRST, WM_MOUSELAST, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_NCMOUSEMOVE, WM_NCXBUTTONDBLCLK, PM_NOREMOVE));
    EXPECT_TRUE(PeekMessageW(&msg, hw, NotInput, NotInput, PM_REMOVE)) << "other messages stay";

    const wchar_t* caption = L"Toolkit key box";
    HANDLE thread =
        CreateThread(nullptr, 0, EscapeToBox, const_cast<wchar_t*>(caption), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(MessageShow(caption, L"Text", MB_OKCANCEL), IDCANCEL);
    WaitForSingleObject(thread, 10000);
    CloseHandle(thread);
}

// An arrow key on a focused option selects the next or previous enabled
// option of its group, wrapping, gives it the focus and raises exactly one
// click for it; a disabled option is passed over, and a key on a control that
// is not an option is left to that control.
TEST_F(Toolkit, ArrowKeysMoveWithinAnOptionGroup) {
    const uint32_t a = OptionCreate(10, 10, 80, 16, L"A");
    const uint32_t b = OptionCreate(10, 30, 80, 16, L"B");
    const uint32_t c = OptionCreate(10, 50, 80, 16, L"C");
    const uint32_t button = ButtonCreate(10, 70, 80, 20, L"Break");
    const uint32_t other = OptionCreate(100, 10, 80, 16, L"D");
    ASSERT_NE(other, 0u);
    HWND hwnd = WindowHandle(window);
    SetForegroundWindow(hwnd);
    Pump();
    ASSERT_EQ(GetActiveWindow(), hwnd);
    struct Case {
        uint32_t from;
        WPARAM key;
        uint32_t disabled; // 0: none
        uint32_t to;       // 0: the key is not taken; focus and checks stay
    };
    const Case cases[] = {
        {a, VK_DOWN, 0, b}, {b, VK_DOWN, 0, c},      {c, VK_DOWN, 0, a},   {a, VK_RIGHT, 0, b},
        {b, VK_UP, 0, a},   {a, VK_UP, 0, c},        {c, VK_LEFT, 0, b},   {a, VK_DOWN, b, c},
        {c, VK_UP, b, a},   {button, VK_DOWN, 0, 0}, {other, VK_UP, 0, 0},
    };
    const uint32_t all[] = {a, b, c, button, other};
    for (const Case& k : cases) {
        SCOPED_TRACE(testing::Message() << "from " << k.from - a << " key " << k.key << " disabled "
                                        << (k.disabled ? k.disabled - a : 0));
        GadgetSetState(k.from == button ? a : k.from, 1);
        GadgetSetState(other, 1);
        GadgetDisable(k.disabled, 1);
        SetFocus(Hwnd(k.from));
        Pump();
        Drain();
        std::vector<int32_t> before;
        for (uint32_t g : all) {
            before.push_back(GadgetGetState(g));
        }
        ASSERT_TRUE(PostMessageW(Hwnd(k.from), WM_KEYDOWN, k.key, 1));
        std::vector<ToolkitEventData> events;
        for (int i = 0; i < 100; ++i) {
            const uint32_t got = EventWait();
            if (ToolkitEvent.kind != 0) {
                events.push_back(ToolkitEvent);
            } else if (got == WM_KEYDOWN) {
                break;
            }
        }
        for (const ToolkitEventData& e : Drain()) {
            events.push_back(e);
        }
        GadgetDisable(k.disabled, 0);
        if (!k.to) {
            EXPECT_EQ(GetFocus(), Hwnd(k.from));
            for (size_t i = 0; i < std::size(all); ++i) {
                EXPECT_EQ(GadgetGetState(all[i]), before[i]) << "control " << i;
            }
            EXPECT_TRUE(events.empty());
            continue;
        }
        EXPECT_EQ(GetFocus(), Hwnd(k.to));
        for (uint32_t g : {a, b, c}) {
            EXPECT_EQ(GadgetGetState(g), g == k.to ? 1 : 0) << "option " << g - a;
        }
        EXPECT_EQ(GadgetGetState(other), 1) << "an option of another group changed";
        ASSERT_EQ(events.size(), 1u) << "one click for the option chosen";
        EXPECT_EQ(events[0].kind, GadgetEvent);
        EXPECT_EQ(events[0].gadget, k.to);
        EXPECT_EQ(events[0].window, window);
        EXPECT_EQ(events[0].type, EventTypeClick);
    }
}

// The system keeps a dialog's focused control across a switch to another
// window, but not a plain window's: the toolkit gives it back itself.
TEST_F(Toolkit, TheFocusedControlHasTheFocusAgainWhenTheWindowIsActivatedAgain) {
    ButtonCreate(10, 10, 80, 24, L"One");
    const uint32_t two = ButtonCreate(100, 10, 80, 24, L"Two");
    const uint32_t other = WindowOpen(450, 100, 120, 60, L"Other", WS_CAPTION);
    ASSERT_NE(other, 0u);
    const HWND hw = WindowHandle(window), ho = WindowHandle(other);
    SetForegroundWindow(hw);
    SetFocus(Hwnd(two));
    Pump();
    ASSERT_EQ(GetFocus(), Hwnd(two));
    SetForegroundWindow(ho);
    Pump();
    ASSERT_EQ(GetActiveWindow(), ho);
    SetForegroundWindow(hw);
    Pump();
    EXPECT_EQ(GetFocus(), Hwnd(two));
    WindowClose(other);
}

// A technician's taskbar takes part of the screen; the window is centred on
// the whole screen all the same, by its outer size.
TEST_F(Toolkit, ACentredWindowIsCentredOnTheWholeScreenWhateverTheWorkArea) {
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    RECT saved = {};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0));
    RECT work = {120, 0, sw, sh - 60}; // a taskbar on the left, and one below
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &work, 0));
    RECT seen = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &seen, 0);
    const uint32_t centred = WindowOpen(0, 0, 286, 99, L"Centred", WS_CAPTION | WindowFlagCentre);
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    ASSERT_NE(centred, 0u);
    EXPECT_TRUE(EqualRect(&seen, &work)) << "the work area could not be made smaller";
    RECT outer = {};
    ASSERT_TRUE(GetWindowRect(WindowHandle(centred), &outer));
    EXPECT_EQ(outer.left, (sw - (outer.right - outer.left)) / 2);
    EXPECT_EQ(outer.top, (sh - (outer.bottom - outer.top)) / 2);
    WindowClose(centred);
}

// Wine's annotation service accepts nothing (E_NOTIMPL), so a screen
// reader's view cannot be read back here: a stand-in for the service sees
// the calls the toolkit makes, and answers as Windows does.
class AnnotationWatch : public IAccPropServices {
  public:
    struct Call {
        HWND hwnd;
        DWORD object, child;
        GUID property;
        std::wstring text; // empty for a clearing
    };
    std::vector<Call> named, cleared;

    HRESULT WINAPI QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG WINAPI AddRef() override { return 1; }
    ULONG WINAPI Release() override { return 1; }
    HRESULT WINAPI SetHwndPropStr(HWND hwnd, DWORD object, DWORD child, MSAAPROPID property,
                                  LPCWSTR text) override {
        named.push_back({hwnd, object, child, property, text ? text : L""});
        return S_OK;
    }
    HRESULT WINAPI ClearHwndProps(HWND hwnd, DWORD object, DWORD child, const MSAAPROPID* props,
                                  int count) override {
        for (int i = 0; i < count; ++i) {
            cleared.push_back({hwnd, object, child, props[i], L""});
        }
        return S_OK;
    }
    HRESULT WINAPI SetPropValue(const BYTE*, DWORD, MSAAPROPID, VARIANT) override { return E_FAIL; }
    HRESULT WINAPI SetPropServer(const BYTE*, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                 AnnoScope) override {
        return E_FAIL;
    }
    HRESULT WINAPI ClearProps(const BYTE*, DWORD, const MSAAPROPID*, int) override {
        return E_FAIL;
    }
    HRESULT WINAPI SetHwndProp(HWND, DWORD, DWORD, MSAAPROPID, VARIANT) override { return E_FAIL; }
    HRESULT WINAPI SetHwndPropServer(HWND, DWORD, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                     AnnoScope) override {
        return E_FAIL;
    }
    HRESULT WINAPI ComposeHwndIdentityString(HWND, DWORD, DWORD, BYTE**, DWORD*) override {
        return E_FAIL;
    }
    HRESULT WINAPI DecomposeHwndIdentityString(const BYTE*, DWORD, HWND*, DWORD*, DWORD*) override {
        return E_FAIL;
    }
    HRESULT WINAPI SetHmenuProp(HMENU, DWORD, MSAAPROPID, VARIANT) override { return E_FAIL; }
    HRESULT WINAPI SetHmenuPropStr(HMENU, DWORD, MSAAPROPID, LPCWSTR) override { return E_FAIL; }
    HRESULT WINAPI SetHmenuPropServer(HMENU, DWORD, const MSAAPROPID*, int, IAccPropServer*,
                                      AnnoScope) override {
        return E_FAIL;
    }
    HRESULT WINAPI ClearHmenuProps(HMENU, DWORD, const MSAAPROPID*, int) override { return E_FAIL; }
    HRESULT WINAPI ComposeHmenuIdentityString(HMENU, DWORD, BYTE**, DWORD*) override {
        return E_FAIL;
    }
    HRESULT WINAPI DecomposeHmenuIdentityString(const BYTE*, DWORD, HMENU*, DWORD*) override {
        return E_FAIL;
    }
};

// The main window as the program makes it, read back in its own process
// (Wine answers neither for a class's icon nor WM_GETFONT across processes):
// the program's icon on its class, and the one font on every control.
TEST_F(Toolkit, TheMainWindowHasTheProgramsIconAndItsControlsTheFont) {
    CreateMainWindow();
    ASSERT_NE(MainWindow, 0u);
    const HWND main = WindowHandle(MainWindow);
    const HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(GetClassLongPtrW(main, GCLP_HICON)), icon);
    const LRESULT stock = reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT));
    int controls = 0;
    for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT), ++controls) {
        EXPECT_EQ(SendMessageW(c, WM_GETFONT, 0, 0), stock) << "control " << controls;
    }
    EXPECT_EQ(controls, 8);
    WindowClose(MainWindow);
    MainWindow = 0;
}

// Every frame caption of the main window shows as much ink on the screen as
// its text drawn uncut. Wine's group box with visual styles cuts the last
// column of "Связь" at 96 DPI, so the program draws that frame itself: with
// visual styles, and without them (the theme taken off each frame).
TEST_F(Toolkit, EveryFrameCaptionOfTheMainWindowIsDrawnWhole) {
    CreateMainWindow();
    ASSERT_NE(MainWindow, 0u);
    const HWND main = WindowHandle(MainWindow);
    SetForegroundWindow(main);
    for (const bool themed : {true, false}) {
        SCOPED_TRACE(themed ? "with visual styles" : "without");
        int frames = 0;
        for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
            if ((GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX) {
                continue;
            }
            ++frames;
            if (!themed) {
                ASSERT_EQ(SetWindowTheme(c, L" ", L" "), S_OK);
            }
            ASSERT_TRUE(RedrawWindow(c, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW));
            Pump();
            wchar_t text[64] = {};
            GetWindowTextW(c, text, 64);
            SCOPED_TRACE("frame " + std::to_string(frames));
            int lineHeight = 0;
            const auto font = reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0));
            const int whole = uidriver::TextInk(font, text, &lineHeight);
            ASSERT_GT(whole, 0);
            RECT band = {};
            ASSERT_TRUE(GetWindowRect(c, &band));
            band.bottom = band.top + lineHeight;
            EXPECT_EQ(uidriver::InkOnScreen(band, whole), whole)
                << "ink columns of the caption on the screen, against the text drawn uncut";
        }
        EXPECT_EQ(frames, 3);
    }
    WindowClose(MainWindow);
    MainWindow = 0;
}

// The direction list, and it alone, is named "Направление" for the list
// itself (not one of its items), and the name is cleared when it goes.
TEST_F(Toolkit, TheDirectionListIsNamedForAScreenReader) {
    AnnotationWatch watch;
    toolkit::gPropServices = &watch;
    CreateMainWindow();
    ASSERT_NE(MainWindow, 0u);
    HWND list = GetDlgItem(WindowHandle(MainWindow), static_cast<int>(DirectionList));
    ASSERT_EQ(watch.named.size(), 1u);
    const AnnotationWatch::Call& call = watch.named[0];
    EXPECT_EQ(call.hwnd, list);
    EXPECT_EQ(call.object, static_cast<DWORD>(OBJID_CLIENT));
    EXPECT_EQ(call.child, static_cast<DWORD>(CHILDID_SELF));
    EXPECT_TRUE(IsEqualGUID(call.property, toolkit::AccNameProperty));
    EXPECT_EQ(call.text, L"Направление");
    EXPECT_TRUE(watch.cleared.empty());

    WindowClose(MainWindow);
    MainWindow = 0;
    toolkit::gPropServices = nullptr;
    ASSERT_EQ(watch.cleared.size(), 1u);
    EXPECT_EQ(watch.cleared[0].hwnd, list);
    EXPECT_TRUE(IsEqualGUID(watch.cleared[0].property, toolkit::AccNameProperty));
}

// A control's rectangle in its window's client area.
RECT ClientRectOf(HWND hwnd) {
    RECT rect = {};
    GetWindowRect(hwnd, &rect);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The bench runs at 96 DPI. Told, as Windows tells it, that it is now on a
// monitor of 144 DPI, the window gives every control one font as tall as
// the stock GUI font of a session at 144 DPI (-17 px, the DPI test's
// table); back at 96, the stock font itself.
TEST_F(Toolkit, AChangeOfDpiGivesEveryControlTheFontOfThatDpi) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    const int session = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    ASSERT_EQ(session, 96);
    const uint32_t all[] = {FrameCreate(5, 5, 100, 90, L"Рамка"),
                            OptionCreate(10, 30, 85, 20, L"Вариант"), MakeList(),
                            ButtonCreate(205, 25, 65, 20, L"Кнопка")};
    HWND hwnd = WindowHandle(window);
    const HFONT stock = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    const struct {
        int dpi;
        long fontHeight;
        int left;
    } moves[] = {{144, -17, 150}, {96, -11, 100}};
    HFONT made = nullptr; // the font made for 144 DPI, deleted once left
    for (const auto& move : moves) {
        SCOPED_TRACE(move.dpi);
        RECT suggested = {move.left, 120, move.left + 600, 500};
        SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(move.dpi, move.dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT outer = {}, client = {};
        ASSERT_TRUE(GetWindowRect(hwnd, &outer));
        ASSERT_TRUE(GetClientRect(hwnd, &client));
        EXPECT_EQ(outer.left, suggested.left);
        EXPECT_EQ(outer.top, suggested.top);
        EXPECT_EQ(client.right, 300 * move.dpi / 96);
        EXPECT_EQ(client.bottom, 200 * move.dpi / 96);
        EXPECT_EQ(ClientRectOf(Hwnd(all[3])).left, MulDiv(205, move.dpi, 96));
        const HFONT font = reinterpret_cast<HFONT>(SendMessageW(Hwnd(all[0]), WM_GETFONT, 0, 0));
        LOGFONTW logFont = {};
        ASSERT_EQ(GetObjectW(font, sizeof(logFont), &logFont), sizeof(logFont));
        EXPECT_EQ(logFont.lfHeight, move.fontHeight);
        EXPECT_EQ(font == stock, move.dpi == session);
        if (move.dpi != session) {
            made = font;
        } else {
            EXPECT_EQ(GetObjectType(made), 0u) << "the font of the DPI left was not deleted";
        }
        for (uint32_t g : all) {
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(Hwnd(g), WM_GETFONT, 0, 0)), font)
                << "control " << g - all[0];
        }
    }
}

// A caption that would not fit grows its control and its frame just enough;
// what lies to the right moves over by as much, the client area grows with
// it, and nothing moves left, up or down.
TEST_F(Toolkit, ACaptionThatWouldNotFitGrowsItsFrameAndMovesTheNextOne) {
    HWND hwnd = WindowHandle(window);
    RECT before = {};
    ASSERT_TRUE(GetClientRect(hwnd, &before));
    const uint32_t first = FrameCreate(5, 5, 20, 90, L"Направление");
    const uint32_t inside = DropListCreate(10, 25, 10, 20);
    const uint32_t second = FrameCreate(25, 5, 60, 90, L"Связь");
    const uint32_t next = ButtonCreate(30, 25, 50, 20, L"Запись");

    // The frame's caption in its font, 7 px clear of each side.
    HDC dc = GetDC(hwnd);
    ASSERT_NE(dc, nullptr);
    HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE caption = {};
    ASSERT_TRUE(GetTextExtentPoint32W(dc, L"Направление", 11, &caption));
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    const int grown = caption.cx + 14 - 20;
    ASSERT_GT(grown, 0);

    const RECT a = ClientRectOf(Hwnd(first)), b = ClientRectOf(Hwnd(inside)),
               c = ClientRectOf(Hwnd(second)), d = ClientRectOf(Hwnd(next));
    EXPECT_EQ(a.left, 5);
    EXPECT_EQ(a.top, 5);
    EXPECT_EQ(a.right, 25 + grown);
    EXPECT_EQ(b.left, 10) << "the control inside stays where it was";
    EXPECT_EQ(c.left, a.right) << "the frames still touch";
    EXPECT_EQ(c.right - c.left, 60);
    EXPECT_EQ(d.left, 30 + grown);
    EXPECT_EQ(d.top, 25);
    RECT after = {};
    ASSERT_TRUE(GetClientRect(hwnd, &after));
    EXPECT_EQ(after.right, before.right + grown);
    EXPECT_EQ(after.bottom, before.bottom);
}

} // namespace
