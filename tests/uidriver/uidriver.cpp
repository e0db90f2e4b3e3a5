// The UI driver: launching a program, reading its windows, controls and
// message boxes from outside, and working them with posted messages and real
// input. Called from one thread of the test program or uidriver.exe.
#include "uidriver.h"

#include <psapi.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace uidriver {

namespace {

constexpr UINT kSendTimeoutMs = 3000;

double Milliseconds(const LARGE_INTEGER& from) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - from.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

// A text read through WM_GETTEXT, which also works for a combo box (its
// selected item) and across processes; bounded so a hung program cannot hang us.
std::wstring SentText(HWND hwnd) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &length)) {
        return WindowText(hwnd);
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_NORMAL, kSendTimeoutMs, &got)) {
        return WindowText(hwnd);
    }
    text.resize(std::min<size_t>(got, length));
    return text;
}

LRESULT Send(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_NORMAL, kSendTimeoutMs, &result)) {
        return -1;
    }
    return static_cast<LRESULT>(result);
}

std::vector<std::wstring> ComboItems(HWND combo) {
    std::vector<std::wstring> items;
    const LRESULT count = Send(combo, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = Send(combo, CB_GETLBTEXTLEN, i);
        if (length < 0) {
            break;
        }
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        const LRESULT got = Send(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        text.resize(got < 0 ? 0 : static_cast<size_t>(got));
        items.push_back(text);
    }
    return items;
}

bool SendKeys(const std::vector<INPUT>& inputs) {
    std::vector<INPUT> copy = inputs;
    return SendInput(static_cast<UINT>(copy.size()), copy.data(), sizeof(INPUT)) == copy.size();
}

INPUT KeyInput(WORD vk, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

INPUT MouseInput(DWORD flags, int x, int y) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    input.mi.dx = static_cast<LONG>((x * 65536LL + width / 2) / width);
    input.mi.dy = static_cast<LONG>((y * 65536LL + height / 2) / height);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE;
    return input;
}

// Makes the top-level window of target the foreground window, as a user's
// click on it would, and checks that it took.
bool BringForward(HWND target) {
    HWND top = GetAncestor(target, GA_ROOT);
    if (!top) {
        return false;
    }
    if (GetForegroundWindow() == top) {
        return true;
    }
    for (int attempt = 0; attempt < 20 && GetForegroundWindow() != top; ++attempt) {
        SetForegroundWindow(top);
        Sleep(25);
    }
    // Let the activation settle before keys follow (see AnswerBox).
    Sleep(150);
    return GetForegroundWindow() == top;
}

// An icon drawn at width x height over a solid background colour.
std::vector<uint32_t> RenderIcon(HICON icon, int width, int height, COLORREF background) {
    return DrawnPixels(width, height, [&](HDC memory) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, width, height};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        return DrawIconEx(memory, 0, 0, icon, width, height, 0, nullptr, DI_NORMAL) != 0;
    });
}

bool Near(uint32_t a, uint32_t b) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int x = static_cast<int>((a >> shift) & 0xFF);
        const int y = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(x - y) > 40) {
            return false;
        }
    }
    return true;
}

struct IconCandidate {
    const wchar_t* name;
    LPCWSTR resource;
};

// How long an unpainted icon is waited for: 30 x 100 ms.
constexpr int kIconTries = 30;
constexpr DWORD kIconPauseMs = 100;

const IconCandidate kIcons[] = {
    {L"error", IDI_HAND},
    {L"question", IDI_QUESTION},
    {L"exclamation", IDI_EXCLAMATION},
    {L"information", IDI_ASTERISK},
};

