// The configurator's window at the system DPI that tests/ui/dpi set in its
// prefix (TUMARK_EXPECT_DPI): the layout grows with the DPI, every caption
// fits its control in the control's own font, and the window stays centred.
// Runs as a DPI-aware program (the driver's manifest), so that Windows shows
// it the real pixels.
#include <gtest/gtest.h>

#include "uidriver.h"

#include <cmath>
#include <cstdlib>
#include <string>

using namespace uidriver;

namespace {

const std::wstring kTitle = L"Конфигуратор" + std::wstring(6, L' ') + L"Tumark v. 0.2";

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
// handle in every process. Wine 8 answers WM_GETFONT from another process
// with null even for a control that has the stock GUI font (the toolkit's
// font for every control); on Windows null means the system font.
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
    // A position at 96 DPI at this DPI, rounded half up as MulDiv rounds.
    long Edge(int pixels) const { return std::lround(pixels * dpi_ / 96.0); }

    int dpi_ = 0;
    Program program_;
    WindowState state_;
};

TEST_F(DpiLayoutTest, ClientAreaAndControlsGrowByTheDpi) {
    struct Client {
        int dpi, width, height;
    };
    const Client clients[] = {{96, 286, 99}, {120, 358, 124}, {144, 429, 149}, {192, 572, 198}};
    bool known = false;
    for (const Client& c : clients) {
        if (c.dpi == dpi_) {
            known = true;
            EXPECT_EQ(state_.clientWidth, c.width);
            EXPECT_EQ(state_.clientHeight, c.height);
        }
    }
    EXPECT_TRUE(known) << "no client size listed for " << dpi_ << " DPI";

    // Every edge exactly at its place at 96 DPI times DPI / 96, rounded: the
    // edges are scaled, not the sizes, so the frames still touch and no edge
    // drifts by the rounding of a size (at 120 DPI a scaled size would put the
    // right edge of "1" and of both buttons one pixel short).
    struct Place {
        const wchar_t* caption;
        int x, y, width, height;
    };
    const Place places[] = {
        {L"Режим", 5, 5, 100, 90},    {L"Автономный", 10, 30, 85, 20},
        {L"Ведомый", 10, 60, 80, 20}, {L"Направление", 105, 5, 90, 90},
        {L"1", 125, 40, 45, 20},      {L"Связь", 195, 5, 87, 90},
        {L"Запись", 205, 25, 65, 20}, {L"Чтение", 205, 60, 65, 20},
    };
    for (size_t i = 0; i < std::size(places); ++i) {
        const Place& p = places[i];
        const RECT& r = state_.controls[i].rect;
        SCOPED_TRACE(Utf8(p.caption));
        EXPECT_EQ(state_.controls[i].text, p.caption);
        EXPECT_EQ(r.left, Edge(p.x));
        EXPECT_EQ(r.top, Edge(p.y));
        EXPECT_EQ(r.right, Edge(p.x + p.width));
        EXPECT_EQ(r.bottom, Edge(p.y + p.height));
    }
    // The three frames still touch, as at 96 DPI.
    EXPECT_EQ(state_.controls[0].rect.right, state_.controls[3].rect.left);
    EXPECT_EQ(state_.controls[3].rect.right, state_.controls[5].rect.left);
}

TEST_F(DpiLayoutTest, EveryCaptionFitsItsControlInItsOwnFont) {
    const int check = GetSystemMetrics(SM_CXMENUCHECK);
    for (const Control& c : state_.controls) {
        if (_wcsicmp(c.className.c_str(), L"Button") != 0) {
            continue;
        }
        SCOPED_TRACE(Utf8(c.text));
        int average = 0;
        HFONT font = ControlFont(c.hwnd);
        const int width = TextWidth(font, c.text, &average);
        ASSERT_GT(width, 0) << "cannot read the control's font " << font
                            << " (the stock GUI font is " << GetStockObject(DEFAULT_GUI_FONT)
                            << ")";
        // What the control's own drawing takes besides the caption: an
        // option's mark and the gap after it; a frame's caption inset (about
        // one average character) and its right-hand line; a centred button
        // caption's margins and the button's edges on both sides.
        const int edge = GetSystemMetrics(SM_CXEDGE);
        int room = 2 * (average + edge);
        if ((c.style & 0xF) == BS_AUTORADIOBUTTON) {
            room = check + 2 * edge;
        } else if ((c.style & 0xF) == BS_GROUPBOX) {
            room = average + 2 * edge;
        }
        EXPECT_LE(width, c.width() - room) << "caption " << width << " px, control " << c.width()
                                           << " px, " << room << " px taken by the control";
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

// Opened, the direction list shows all sixteen items at once, at every DPI:
// the room it is given grows with the items' height.
TEST_F(DpiLayoutTest, TheOpenListShowsAllSixteenItems) {
    const Control* slave = FindControl(state_, L"Ведомый");
    const Control* list = FindControlByClass(state_, L"ComboBox");
    ASSERT_NE(slave, nullptr);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(Click(slave->hwnd));
    ASSERT_TRUE(Settle(program_.window()));
    for (int i = 0; i < 100 && !IsWindowEnabled(list->hwnd); ++i) {
        Sleep(50);
    }
    ASSERT_TRUE(PostMessageW(list->hwnd, CB_SHOWDROPDOWN, TRUE, 0));
    HWND open = nullptr;
    for (int i = 0; i < 100 && !open; ++i) {
        Sleep(50);
        open = VisibleWindowOfClass(program_.pid(), L"ComboLBox");
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
    ASSERT_TRUE(PressKey(program_.window(), Key::Esc));
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
