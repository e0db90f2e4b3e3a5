// Whether each caption fits its control in the control's font, and the
// growth that follows where one does not: the control grows, its frame grows
// with it, and what lies to the right moves over. GUI thread only.
#include "app/toolkit/registry.h"

#include <algorithm>

#include "common/system_library.h"

namespace toolkit {

namespace {

// What each kind draws beside its caption, at 96 DPI. A frame's caption
// starts this far in from its left edge and must end as far from its right
// one, where the frame's line comes down.
constexpr int FrameCaptionInset = 7;
// A push button's caption keeps clear of the button's raised edge.
constexpr int ButtonCaptionInset = 3;

// SM_CXMENUCHECK at `dpi`: the width of an option's mark. Before Windows 10
// 1607 there is no per-DPI answer, and a window is only ever at the system
// DPI there, where the plain answer is the one.
int MarkWidth(int dpi) {
    using ForDpi = int(WINAPI*)(int, UINT);
    static const auto forDpi =
        ModuleFunction<ForDpi>(GetModuleHandleW(L"user32.dll"), "GetSystemMetricsForDpi");
    if (forDpi && dpi != gDpi) {
        return forDpi(SM_CXMENUCHECK, static_cast<UINT>(dpi));
    }
    return MulDiv(GetSystemMetrics(SM_CXMENUCHECK), dpi, gDpi);
}

} // namespace

int CaptionNeed(HDC dc, Kind kind, const std::wstring& caption, int dpi) {
    if (caption.empty() || kind == Kind::List) {
        return 0;
    }
    SIZE size = {};
    TEXTMETRICW metrics = {};
    if (!GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &size) ||
        !GetTextMetricsW(dc, &metrics)) {
        return 0;
    }
    switch (kind) {
    case Kind::Frame:
        return size.cx + 2 * Scaled(FrameCaptionInset, dpi);
    case Kind::Option:
        // The mark, then half a character's gap before the caption.
        return MarkWidth(dpi) + metrics.tmAveCharWidth / 2 + size.cx;
    case Kind::Button:
        return size.cx + 2 * Scaled(ButtonCaptionInset, dpi);
    case Kind::List:
        break;
    }
    return 0;
}

// A frame holds the controls made after it up to the next frame; a control
// made before any frame stands alone. Each such column grows by the most
// that one of its captions lacks: a control by what it lacks itself, its
// frame by the column's most, so that a grown control keeps the margin it
// had to the frame's right edge. Later columns move right by what the
// earlier ones grew; nothing moves left, up or down.
int FitCaptions(std::vector<Fitting>& controls) {
    int shift = 0;
    size_t start = 0;
    while (start < controls.size()) {
        size_t end = start + 1;
        if (controls[start].kind == Kind::Frame) {
            while (end < controls.size() && controls[end].kind != Kind::Frame) {
                ++end;
            }
        }
        int grow = 0;
        for (size_t i = start; i < end; ++i) {
            grow = std::max(grow, controls[i].need - controls[i].place.width);
        }
        for (size_t i = start; i < end; ++i) {
            Fitting& c = controls[i];
            c.place.x += shift;
            if (c.kind == Kind::Frame) {
                c.place.width += grow;
            } else {
                c.place.width = std::max(c.place.width, c.need);
            }
        }
        shift += grow;
        start = end;
    }
    return shift;
}

} // namespace toolkit
