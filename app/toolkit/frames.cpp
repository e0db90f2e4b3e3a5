// A frame whose caption the system would cut, painted by the program the
// way and in the place the system paints it, but with the caption whole.
// GUI thread only.
#include "app/toolkit/registry.h"

#include <uxtheme.h>
#include <vsstyle.h>
#include <vssym32.h>

#include <algorithm>
#include <cstdint>

#include "common/holders.h"
#include "common/system_library.h"

namespace toolkit {

namespace {

// Where the system puts a frame's caption, in pixels at every DPI: 7 in from
// the left edge and a pixel's margin, on the top edge. The frame's line has
// a gap as wide as the text behind it, and without visual styles a pixel
// more on each side and below.
constexpr int FrameTextLeft = 7 + 1;
constexpr int ClassicGapMargin = 1;

// A pixel counts as a caption's ink when each of its channels is below this:
// the faint edge of a smoothed letter does not, and cutting it shows nothing.
constexpr int InkLevel = 80;

// uxtheme's functions, looked up once from the system folder: the program
// does not import the DLL, which is not one of the system's known DLLs.
struct ThemeFunctions {
    decltype(&GetWindowTheme) windowTheme;
    decltype(&GetThemeFont) font;
    decltype(&GetThemeBackgroundContentRect) contentRect;
    decltype(&IsThemeBackgroundPartiallyTransparent) partlyTransparent;
    decltype(&DrawThemeParentBackground) parentBackground;
    decltype(&DrawThemeBackground) background;
    decltype(&DrawThemeText) text;
};

const ThemeFunctions* Theme() {
    static const ThemeFunctions functions = [] {
        const HMODULE uxtheme = LoadSystemLibrary(L"uxtheme.dll");
        return ThemeFunctions{
            ModuleFunction<decltype(&GetWindowTheme)>(uxtheme, "GetWindowTheme"),
            ModuleFunction<decltype(&GetThemeFont)>(uxtheme, "GetThemeFont"),
            ModuleFunction<decltype(&GetThemeBackgroundContentRect)>(
                uxtheme, "GetThemeBackgroundContentRect"),
            ModuleFunction<decltype(&IsThemeBackgroundPartiallyTransparent)>(
                uxtheme, "IsThemeBackgroundPartiallyTransparent"),
            ModuleFunction<decltype(&DrawThemeParentBackground)>(uxtheme,
                                                                 "DrawThemeParentBackground"),
            ModuleFunction<decltype(&DrawThemeBackground)>(uxtheme, "DrawThemeBackground"),
            ModuleFunction<decltype(&DrawThemeText)>(uxtheme, "DrawThemeText")};
    }();
    const ThemeFunctions& f = functions;
    const bool complete = f.windowTheme && f.font && f.contentRect && f.partlyTransparent &&
                          f.parentBackground && f.background && f.text;
    return complete ? &functions : nullptr;
}

// A frame as the system would paint it now: its theme (null without visual
// styles), state, caption and the font the caption is drawn in.
struct FrameLook {
    const ThemeFunctions* theme = nullptr;
    HTHEME handle = nullptr;
    int state = GBS_NORMAL;
    std::wstring caption;
    HFONT font = nullptr;
};

FrameLook ReadLook(HWND frame) {
    FrameLook look;
    look.theme = Theme();
    look.handle = look.theme ? look.theme->windowTheme(frame) : nullptr;
    look.state = IsWindowEnabled(frame) ? GBS_NORMAL : GBS_DISABLED;
    look.caption = WindowText(frame);
    look.font = reinterpret_cast<HFONT>(SendMessageW(frame, WM_GETFONT, 0, 0));
    return look;
}

// The font the theme names for frames, made for `dc`; null where it names
// none, and the frame's own font is the caption's.
HFONT ThemeFont(const FrameLook& look, HDC dc) {
    LOGFONTW themed = {};
    if (!look.handle ||
        FAILED(look.theme->font(look.handle, dc, BP_GROUPBOX, look.state, TMT_FONT, &themed))) {
        return nullptr;
    }
    return CreateFontIndirectW(&themed);
}

// How many columns of ink the caption has left of its advance and right of
// it, in the font selected into the memory DC `dc`: drawn on white in a
// bitmap wide enough for any letter's reach and read back.
struct Overhang {
    int left = 0, right = 0;
};

Overhang InkOverhang(HDC dc, const std::wstring& caption) {
    Overhang overhang;
    // The advance as the system measures the caption for its box.
    RECT box = {};
    TEXTMETRICW metrics = {};
    if (!DrawTextW(dc, caption.c_str(), -1, &box, DT_SINGLELINE | DT_CALCRECT) ||
        !GetTextMetricsW(dc, &metrics) || box.right <= 0 || metrics.tmHeight <= 0) {
        return overhang;
    }
    const int advance = box.right;
    const int margin = metrics.tmHeight;
    const int width = advance + 2 * margin;
    const int height = metrics.tmHeight;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    GdiObject bitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap.Get()) {
        return overhang;
    }
    const HGDIOBJ old = SelectObject(dc, bitmap.Get());
    RECT all = {0, 0, width, height};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkMode(dc, TRANSPARENT);
    RECT at = {margin, 0, width, height};
    DrawTextW(dc, caption.c_str(), -1, &at, DT_SINGLELINE | DT_NOCLIP);
    GdiFlush();
    int first = -1;
    int last = -1;
    const auto* pixels = static_cast<const uint32_t*>(bits);
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            const uint32_t p = pixels[y * width + x];
            if (((p >> 16) & 0xFF) < InkLevel && ((p >> 8) & 0xFF) < InkLevel &&
                (p & 0xFF) < InkLevel) {
                first = first < 0 ? x : first;
                last = x;
                break;
            }
        }
    }
    SelectObject(dc, old);
    if (first >= 0) {
        overhang.left = std::max(0, margin - first);
        overhang.right = std::max(0, last + 1 - (margin + advance));
    }
    return overhang;
}