// Which standard icon the box's icon control shows. Icon handles are the same
// for every process on Windows, so the handle usually answers; under Wine they
// are private to each process, so the control's pixels on the screen are
// compared with each standard icon drawn here (its opaque pixels only).
std::wstring BoxIcon(HWND box) {
    HWND control = GetDlgItem(box, 0x440);
    if (!control || !IsWindowVisible(control)) {
        return L"none";
    }
    const auto shown = reinterpret_cast<HICON>(Send(control, STM_GETICON));
    for (const auto& candidate : kIcons) {
        if (shown && shown == LoadIconW(nullptr, candidate.resource)) {
            return candidate.name;
        }
    }
    RECT rect;
    if (!GetWindowRect(control, &rect)) {
        return L"unknown";
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    // The system draws the box's icon at the system icon size, from the
    // control's top left corner.
    const int size = std::min({width, height, GetSystemMetrics(SM_CXICON)});
    if (size <= 0) {
        return L"unknown";
    }
    RECT area = {rect.left, rect.top, rect.left + size, rect.top + size};
    const std::vector<uint32_t> screen = CaptureScreen(area);
    if (screen.empty()) {
        return L"unknown";
    }
    std::wstring best = L"unknown";
    double bestScore = 0;
    for (const auto& candidate : kIcons) {
        HICON icon = LoadIconW(nullptr, candidate.resource);
        if (!icon) {
            continue;
        }
        const auto onBlack = RenderIcon(icon, size, size, RGB(0, 0, 0));
        const auto onWhite = RenderIcon(icon, size, size, RGB(255, 255, 255));
        if (onBlack.size() != screen.size() || onWhite.size() != screen.size()) {
            continue;
        }
        int opaque = 0;
        int same = 0;
        for (size_t i = 0; i < screen.size(); ++i) {
            if (onBlack[i] != onWhite[i]) {
                continue;
            }
            ++opaque;
            if (Near(onBlack[i], screen[i])) {
                ++same;
            }
        }
        const double score = opaque > 0 ? static_cast<double>(same) / opaque : 0;
        if (score > bestScore) {
            bestScore = score;
            best = candidate.name;
        }
    }
    return bestScore >= 0.8 ? best : L"unknown";
}

} // namespace

// ---------------------------------------------------------------- Program

bool RunningOnWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

Program::~Program() {
    Release();
}

void Program::Release() {
    if (Running()) {
        Kill();
    }
    if (thread_) {
        CloseHandle(thread_);
    }
    if (process_) {
        CloseHandle(process_);
    }
    process_ = nullptr;
    thread_ = nullptr;
    pid_ = 0;
    window_ = nullptr;
    windowSeenMs_ = 0;
}

bool Program::Launch(const std::wstring& exe, const std::wstring& cwd,
                     const std::wstring& arguments) {
    Release();
    std::wstring folder = cwd;
    if (folder.empty()) {
        const size_t slash = exe.find_last_of(L"\\/");
        if (slash != std::wstring::npos) {
            folder = exe.substr(0, slash);
        }
    }
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    QueryPerformanceCounter(&started_);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        return false;
    }
    process_ = info.hProcess;
    thread_ = info.hThread;
    pid_ = info.dwProcessId;
    window_ = nullptr;
    windowSeenMs_ = 0;
    return true;
}

HWND Program::WaitWindow(const std::wstring& title, DWORD timeoutMs) {
    if (!process_) {
        return nullptr;
    }
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const auto found = FindTopWindows(pid_, nullptr, title.c_str());
        if (!found.empty()) {
            windowSeenMs_ = Milliseconds(started_);
            window_ = found.front();
            return window_;
        }
        if (!Running() || GetTickCount64() >= deadline) {
            return nullptr;
        }
        Sleep(2);
    }
}

double Program::WaitIdleMs(DWORD timeoutMs) {
    if (!process_ || WaitForInputIdle(process_, timeoutMs) != 0) {
        return -1;
    }
    return Milliseconds(started_);
}

DWORD Program::guiThread() const {
    return window_ ? GetWindowThreadProcessId(window_, nullptr) : 0;
}

bool Program::Running() const {
    return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool Program::WaitExit(DWORD timeoutMs, DWORD* exitCode) {
    if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process_, &code)) {
        return false;
    }
    if (exitCode) {
        *exitCode = code;
    }
    return true;
}

void Program::Kill() {
    if (process_) {
        TerminateProcess(process_, 255);
        WaitForSingleObject(process_, 5000);
    }
}

// ---------------------------------------------------------------- Reading

std::wstring WindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(hwnd);
    if (length <= 0) {
        return L"";
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(hwnd, text.data(), length + 1);
    text.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256] = {};
    const int got = GetClassNameW(hwnd, name, 256);
    return std::wstring(name, got > 0 ? got : 0);
}

DWORD WindowProcess(HWND hwnd) {
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

std::vector<HWND> FindTopWindows(DWORD pid, const wchar_t* className, const wchar_t* title) {
    struct Query {
        DWORD pid;
        const wchar_t* className;
        const wchar_t* title;
        std::vector<HWND> found;
    } query{pid, className, title, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM data) WINAPI -> BOOL {
            auto* q = reinterpret_cast<Query*>(data);
            if (WindowProcess(hwnd) != q->pid || !IsWindowVisible(hwnd)) {
                return TRUE;
            }
            if (q->className && ClassName(hwnd) != q->className) {
                return TRUE;
            }
            if (q->title && WindowText(hwnd) != q->title) {
                return TRUE;
            }
            q->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&query));
    return query.found;
}

