// How far each frame caption's ink reaches in the system's own group box,
// in a frame as wide as the configurator's at this DPI and in one 60 px
// wider, against the ink of the same text drawn unclipped. Where both frames
// show the same ink and it is less than the whole, the group box cuts its
// caption itself, whatever the layout gives it. Prints one line per caption.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>

namespace {

struct Ink {
    int left = -1, right = -1; // columns, -1 for none
    int Width() const { return left < 0 ? 0 : right - left + 1; }
};

// The dark columns of `rect` in `dc`: the caption's strokes.
Ink DarkColumns(HDC dc, const RECT& rect) {
    Ink ink;
    for (int x = rect.left; x < rect.right; ++x) {
        for (int y = rect.top; y < rect.bottom; ++y) {
            const COLORREF c = GetPixel(dc, x, y);
            if (c != CLR_INVALID && GetRValue(c) < 80 && GetGValue(c) < 80 && GetBValue(c) < 80) {
                if (ink.left < 0) {
                    ink.left = x;
                }
                ink.right = x;
                break;
            }
        }
    }
    return ink;
}

// The text drawn with nothing to cut it, in a memory bitmap.
Ink WholeInk(HDC like, HFONT font, const wchar_t* text, int height) {
    Ink ink;
    HDC mem = CreateCompatibleDC(like);
    HBITMAP bitmap = CreateCompatibleBitmap(like, 400, height);
    if (mem && bitmap) {
        HGDIOBJ oldBitmap = SelectObject(mem, bitmap);
        HGDIOBJ oldFont = SelectObject(mem, font);
        RECT all = {0, 0, 400, height};
        FillRect(mem, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        SetBkMode(mem, TRANSPARENT);
        RECT at = {20, 0, 400, height};
        DrawTextW(mem, text, -1, &at, DT_SINGLELINE | DT_NOCLIP);
        ink = DarkColumns(mem, all);
        SelectObject(mem, oldFont);
        SelectObject(mem, oldBitmap);
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    if (mem) {
        DeleteDC(mem);
    }
    return ink;
}

// UTF-8 for the report, whatever the console's code page.
const char* Utf8(const wchar_t* text) {
    static char bytes[256];
    if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), nullptr, nullptr)) {
        bytes[0] = 0;
    }
    return bytes;
}

} // namespace

int wmain() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    wc.lpszClassName = L"CaptionInk";
    if (!RegisterClassW(&wc)) {
        return 1;
    }
    HWND window = CreateWindowW(wc.lpszClassName, L"Caption ink", WS_POPUP | WS_VISIBLE, 0, 0, 900,
                                400, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 1;
    }
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    // The configurator's frames: caption and width at 96 DPI.
    const struct {
        const wchar_t* caption;
        int width;
    } frames[] = {{L"Режим", 100}, {L"Направление", 90}, {L"Связь", 87}};
    HWND boxes[3][2] = {};
    const int rowHeight = MulDiv(40, dpi, 96);
    for (int i = 0; i < 3; ++i) {
        for (int wide = 0; wide < 2; ++wide) {
            const int width = MulDiv(frames[i].width, dpi, 96) + 60 * wide;
            boxes[i][wide] = CreateWindowW(
                L"Button", frames[i].caption, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 10 + 400 * wide,
                10 + i * rowHeight, width, rowHeight - 5, window, nullptr, instance, nullptr);
            SendMessageW(boxes[i][wide], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
        }
    }
    UpdateWindow(window);
    for (int round = 0; round < 25; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
    HDC dc = GetDC(window);
    if (!dc) {
        return 1;
    }
    TEXTMETRICW metrics = {};
    HGDIOBJ old = SelectObject(dc, font);
    GetTextMetricsW(dc, &metrics);
    for (int i = 0; i < 3; ++i) {
        SIZE advance = {};
        GetTextExtentPoint32W(dc, frames[i].caption, lstrlenW(frames[i].caption), &advance);
        Ink seen[2];
        int widths[2] = {};
        for (int wide = 0; wide < 2; ++wide) {
            RECT rect = {};
            GetWindowRect(boxes[i][wide], &rect);
            MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
            widths[wide] = rect.right - rect.left;
            // Only the caption's band, above the frame's inner area.
            rect.bottom = rect.top + metrics.tmHeight;
            seen[wide] = DarkColumns(dc, rect);
        }
        const Ink whole = WholeInk(dc, font, frames[i].caption, metrics.tmHeight + 4);
        const bool cutByTheBox =
            seen[0].Width() == seen[1].Width() && seen[0].Width() < whole.Width();
        printf("%d DPI  %s: advance %ld px; ink whole %d, in its frame (%d px) %d, "
               "in one 60 px wider %d%s\n",
               dpi, Utf8(frames[i].caption), advance.cx, whole.Width(), widths[0], seen[0].Width(),
               seen[1].Width(), cutByTheBox ? "  (cut by the group box itself)" : "");
    }
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    return 0;
}
