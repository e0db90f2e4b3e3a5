// A small window program for testing the UI driver itself: a few controls
// whose notifications, accelerator commands and close requests it writes into
// a status line, which the driver's tests read back. Its own GUI thread only.
// Usage: uidriver_standin.exe [title [exit code]]
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

enum : int {
    IdPress = 101,
    IdError = 102,
    IdOptionA = 103,
    IdOptionB = 104,
    IdList = 105,
    IdStatus = 106,
    CmdNext = 201,
    CmdPrevious = 202,
};

HWND gStatus = nullptr; // the status line the tests read
int gExitCode = 0;      // what the process ends with after a confirmed close

void Note(const wchar_t* what) {
    wchar_t text[1024] = {};
    GetWindowTextW(gStatus, text, 1000);
    std::wstring line = text;
    line += what;
    line += L";";
    SetWindowTextW(gStatus, line.c_str());
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w,
           int h, int id) {
    HWND hwnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    if (hwnd) {
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                     TRUE);
    }
    return hwnd;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        Child(hwnd, L"Button", L"Press", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 10, 10, 60, 20,
              IdPress);
        Child(hwnd, L"Button", L"Error", WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON, 80, 10, 60, 20,
              IdError);
        Child(hwnd, L"Button", L"A", WS_TABSTOP | WS_GROUP | BS_AUTORADIOBUTTON, 10, 40, 40, 20,
              IdOptionA);
        Child(hwnd, L"Button", L"B", WS_TABSTOP | BS_AUTORADIOBUTTON, 60, 40, 40, 20, IdOptionB);
        HWND list =
            Child(hwnd, L"ComboBox", L"", WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST,
                  110, 40, 50, 200, IdList);
        for (const wchar_t* item : {L"x", L"y", L"z"}) {
            SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        }
        SendMessageW(list, CB_SETCURSEL, 0, 0);
        gStatus = Child(hwnd, L"Static", L"", WS_GROUP, 10, 70, 220, 20, IdStatus);
        return 0;
    }
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (lParam == 0) {
            Note(id == CmdNext ? L"next" : id == CmdPrevious ? L"prev" : L"command");
            return 0;
        }
        if (id == IdList && code == CBN_SELCHANGE) {
            wchar_t line[32];
            swprintf(
                line, 32, L"sel:%d",
                static_cast<int>(SendMessageW(reinterpret_cast<HWND>(lParam), CB_GETCURSEL, 0, 0)));
            Note(line);
        } else if (code == BN_CLICKED && id == IdPress) {
            Note(L"press");
            MessageBoxW(hwnd, L"Pressed\nonce", L"Stand-in", MB_OK | MB_ICONINFORMATION);
        } else if (code == BN_CLICKED && id == IdError) {
            Note(L"error");
            MessageBoxW(hwnd, L"Something failed", L"Stand-in", MB_OK | MB_ICONERROR);
        } else if (code == BN_CLICKED && id == IdOptionB) {
            Note(L"b");
            EnableWindow(GetDlgItem(hwnd, IdList), TRUE);
        } else if (code == BN_CLICKED && id == IdOptionA) {
            Note(L"a");
            EnableWindow(GetDlgItem(hwnd, IdList), FALSE);
        }
        return 0;
    }
    case WM_SYSKEYDOWN:
    case WM_KEYDOWN: {
        // Which keys arrive, and whether as system keys (with Alt down).
        wchar_t line[32];
        swprintf(line, 32, L"%ls:%x", message == WM_SYSKEYDOWN ? L"syskey" : L"key",
                 static_cast<unsigned>(wParam));
        Note(line);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    case WM_CLOSE: {
        Note(L"close");
        const int answer = MessageBoxW(hwnd, L"Quit?", L"Stand-in", MB_YESNO | MB_ICONEXCLAMATION);
        wchar_t line[32];
        swprintf(line, 32, L"answer:%d", answer);
        Note(line);
        if (answer == IDYES) {
            DestroyWindow(hwnd);
        }
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(gExitCode);
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const wchar_t* title = argc > 1 ? argv[1] : L"uidriver stand-in";
    gExitCode = argc > 2 ? _wtoi(argv[2]) : 0;

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"UidriverStandIn";
    if (!RegisterClassW(&windowClass)) {
        return 2;
    }
    const DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT rect = {0, 0, 240, 100};
    AdjustWindowRectEx(&rect, style, FALSE, 0);
    HWND window =
        CreateWindowExW(0, L"UidriverStandIn", title, style, 100, 100, rect.right - rect.left,
                        rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (!window) {
        return 3;
    }
    ShowWindow(window, SW_SHOWNORMAL);

    ACCEL keys[] = {{FVIRTKEY | FNOINVERT, VK_TAB, CmdNext},
                    {FVIRTKEY | FNOINVERT | FSHIFT, VK_TAB, CmdPrevious}};
    HACCEL accelerators = CreateAcceleratorTableW(keys, 2);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (accelerators && TranslateAcceleratorW(window, accelerators, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (accelerators) {
        DestroyAcceleratorTable(accelerators);
    }
    LocalFree(argv);
    return static_cast<int>(message.wParam);
}