HWND FocusedWindow(HWND anyWindowOfThread) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(anyWindowOfThread, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

WindowState ReadWindow(HWND top) {
    WindowState state;
    if (!IsWindow(top)) {
        return state;
    }
    state.hwnd = top;
    state.title = WindowText(top);
    GetWindowRect(top, &state.outer);
    RECT client = {};
    GetClientRect(top, &client);
    state.clientWidth = client.right;
    state.clientHeight = client.bottom;
    ClientToScreen(top, &state.clientOrigin);
    state.style = GetWindowLongW(top, GWL_STYLE);
    state.exStyle = GetWindowLongW(top, GWL_EXSTYLE);
    state.enabled = IsWindowEnabled(top);
    state.visible = IsWindowVisible(top);
    state.iconic = IsIconic(top);
    state.zoomed = IsZoomed(top);
    state.foreground = GetForegroundWindow() == top;
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(GetWindowThreadProcessId(top, nullptr), &info)) {
        state.focus = info.hwndFocus;
        state.active = info.hwndActive;
    }
    for (HWND child = GetWindow(top, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        Control control;
        control.hwnd = child;
        control.id = static_cast<int>(GetWindowLongW(child, GWL_ID));
        control.className = ClassName(child);
        control.text = SentText(child);
        RECT rect = {};
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&rect), 2);
        control.rect = rect;
        control.style = GetWindowLongW(child, GWL_STYLE);
        control.exStyle = GetWindowLongW(child, GWL_EXSTYLE);
        control.enabled = IsWindowEnabled(child);
        control.visible = IsWindowVisible(child);
        control.focused = state.focus == child || (state.focus && IsChild(child, state.focus));
        if (_wcsicmp(control.className.c_str(), L"Button") == 0) {
            const LRESULT check = Send(child, BM_GETCHECK);
            control.check = check < 0 ? 0 : static_cast<int>(check);
        } else if (_wcsicmp(control.className.c_str(), L"ComboBox") == 0) {
            control.items = ComboItems(child);
            control.selection = static_cast<int>(Send(child, CB_GETCURSEL));
            control.dropped = Send(child, CB_GETDROPPEDSTATE) > 0;
        }
        state.controls.push_back(control);
    }
    return state;
}

const Control* FindControl(const WindowState& state, const std::wstring& text,
                           const std::wstring& className) {
    for (const auto& control : state.controls) {
        if (control.text == text &&
            (className.empty() || _wcsicmp(control.className.c_str(), className.c_str()) == 0)) {
            return &control;
        }
    }
    return nullptr;
}

