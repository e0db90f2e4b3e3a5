// The screen's pixels and the ink of a text in them.
#include "pixels.h"

#include <algorithm>

namespace uidriver {

namespace {

// Each channel of an ink pixel is below this: the faint edge of a smoothed
// letter does not count.
constexpr uint32_t InkLevel = 80;

} // namespace

std::vector<uint32_t> DrawnPixels(int width, int height, const std::function<bool(HDC)>& draw) {
    std::vector<uint32_t> pixels;
    if (width <= 0 || height <= 0) {
        return pixels;
    }
    HDC memory = CreateCompatibleDC(nullptr);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap =
        memory ? CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        if (draw(memory)) {
            GdiFlush();
            const auto* data = static_cast<const uint32_t*>(bits);
            pixels.assign(data, data + static_cast<size_t>(width) * static_cast<size_t>(height));
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    if (memory) {
        DeleteDC(memory);
    }
    for (auto& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

std::vector<uint32_t> CaptureScreen(const RECT& rect) {
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    if (!screen) {
        return {};
    }
    auto pixels = DrawnPixels(width, height, [&](HDC memory) {
        return BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY) != 0;
    });
    ReleaseDC(nullptr, screen);
    return pixels;
}

int InkColumns(const std::vector<uint32_t>& pixels, int width) {
    int first = -1;
    int last = -1;
    for (size_t i = 0; width > 0 && i < pixels.size(); ++i) {
        const uint32_t p = pixels[i];
        if (((p >> 16) & 0xFF) < InkLevel && ((p >> 8) & 0xFF) < InkLevel &&
            (p & 0xFF) < InkLevel) {
            const int x = static_cast<int>(i % static_cast<size_t>(width));
            first = first < 0 ? x : std::min(first, x);
            last = std::max(last, x);
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

int TextInk(HFONT font, const std::wstring& text, int* lineHeight) {
    LOGFONTW logFont = {};
    if (!font || GetObjectW(font, sizeof(logFont), &logFont) != sizeof(logFont)) {
        return -1;
    }
    HFONT copy = CreateFontIndirectW(&logFont);
    if (!copy) {
        return -1;
    }
    constexpr int width = 600, height = 100;
    const auto pixels = DrawnPixels(width, height, [&](HDC memory) {
        HGDIOBJ old = SelectObject(memory, copy);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, GetSysColorBrush(COLOR_BTNFACE));
        SetTextColor(memory, GetSysColor(COLOR_WINDOWTEXT));
        SetBkMode(memory, TRANSPARENT);
        RECT at = {50, 10, width, height};
        DrawTextW(memory, text.c_str(), -1, &at, DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
        TEXTMETRICW metrics = {};
        GetTextMetricsW(memory, &metrics);
        *lineHeight = metrics.tmHeight;
        SelectObject(memory, old);
        return true;
    });
    DeleteObject(copy);
    return pixels.empty() ? -1 : InkColumns(pixels, width);
}

int InkOnScreen(const RECT& band, int expected) {
    int seen = 0;
    for (int attempt = 0; attempt < 20 && seen != expected; ++attempt) {
        if (attempt) {
            Sleep(50);
        }
        seen = InkColumns(CaptureScreen(band), band.right - band.left);
    }
    return seen;
}

} // namespace uidriver