// The brush a frame's parent gives it, as to a static text, with the
// colours it sets in `dc`.
HBRUSH ParentBrush(HWND frame, HDC dc) {
    HWND parent = GetParent(frame);
    if (!parent) {
        parent = frame;
    }
    const auto dcParam = reinterpret_cast<WPARAM>(dc);
    const auto frameParam = reinterpret_cast<LPARAM>(frame);
    auto brush =
        reinterpret_cast<HBRUSH>(SendMessageW(parent, WM_CTLCOLORSTATIC, dcParam, frameParam));
    if (!brush) {
        brush = reinterpret_cast<HBRUSH>(
            DefWindowProcW(parent, WM_CTLCOLORSTATIC, dcParam, frameParam));
    }
    return brush ? brush : GetSysColorBrush(COLOR_BTNFACE);
}

UINT CaptionFlags(HWND frame) {
    UINT flags = DT_SINGLELINE | DT_LEFT | DT_TOP | DT_NOCLIP;
    if (SendMessageW(frame, WM_QUERYUISTATE, 0, 0) & UISF_HIDEACCEL) {
        flags |= DT_HIDEPREFIX;
    }
    return flags;
}

// With visual styles: the theme's frame around the caption's gap, the gap
// filled with the parent's brush, then the caption in the theme's colour.
void DrawThemedFrame(HWND frame, HDC dc, const FrameLook& look, const RECT& frameRect,
                     const RECT& text, const RECT& gap) {
    const ThemeFunctions& theme = *look.theme;
    const HBRUSH brush = ParentBrush(frame, dc);
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, gap.left, gap.top, gap.right, gap.bottom);
    RECT inside = {};
    if (SUCCEEDED(
            theme.contentRect(look.handle, dc, BP_GROUPBOX, look.state, &frameRect, &inside))) {
        ExcludeClipRect(dc, inside.left, inside.top, inside.right, inside.bottom);
    }
    if (theme.partlyTransparent(look.handle, BP_GROUPBOX, look.state)) {
        theme.parentBackground(frame, dc, nullptr);
    }
    theme.background(look.handle, dc, BP_GROUPBOX, look.state, &frameRect, nullptr);
    RestoreDC(dc, saved);
    FillRect(dc, &gap, brush);
    theme.text(look.handle, dc, BP_GROUPBOX, look.state, look.caption.c_str(),
               static_cast<int>(look.caption.size()), CaptionFlags(frame), 0, &text);
}

