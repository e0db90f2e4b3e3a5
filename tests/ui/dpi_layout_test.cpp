// The configurator's window at the system DPI that tests/ui/dpi set in its
// prefix (TUMARK_EXPECT_DPI): the layout grows with the DPI, every caption
// fits its control in the control's own font, and the window stays centred.
// Runs as a DPI-aware program (the driver's manifest), so that Windows shows
// it the real pixels.
#include <gtest/gtest.h>

#include "uidriver.h"

#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

using namespace uidriver;

namespace {

const std::wstring kTitle = L"Конфигуратор" + std::wstring(6, L' ') + L"Tumark v. 0.2";

// A window started at each DPI: its client area; the height of the stock GUI
// font there, the controls' font (the toolkit's test moves a window to 144
// DPI and expects its controls' font at that height); and the height of one
// item of the direction list in that font, the bench's Tahoma.
struct AtDpi {
    int dpi, width, height, fontHeight, item;
};
constexpr AtDpi kAtDpi[] = {{96, 286, 99, -11, 13},
                            {120, 358, 124, -14, 17},
                            {144, 429, 149, -17, 21},
                            {192, 572, 198, -22, 27}};

const AtDpi* FindAtDpi(int dpi) {
    for (const AtDpi& a : kAtDpi) {
        if (a.dpi == dpi) {
            return &a;
        }
    }
    return nullptr;
}

// Every control's place at 96 DPI, in creation order.
struct Place {
    const wchar_t* caption;
    int x, y, width, height;
};
constexpr Place kPlaces[] = {
    {L"Режим", 5, 5, 100, 90},        {L"Автономный", 10, 30, 85, 20}, {L"Ведомый", 10, 60, 80, 20},
    {L"Направление", 105, 5, 90, 90}, {L"1", 125, 40, 45, 20},         {L"Связь", 195, 5, 87, 90},
    {L"Запись", 205, 25, 65, 20},     {L"Чтение", 205, 60, 65, 20},
};

// A position at 96 DPI at `dpi`, rounded half up as MulDiv rounds.
long Edge(int pixels, int dpi) {
    return std::lround(pixels * dpi / 96.0);
}

int ExpectedDpi() {
    const char* text = std::getenv("TUMARK_EXPECT_DPI");
    return text ? std::atoi(text) : 96;
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    if (!screen) {
        return 0;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

std::wstring ConfiguratorPath() {
    const char* dist = std::getenv("TUMARK_DIST_DIR");
    std::wstring folder = dist ? L"Z:" + Wide(dist) : L"";
    for (auto& c : folder) {
        if (c == L'/') {
            c = L'\\';
        }
    }
    return folder + L"\\TumarkConfigurator.exe";
}

// The width of text in the font of a control of another process: the stock
// GUI font is the same object in every process of the session.
int TextWidth(HFONT font, const std::wstring& text, int* averageCharWidth) {
    LOGFONTW logFont = {};
    if (!font || GetObjectW(font, sizeof(logFont), &logFont) != sizeof(logFont)) {
        return -1;
    }
    HFONT copy = CreateFontIndirectW(&logFont);
    HDC screen = GetDC(nullptr);
    if (!copy || !screen) {
        if (copy) {
            DeleteObject(copy);
        }
        if (screen) {
            ReleaseDC(nullptr, screen);
        }
        return -1;
    }
    HGDIOBJ old = SelectObject(screen, copy);
    SIZE size = {};
    const BOOL measured =
        GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &size);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    DeleteObject(copy);
    if (averageCharWidth) {
        *averageCharWidth = metrics.tmAveCharWidth;
    }
    return measured ? size.cx : -1;
}

// The font a control of another process draws with. A stock font is the same
// handle in every process. Wine (8 and 10) answers WM_GETFONT from another
// process with null even for a control that has the stock GUI font, so
// there the font is taken to be that one; the toolkit's test reads every
// control's font back in its own process. On Windows null means the system
// font.
HFONT ControlFont(HWND control) {
    const LRESULT font = SendMessageW(control, WM_GETFONT, 0, 0);
    if (font) {
        return reinterpret_cast<HFONT>(font);
    }
    return static_cast<HFONT>(GetStockObject(RunningOnWine() ? DEFAULT_GUI_FONT : SYSTEM_FONT));
}

struct WindowSearch {
    DWORD pid;
    const wchar_t* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM data) {
    auto* search = reinterpret_cast<WindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    if (owner == search->pid && IsWindowVisible(hwnd) && _wcsicmp(name, search->className) == 0) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The visible top-level window of class `className` of process `pid`.
HWND VisibleWindowOfClass(DWORD pid, const wchar_t* className) {
    WindowSearch search{pid, className, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class DpiLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dpi_ = SystemDpi();
        ASSERT_EQ(dpi_, ExpectedDpi()) << "the prefix's LogPixels did not take";
        ASSERT_TRUE(program_.Launch(ConfiguratorPath())) << Utf8(ConfiguratorPath());
        ASSERT_NE(program_.WaitWindow(kTitle, 30000), nullptr);
        ASSERT_GT(program_.WaitIdleMs(10000), 0);
        ASSERT_TRUE(Settle(program_.window()));
        state_ = ReadWindow(program_.window());
        ASSERT_EQ(state_.controls.size(), 8u);
    }
    int dpi_ = 0;
    Program program_;
    WindowState state_;
};

// Every edge exactly at its place at 96 DPI times DPI / 96, rounded: the
// edges are scaled, not the sizes, so the frames still touch and no edge
// drifts by the rounding of a size (at 120 DPI a scaled size would put the
// right edge of "1" and of both buttons one pixel short). The list's items
// are as tall as the font for that DPI makes them.
void ExpectLaidOutFor(const WindowState& state, int dpi) {
    SCOPED_TRACE("laid out for " + std::to_string(dpi) + " DPI");
    const AtDpi* at = FindAtDpi(dpi);
    ASSERT_NE(at, nullptr) << "no client size listed for " << dpi << " DPI";
    EXPECT_EQ(state.clientWidth, at->width);
    EXPECT_EQ(state.clientHeight, at->height);
    ASSERT_EQ(state.controls.size(), std::size(kPlaces));
    for (size_t i = 0; i < std::size(kPlaces); ++i) {
        const Place& p = kPlaces[i];
        const RECT& r = state.controls[i].rect;
        SCOPED_TRACE(Utf8(p.caption));
        EXPECT_EQ(state.controls[i].text, p.caption);
        EXPECT_EQ(r.left, Edge(p.x, dpi));
        EXPECT_EQ(r.top, Edge(p.y, dpi));
        EXPECT_EQ(r.right, Edge(p.x + p.width, dpi));
        EXPECT_EQ(r.bottom, Edge(p.y + p.height, dpi));
    }
    // The three frames still touch, as at 96 DPI.
    EXPECT_EQ(state.controls[0].rect.right, state.controls[3].rect.left);
    EXPECT_EQ(state.controls[3].rect.right, state.controls[5].rect.left);
    const Control* list = FindControlByClass(state, L"ComboBox");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(SendMessageW(list->hwnd, CB_GETITEMHEIGHT, 0, 0), at->item);
}

TEST_F(DpiLayoutTest, ClientAreaAndControlsGrowByTheDpi) {
    ExpectLaidOutFor(state_, dpi_);
    LOGFONTW stock = {};
    ASSERT_EQ(GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(stock), &stock), sizeof(stock));
    const AtDpi* at = FindAtDpi(dpi_);
    ASSERT_NE(at, nullptr);
    EXPECT_EQ(stock.lfHeight, at->fontHeight);
}

TEST_F(DpiLayoutTest, EveryCaptionFitsItsControlInItsOwnFont) {
    for (const Control& c : state_.controls) {
        if (_wcsicmp(c.className.c_str(), L"Button") != 0) {
            continue;
        }
        SCOPED_TRACE(Utf8(c.text));
        int average = 0;
        HFONT font = ControlFont(c.hwnd);
        const int width = TextWidth(font, c.text, &average);
        const int zero = TextWidth(font, L"0", nullptr);
        ASSERT_GT(width, 0) << "cannot read the control's font " << font
                            << " (the stock GUI font is " << GetStockObject(DEFAULT_GUI_FONT)
                            << ")";
        // What the control's own drawing takes besides the caption, as Wine
        // draws it: a frame's caption starts 7 px in and is cut 7 px before
        // the right edge; an option's caption follows its mark (12 px at 96
        // DPI, scaled, and one) and half a "0"; a push button's caption keeps
        // clear of its raised edge and a pixel more on each side.
        int room = 2 * (GetSystemMetrics(SM_CXEDGE) + 1);
        if ((c.style & 0xF) == BS_AUTORADIOBUTTON) {
            room = 12 * dpi_ / 96 + 1 + zero / 2;
        } else if ((c.style & 0xF) == BS_GROUPBOX) {
            room = 2 * 7;
        }
        EXPECT_LE(width, c.width() - room) << "caption " << width << " px, control " << c.width()
                                           << " px, " << room << " px taken by the control";
        // A frame's caption is also drawn whole: the system's own group box
        // cuts the ink that reaches past the text's advance (Wine's cuts
        // "Связь" by a column at 96 DPI and "Направление" by two at 120).
        if ((c.style & 0xF) == BS_GROUPBOX) {
            int lineHeight = 0;
            const int whole = TextInk(font, c.text, &lineHeight);
            ASSERT_GT(whole, 0);
            // The band of the frame as tall as a line, where the caption is.
            RECT band = {c.rect.left, c.rect.top, c.rect.right, c.rect.top + lineHeight};
            OffsetRect(&band, state_.clientOrigin.x, state_.clientOrigin.y);
            EXPECT_EQ(InkOnScreen(band, whole), whole)
                << "ink columns of the caption on the screen, against the text drawn uncut";
        }
    }

    // The title in the caption font, beside the icon and the three buttons.
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
    HFONT captionFont = CreateFontIndirectW(&metrics.lfCaptionFont);
    ASSERT_NE(captionFont, nullptr);
    int average = 0;
    const int title = TextWidth(captionFont, state_.title, &average);
    DeleteObject(captionFont);
    ASSERT_GT(title, 0);
    const int outer = state_.outer.right - state_.outer.left;
    const int room = 2 * GetSystemMetrics(SM_CXFIXEDFRAME) + GetSystemMetrics(SM_CXSMICON) +
                     3 * metrics.iCaptionWidth + 2 * average;
    EXPECT_LE(title, outer - room) << "title " << title << " px, window " << outer << " px";
}

// Opened, the direction list shows all sixteen items at once: the room it
// is given grows with the items' height.
void ExpectTheOpenListShowsAllSixteenItems(const Program& program, const WindowState& state) {
    const Control* slave = FindControl(state, L"Ведомый");
    const Control* list = FindControlByClass(state, L"ComboBox");
    ASSERT_NE(slave, nullptr);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(Click(slave->hwnd));
    ASSERT_TRUE(Settle(program.window()));
    for (int i = 0; i < 100 && !IsWindowEnabled(list->hwnd); ++i) {
        Sleep(50);
    }
    ASSERT_TRUE(PostMessageW(list->hwnd, CB_SHOWDROPDOWN, TRUE, 0));
    HWND open = nullptr;
    for (int i = 0; i < 100 && !open; ++i) {
        Sleep(50);
        open = VisibleWindowOfClass(program.pid(), L"ComboLBox");
    }
    ASSERT_NE(open, nullptr) << "the list did not open: enabled " << IsWindowEnabled(list->hwnd)
                             << " dropped " << SendMessageW(list->hwnd, CB_GETDROPPEDSTATE, 0, 0);
    RECT rect = {};
    ASSERT_TRUE(GetWindowRect(open, &rect));
    const LRESULT count = SendMessageW(open, LB_GETCOUNT, 0, 0);
    const LRESULT item = SendMessageW(open, LB_GETITEMHEIGHT, 0, 0);
    ASSERT_EQ(count, 16);
    ASSERT_GT(item, 0);
    // Its inside holds every item: no scrolling needed to see "16".
    RECT inside = {};
    ASSERT_TRUE(GetClientRect(open, &inside));
    EXPECT_GE(inside.bottom, 16 * item)
        << "open list " << rect.bottom - rect.top << " px, items " << item << " px";
    EXPECT_EQ(SendMessageW(open, LB_GETTOPINDEX, 0, 0), 0);
    // Closed again as the list itself is told to close; Esc to the window
    // leaves Wine's open list up, and the wait for it used to run out.
    ASSERT_TRUE(PostMessageW(list->hwnd, CB_SHOWDROPDOWN, FALSE, 0));
    for (int i = 0; i < 100 && SendMessageW(list->hwnd, CB_GETDROPPEDSTATE, 0, 0); ++i) {
        Sleep(50);
    }
    EXPECT_EQ(SendMessageW(list->hwnd, CB_GETDROPPEDSTATE, 0, 0), 0) << "the list stayed open";
}

TEST_F(DpiLayoutTest, TheOpenListShowsAllSixteenItems) {
    ExpectTheOpenListShowsAllSixteenItems(program_, state_);
}

// Memory in the program's process for a message whose lParam points to a
// structure: the system copies such a structure from one process to
// another only for the messages it knows, and the DPI messages are not
// among them (Windows sends them from within the program's own process).
class RemoteBlock {
  public:
    RemoteBlock(HANDLE process, size_t size)
        : process_(process),
          at_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteBlock() {
        if (at_) {
            VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
        }
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    bool Write(const void* data, size_t size) {
        SIZE_T done = 0;
        return at_ && WriteProcessMemory(process_, at_, data, size, &done) && done == size;
    }
    bool Read(void* data, size_t size) {
        SIZE_T done = 0;
        return at_ && ReadProcessMemory(process_, at_, data, size, &done) && done == size;
    }
    LPARAM address() const { return reinterpret_cast<LPARAM>(at_); }

  private:
    HANDLE process_;
    void* at_;
};

// Sent by Windows 10 1703 and later before WM_DPICHANGED.
constexpr UINT kGetDpiScaledSize = 0x02E4;

// What Windows does when the window has moved onto a monitor of `dpi`: it
// asks the window for its size there, then sends the new DPI with the
// rectangle it suggests, of that size, at `to`.
void MoveToDpi(const Program& program, int dpi, POINT to, RECT* suggested) {
    RemoteBlock block(program.process(), sizeof(RECT));
    SIZE size = {};
    DWORD_PTR answered = 0;
    ASSERT_TRUE(block.Write(&size, sizeof(size)));
    ASSERT_TRUE(SendMessageTimeoutW(program.window(), kGetDpiScaledSize, static_cast<WPARAM>(dpi),
                                    block.address(), SMTO_NORMAL, 10000, &answered));
    ASSERT_TRUE(answered) << "the window leaves its size at " << dpi << " DPI to the system";
    ASSERT_TRUE(block.Read(&size, sizeof(size)));
    *suggested = {to.x, to.y, to.x + size.cx, to.y + size.cy};
    ASSERT_TRUE(block.Write(suggested, sizeof(*suggested)));
    DWORD_PTR result = 0;
    ASSERT_TRUE(SendMessageTimeoutW(program.window(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                                    block.address(), SMTO_NORMAL, 10000, &result));
    ASSERT_TRUE(Settle(program.window()));
}

// Moved onto a monitor of another scale and back, each time the window goes
// where the system suggested and is laid out as one started at that DPI:
// client area, controls, the list's items (as tall as the font makes them)
// and its open list. Every control has the one font: the stock one back at
// this session's DPI, one made for it at the other. Wine answers WM_GETFONT
// from another process with null, so there only the list's items show the
// font; the toolkit's test reads every control's font in its own process.
TEST_F(DpiLayoutTest, MovedToAnotherScaleAndBackItIsLaidOutAsIfStartedThere) {
    const int other = dpi_ == 144 ? 96 : 144;
    const LRESULT stock = reinterpret_cast<LRESULT>(GetStockObject(DEFAULT_GUI_FONT));
    const struct {
        int dpi;
        POINT to;
    } moves[] = {{other, {state_.outer.left + 40, state_.outer.top + 30}},
                 {dpi_, {state_.outer.left, state_.outer.top}}};
    for (const auto& move : moves) {
        SCOPED_TRACE("moved to " + std::to_string(move.dpi) + " DPI");
        RECT suggested = {};
        MoveToDpi(program_, move.dpi, move.to, &suggested);
        if (HasFatalFailure()) {
            return;
        }
        const WindowState moved = ReadWindow(program_.window());
        EXPECT_EQ(moved.outer.left, suggested.left);
        EXPECT_EQ(moved.outer.top, suggested.top);
        ExpectLaidOutFor(moved, move.dpi);
        std::set<LRESULT> fonts;
        for (const Control& c : moved.controls) {
            fonts.insert(SendMessageW(c.hwnd, WM_GETFONT, 0, 0));
        }
        ASSERT_EQ(fonts.size(), 1u) << "the controls do not share one font";
        if (!RunningOnWine() || *fonts.begin()) {
            EXPECT_EQ(*fonts.begin() == stock, move.dpi == dpi_);
        }
        ExpectTheOpenListShowsAllSixteenItems(program_, moved);
    }
}

TEST_F(DpiLayoutTest, TheWindowStaysCentred) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    const int width = state_.outer.right - state_.outer.left;
    const int height = state_.outer.bottom - state_.outer.top;
    ASSERT_LE(width, screenWidth);
    ASSERT_LE(height, screenHeight);
    EXPECT_EQ(state_.outer.left, (screenWidth - width) / 2);
    EXPECT_EQ(state_.outer.top, (screenHeight - height) / 2);
    RECT frame = {0, 0, state_.clientWidth, state_.clientHeight};
    AdjustWindowRectEx(&frame, state_.style, FALSE, state_.exStyle);
    EXPECT_EQ(width, frame.right - frame.left);
    EXPECT_EQ(height, frame.bottom - frame.top);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