const Control* FindControlByClass(const WindowState& state, const std::wstring& className) {
    for (const auto& control : state.controls) {
        if (_wcsicmp(control.className.c_str(), className.c_str()) == 0) {
            return &control;
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------- Boxes

std::vector<HWND> FindBoxes(DWORD pid) {
    return FindTopWindows(pid, L"#32770", nullptr);
}

HWND WaitBox(DWORD pid, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const auto boxes = FindBoxes(pid);
        if (!boxes.empty()) {
            return boxes.front();
        }
        if (GetTickCount64() >= deadline) {
            return nullptr;
        }
        Sleep(10);
    }
}

Box ReadBox(HWND box) {
    Box result;
    if (!IsWindow(box)) {
        return result;
    }
    result.hwnd = box;
    result.owner = GetWindow(box, GW_OWNER);
    result.caption = WindowText(box);
    HWND text = GetDlgItem(box, 0xFFFF);
    if (text) {
        result.text = SentText(text);
    }
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (_wcsicmp(ClassName(child).c_str(), L"Button") != 0 || !IsWindowVisible(child)) {
            continue;
        }
        result.buttons.push_back(GetDlgCtrlID(child));
        result.buttonTexts.push_back(SentText(child));
    }
    // The box paints its icon a moment after it shows: on a slow machine
    // (full-system emulation) later than a caller's pause.
    result.icon = BoxIcon(box);
    for (int tries = 0; result.icon == L"unknown" && tries < kIconTries; ++tries) {
        Sleep(kIconPauseMs);
        result.icon = BoxIcon(box);
    }
    return result;
}

bool AnswerBox(HWND box, int button) {
    HWND control = GetDlgItem(box, button);
    if (!control || !IsWindowVisible(control)) {
        return false;
    }
    HWND owner = GetWindow(box, GW_OWNER);
    if (!Click(control)) {
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + 3000;
    while (IsWindow(box) && IsWindowVisible(box) && GetTickCount64() < deadline) {
        Sleep(10);
    }
    // The owner is activated again as the box goes; under Wine the keyboard
    // state is taken from the X server at that moment, which would undo the
    // modifier of a key pressed too soon after.
    if (owner) {
        Settle(owner);
    }
    Sleep(150);
    return !IsWindow(box) || !IsWindowVisible(box);
}

// ---------------------------------------------------------------- Acting

bool Click(HWND control) {
    if (!IsWindow(control)) {
        return false;
    }
    return PostMessageW(control, BM_CLICK, 0, 0) != 0;
}

bool SelectItem(HWND combo, const std::wstring& itemText) {
    // A user can choose only in a list that is visible and enabled.
    if (!IsWindow(combo) || !IsWindowVisible(combo) || !IsWindowEnabled(combo)) {
        return false;
    }
    const auto items = ComboItems(combo);
    const auto found = std::find(items.begin(), items.end(), itemText);
    if (found == items.end()) {
        return false;
    }
    const auto index = static_cast<WPARAM>(found - items.begin());
    if (Send(combo, CB_SETCURSEL, index) != static_cast<LRESULT>(index)) {
        return false;
    }
    // CB_SETCURSEL notifies nobody; the list tells its parent of a user's
    // choice with CBN_SELCHANGE, so send what it would.
    HWND parent = GetParent(combo);
    const int id = GetDlgCtrlID(combo);
    return parent && PostMessageW(parent, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
                                  reinterpret_cast<LPARAM>(combo)) != 0;
}

bool ChooseItemByMouse(HWND combo, const std::wstring& itemText) {
    if (!IsWindow(combo) || !IsWindowVisible(combo) || !IsWindowEnabled(combo)) {
        return false;
    }
    const auto items = ComboItems(combo);
    const auto found = std::find(items.begin(), items.end(), itemText);
    if (found == items.end()) {
        return false;
    }
    const int index = static_cast<int>(found - items.begin());
    if (Send(combo, CB_GETDROPPEDSTATE) <= 0 && !ClickControl(combo)) {
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + 3000;
    while (Send(combo, CB_GETDROPPEDSTATE) <= 0) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(10);
    }
    // The open list part is a ComboLBox top-level window of the program.
    const auto lists = FindTopWindows(WindowProcess(combo), L"ComboLBox", nullptr);
    if (lists.empty()) {
        return false;
    }
    HWND list = lists.front();
    RECT client;
    GetClientRect(list, &client);
    const LRESULT itemHeight = Send(list, LB_GETITEMHEIGHT, 0);
    if (itemHeight <= 0) {
        return false;
    }
    const int visible = static_cast<int>(client.bottom / itemHeight);
    // Bring the item into view with the keyboard's help-free way: the wheel.
    for (int round = 0; round < 40; ++round) {
        const int top = static_cast<int>(Send(list, LB_GETTOPINDEX));
        if (index >= top && index < top + visible) {
            break;
        }
        RECT rect;
        GetWindowRect(list, &rect);
        INPUT wheel = MouseInput(MOUSEEVENTF_MOVE, (rect.left + rect.right) / 2,
                                 (rect.top + rect.bottom) / 2);
        SendKeys({wheel});
        wheel.mi.dwFlags = MOUSEEVENTF_WHEEL;
        wheel.mi.mouseData = static_cast<DWORD>(index < top ? WHEEL_DELTA : -WHEEL_DELTA);
        wheel.mi.dx = wheel.mi.dy = 0;
        SendKeys({wheel});
        Settle(list);
    }
    const int top = static_cast<int>(Send(list, LB_GETTOPINDEX));
    if (index < top || index >= top + visible) {
        return false;
    }
    POINT point = {client.right / 2,
                   static_cast<LONG>((index - top) * itemHeight + itemHeight / 2)};
    ClientToScreen(list, &point);
    return MouseClick(point.x, point.y) && Settle(combo);
}

bool PressKey(HWND target, Key key) {
    if (!IsWindow(target) || !BringForward(target)) {
        return false;
    }
    // Each key as a modifier (0: none) held around one virtual key.
    struct Stroke {
        Key key;
        WORD modifier;
        WORD vk;
    };
    static constexpr Stroke kStrokes[] = {
        {Key::Tab, 0, VK_TAB},        {Key::ShiftTab, VK_SHIFT, VK_TAB},
        {Key::Enter, 0, VK_RETURN},   {Key::Esc, 0, VK_ESCAPE},
        {Key::AltF4, VK_MENU, VK_F4}, {Key::AltSpace, VK_MENU, VK_SPACE},
        {Key::Up, 0, VK_UP},          {Key::Down, 0, VK_DOWN},
        {Key::Left, 0, VK_LEFT},      {Key::Right, 0, VK_RIGHT},
        {Key::Space, 0, VK_SPACE},
    };
    const auto stroke = std::find_if(std::begin(kStrokes), std::end(kStrokes),
                                     [key](const Stroke& s) { return s.key == key; });
    if (stroke == std::end(kStrokes)) {
        return false;
    }
    std::vector<INPUT> inputs;
    if (stroke->modifier) {
        inputs.push_back(KeyInput(stroke->modifier, false));
    }
    inputs.push_back(KeyInput(stroke->vk, false));
    inputs.push_back(KeyInput(stroke->vk, true));
    if (stroke->modifier) {
        inputs.push_back(KeyInput(stroke->modifier, true));
    }
    // One key at a time, so that the program sees each in order.
    for (const auto& input : inputs) {
        if (!SendKeys({input})) {
            return false;
        }
        Sleep(5);
    }
    return Settle(target);
}

bool MouseClick(int screenX, int screenY, bool doubleClick) {
    std::vector<INPUT> inputs = {
        MouseInput(MOUSEEVENTF_MOVE, screenX, screenY),
        MouseInput(MOUSEEVENTF_LEFTDOWN, screenX, screenY),
        MouseInput(MOUSEEVENTF_LEFTUP, screenX, screenY),
    };
    if (doubleClick) {
        inputs.push_back(MouseInput(MOUSEEVENTF_LEFTDOWN, screenX, screenY));
        inputs.push_back(MouseInput(MOUSEEVENTF_LEFTUP, screenX, screenY));
    }
    for (const auto& input : inputs) {
        if (!SendKeys({input})) {
            return false;
        }
        Sleep(10);
    }
    return true;
}

bool MouseDrag(int fromX, int fromY, int toX, int toY) {
    std::vector<INPUT> inputs = {MouseInput(MOUSEEVENTF_MOVE, fromX, fromY),
                                 MouseInput(MOUSEEVENTF_LEFTDOWN, fromX, fromY)};
    for (int step = 1; step <= 8; ++step) {
        inputs.push_back(MouseInput(MOUSEEVENTF_MOVE, fromX + (toX - fromX) * step / 8,
                                    fromY + (toY - fromY) * step / 8));
    }
    inputs.push_back(MouseInput(MOUSEEVENTF_LEFTUP, toX, toY));
    for (const auto& input : inputs) {
        if (!SendKeys({input})) {
            return false;
        }
        Sleep(20);
    }
    return true;
}

bool ClickControl(HWND control) {
    RECT rect;
    if (!IsWindow(control) || !GetWindowRect(control, &rect) || !BringForward(control)) {
        return false;
    }
    const bool done = MouseClick((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return done && Settle(control);
}

bool Notify(HWND control, WORD code) {
    HWND parent = IsWindow(control) ? GetParent(control) : nullptr;
    return parent && PostMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), code),
                                  reinterpret_cast<LPARAM>(control)) != 0;
}

LRESULT HitTest(HWND top, int screenX, int screenY) {
    return Send(top, WM_NCHITTEST, 0, MAKELPARAM(screenX, screenY));
}

bool CloseBox(HWND top) {
    return IsWindow(top) && PostMessageW(top, WM_SYSCOMMAND, SC_CLOSE, 0) != 0;
}

bool SystemMenuClose(HWND top) {
    if (!PressKey(top, Key::AltSpace)) {
        return false;
    }
    // The system menu is a #32768 popup of the program. Up from a freshly
    // opened menu selects its last item: Close on Windows; Wine puts "About
    // Wine" after a separator below Close, so there it takes a second Up.
    const DWORD pid = WindowProcess(top);
    const ULONGLONG deadline = GetTickCount64() + 3000;
    while (FindTopWindows(pid, L"#32768", nullptr).empty()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(10);
    }
    const auto sendToMenu = [](WORD vk) {
        return SendKeys({KeyInput(vk, false)}) && (Sleep(5), SendKeys({KeyInput(vk, true)}));
    };
    for (int i = 0; i < (RunningOnWine() ? 2 : 1); ++i) {
        if (!sendToMenu(VK_UP)) {
            return false;
        }
        Sleep(30);
    }
    return sendToMenu(VK_RETURN);
}

bool TryMaximize(HWND top) {
    RECT rect;
    if (!IsWindow(top) || !GetWindowRect(top, &rect) || !BringForward(top)) {
        return false;
    }
    const int x = (rect.left + rect.right) / 2;
    const int y = rect.top + GetSystemMetrics(SM_CYFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    return MouseClick(x, y, true) && Settle(top);
}

bool TryResize(HWND top, int dx, int dy) {
    RECT rect;
    if (!IsWindow(top) || !GetWindowRect(top, &rect) || !BringForward(top)) {
        return false;
    }
    return MouseDrag(rect.right - 1, rect.bottom - 1, rect.right - 1 + dx, rect.bottom - 1 + dy) &&
           Settle(top);
}

bool Minimize(HWND top) {
    return IsWindow(top) && PostMessageW(top, WM_SYSCOMMAND, SC_MINIMIZE, 0) != 0;
}

bool Restore(HWND top) {
    return IsWindow(top) && PostMessageW(top, WM_SYSCOMMAND, SC_RESTORE, 0) != 0;
}

bool Settle(HWND hwnd, DWORD timeoutMs) {
    // Two round trips with a pause between: what was posted before the first
    // has been taken from the queue by the time the second comes back.
    DWORD_PTR result = 0;
    for (int round = 0; round < 2; ++round) {
        if (!SendMessageTimeoutW(hwnd, WM_NULL, 0, 0, SMTO_NORMAL, timeoutMs, &result)) {
            return IsWindow(hwnd) == FALSE; // gone is settled too
        }
        Sleep(30);
    }
    return true;
}

Counters ReadCounters(HANDLE process) {
    Counters counters;
    PROCESS_MEMORY_COUNTERS_EX memory = {};
    memory.cb = sizeof(memory);
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof(memory))) {
        // Wine 8 leaves PrivateUsage at 0; its commit charge is the same figure.
        counters.privateBytes = memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        counters.workingSet = memory.WorkingSetSize;
    }
    return counters;
}