// Without visual styles: the etched line, the gap filled with the parent's
// brush, and the caption in the parent's colour, embossed when disabled.
void DrawClassicFrame(HWND frame, HDC dc, const FrameLook& look, const RECT& frameRect,
                      const RECT& text, RECT gap) {
    const HBRUSH brush = ParentBrush(frame, dc);
    RECT edge = frameRect;
    const bool flat = (GetWindowLongW(frame, GWL_STYLE) & BS_FLAT) != 0;
    DrawEdge(dc, &edge, EDGE_ETCHED, BF_RECT | (flat ? BF_FLAT : 0));
    InflateRect(&gap, ClassicGapMargin, 0);
    gap.bottom += ClassicGapMargin;
    FillRect(dc, &gap, brush);
    SetBkMode(dc, TRANSPARENT);
    const UINT flags = CaptionFlags(frame);
    RECT at = text;
    if (look.state == GBS_DISABLED) {
        RECT raised = text;
        OffsetRect(&raised, 1, 1);
        SetTextColor(dc, GetSysColor(COLOR_3DHILIGHT));
        DrawTextW(dc, look.caption.c_str(), -1, &raised, flags);
        SetTextColor(dc, GetSysColor(COLOR_3DSHADOW));
    }
    DrawTextW(dc, look.caption.c_str(), -1, &at, flags);
}

// The frame's line from half the caption's height down, and the caption in
// its gap, as wide as its ink reaches.
void DrawFrame(HWND frame, HDC dc, const FrameLook& look, const Overhang& ink) {
    const int saved = SaveDC(dc);
    if (!saved) {
        return;
    }
    RECT client = {};
    GetClientRect(frame, &client);
    // A button draws on its parent's DC: kept to its own rectangle.
    IntersectClipRect(dc, client.left, client.top, client.right, client.bottom);
    if (look.font) {
        SelectObject(dc, look.font);
    }
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc, &metrics);
    RECT frameRect = client;
    frameRect.top += metrics.tmHeight / 2 - 1;
    RECT text = {};
    DrawTextW(dc, look.caption.c_str(), -1, &text, CaptionFlags(frame) | DT_CALCRECT);
    OffsetRect(&text, client.left + FrameTextLeft, client.top);
    const RECT gap = {text.left - ink.left, text.top, text.right + ink.right, text.bottom};
    if (look.handle) {
        DrawThemedFrame(frame, dc, look, frameRect, text, gap);
    } else {
        DrawClassicFrame(frame, dc, look, frameRect, text, gap);
    }
    RestoreDC(dc, saved);
}

} // namespace

// The system draws a frame's caption into a box exactly as wide as the
// text's advance, which cuts the ink of a letter reaching past it: Wine's
// Tahoma, for one, smooths a letter a column beyond its box ("Связь" at 96
// DPI, "Направление" at 120). Such a frame is drawn here instead, the way
// and in the place the system draws it, but uncut; any other is left to the
// system, pixel for pixel.
bool PaintFrame(HWND frame, HDC given) {
    FrameLook look = ReadLook(frame);
    MemoryDc probe;
    if (look.caption.empty() || !probe.Get()) {
        return false;
    }
    const GdiObject themeFont(ThemeFont(look, probe.Get()));
    if (themeFont.Get()) {
        look.font = static_cast<HFONT>(themeFont.Get());
    }
    const HGDIOBJ old = look.font ? SelectObject(probe.Get(), look.font) : nullptr;
    const Overhang ink = InkOverhang(probe.Get(), look.caption);
    if (old) {
        SelectObject(probe.Get(), old);
    }
    if (ink.left == 0 && ink.right == 0) {
        return false;
    }
    if (given) {
        DrawFrame(frame, given, look, ink);
        return true;
    }
    PAINTSTRUCT paint = {};
    HDC dc = BeginPaint(frame, &paint);
    if (!dc) {
        // Nothing to paint on: no WM_PAINT again and again for it.
        ValidateRect(frame, nullptr);
        return true;
    }
    DrawFrame(frame, dc, look, ink);
    EndPaint(frame, &paint);
    return true;
}

} // namespace toolkit