// ---------------------------------------------------------------- Texts

std::string Utf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                            size, nullptr, nullptr);
    }
    return bytes;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) {
        return {};
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(size > 0 ? size : 0, L'\0');
    if (size > 0) {
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(),
                            size);
    }
    return text;
}

namespace {
const struct {
    Key key;
    const wchar_t* name;
} kKeys[] = {
    {Key::Tab, L"tab"},     {Key::ShiftTab, L"shift+tab"}, {Key::Enter, L"enter"},
    {Key::Esc, L"esc"},     {Key::AltF4, L"alt+f4"},       {Key::AltSpace, L"alt+space"},
    {Key::Up, L"up"},       {Key::Down, L"down"},          {Key::Left, L"left"},
    {Key::Right, L"right"}, {Key::Space, L"space"},
};
const struct {
    int id;
    const wchar_t* name;
} kButtons[] = {
    {IDOK, L"ok"},         {IDCANCEL, L"cancel"}, {IDABORT, L"abort"}, {IDRETRY, L"retry"},
    {IDIGNORE, L"ignore"}, {IDYES, L"yes"},       {IDNO, L"no"},
};
} // namespace

std::wstring KeyName(Key key) {
    for (const auto& entry : kKeys) {
        if (entry.key == key) {
            return entry.name;
        }
    }
    return L"?";
}

bool ParseKey(const std::wstring& name, Key* key) {
    for (const auto& entry : kKeys) {
        if (_wcsicmp(entry.name, name.c_str()) == 0) {
            *key = entry.key;
            return true;
        }
    }
    return false;
}

std::wstring ButtonName(int id) {
    for (const auto& entry : kButtons) {
        if (entry.id == id) {
            return entry.name;
        }
    }
    return std::to_wstring(id);
}

int ButtonId(const std::wstring& name) {
    for (const auto& entry : kButtons) {
        if (_wcsicmp(entry.name, name.c_str()) == 0) {
            return entry.id;
        }
    }
    return 0;
}

} // namespace uidriver
