// uidriver.exe: the UI driver as a command-line tool for scripts and the demo.
// Runs commands one after the other in one process, so that the program it
// launched and its window are kept from one command to the next. Commands come
// from the arguments (each argument one command) or, with none, from standard
// input (one a line, UTF-8). Results are printed as lines on standard output.
// The first failing command ends the run with exit code 1.
#include "uidriver.h"

#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace uidriver;

namespace {

// How long a press may keep the program busy before it takes the click (a
// silent device: seconds).
constexpr DWORD kSettleMs = 15000;

const wchar_t* const kDefaultTitle = L"Конфигуратор      Tumark v. " TUMARK_VERSION;

Program gProgram; // the program launched by "launch"

void Print(const std::wstring& line) {
    const std::string bytes = Utf8(line) + "\n";
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD written = 0;
    if (out && out != INVALID_HANDLE_VALUE) {
        WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}

std::wstring Hex(uint64_t value) {
    wchar_t text[32];
    swprintf(text, 32, L"0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// A colour as ImageMagick writes a pixel in hex: RRGGBB.
std::wstring Rgb(COLORREF colour) {
    wchar_t text[8];
    swprintf(text, 8, L"%02X%02X%02X", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

std::wstring Handle(HWND hwnd) {
    return Hex(reinterpret_cast<uintptr_t>(hwnd));
}

// A text in double quotes, with backslash, quote and line feed escaped, so
// that a caption with blanks stays one field.
std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c == L'"' || c == L'\\') {
            out += L'\\';
            out += c;
        } else if (c == L'\n') {
            out += L"\\n";
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring Number(double value) {
    wchar_t text[32];
    swprintf(text, 32, L"%.1f", value);
    return text;
}

// Splits a command line into words; "..." keeps blanks, \" and \\ escape.
std::vector<std::wstring> Words(const std::wstring& line) {
    std::vector<std::wstring> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && iswspace(line[i])) {
            ++i;
        }
        if (i >= line.size()) {
            break;
        }
        std::wstring word;
        if (line[i] == L'"') {
            for (++i; i < line.size() && line[i] != L'"'; ++i) {
                if (line[i] == L'\\' && i + 1 < line.size()) {
                    ++i;
                    word += line[i] == L'n' ? L'\n' : line[i];
                } else {
                    word += line[i];
                }
            }
            ++i;
        } else {
            while (i < line.size() && !iswspace(line[i])) {
                word += line[i++];
            }
        }
        words.push_back(word);
    }
    return words;
}

// The default waits are made for a native machine. TUMARK_DRIVER_SLOWDOWN (a
// whole number, 1 when unset) stretches them where everything runs many times
// slower (full-system emulation); a wait given in a command stays as given.
DWORD Scaled(DWORD ms) {
    static const DWORD factor = [] {
        wchar_t text[16] = {};
        const DWORD length = GetEnvironmentVariableW(L"TUMARK_DRIVER_SLOWDOWN", text, 16);
        const int value = length > 0 && length < 16 ? _wtoi(text) : 1;
        return static_cast<DWORD>(value >= 1 && value <= 100 ? value : 1);
    }();
    return ms * factor;
}

DWORD Timeout(const std::vector<std::wstring>& args, size_t index, DWORD fallback) {
    return args.size() > index ? static_cast<DWORD>(_wtoi(args[index].c_str())) : Scaled(fallback);
}

bool NeedWindow() {
    if (!gProgram.window() || !IsWindow(gProgram.window())) {
        Print(L"error: no window (use wait-window first)");
        return false;
    }
    return true;
}

void PrintControl(const Control& c) {
    std::wstring line = L"control id=" + std::to_wstring(c.id) + L" class=" + c.className +
                        L" text=" + Quoted(c.text) + L" x=" + std::to_wstring(c.rect.left) +
                        L" y=" + std::to_wstring(c.rect.top) + L" w=" + std::to_wstring(c.width()) +
                        L" h=" + std::to_wstring(c.height()) + L" style=" +
                        Hex(static_cast<DWORD>(c.style)) + L" check=" + std::to_wstring(c.check) +
                        L" enabled=" + std::to_wstring(c.enabled) + L" visible=" +
                        std::to_wstring(c.visible) + L" focus=" + std::to_wstring(c.focused);
    if (_wcsicmp(c.className.c_str(), L"ComboBox") == 0) {
        std::wstring items;
        for (size_t i = 0; i < c.items.size(); ++i) {
            items += (i ? L"|" : L"") + c.items[i];
        }
        line += L" items=" + Quoted(items) + L" selection=" + std::to_wstring(c.selection) +
                L" dropped=" + std::to_wstring(c.dropped);
    }
    Print(line);
}

bool Dump() {
    if (!NeedWindow()) {
        return false;
    }
    const WindowState s = ReadWindow(gProgram.window());
    Print(L"window hwnd=" + Handle(s.hwnd) + L" pid=" + std::to_wstring(gProgram.pid()) +
          L" title=" + Quoted(s.title) + L" client=" + std::to_wstring(s.clientWidth) + L"x" +
          std::to_wstring(s.clientHeight) + L" outer=" + std::to_wstring(s.outer.left) + L"," +
          std::to_wstring(s.outer.top) + L"," + std::to_wstring(s.outer.right) + L"," +
          std::to_wstring(s.outer.bottom) + L" clientat=" + std::to_wstring(s.clientOrigin.x) +
          L"," + std::to_wstring(s.clientOrigin.y) + L" face=" + Rgb(GetSysColor(COLOR_BTNFACE)) +
          L" style=" + Hex(static_cast<DWORD>(s.style)) + L" exstyle=" +
          Hex(static_cast<DWORD>(s.exStyle)) + L" enabled=" + std::to_wstring(s.enabled) +
          L" visible=" + std::to_wstring(s.visible) + L" iconic=" + std::to_wstring(s.iconic) +
          L" zoomed=" + std::to_wstring(s.zoomed) + L" foreground=" +
          std::to_wstring(s.foreground));
    Print(L"screen " + std::to_wstring(GetSystemMetrics(SM_CXSCREEN)) + L"x" +
          std::to_wstring(GetSystemMetrics(SM_CYSCREEN)));
    for (const auto& control : s.controls) {
        PrintControl(control);
    }
    const Control* focused = nullptr;
    for (const auto& control : s.controls) {
        if (control.focused) {
            focused = &control;
        }
    }
    Print(focused ? L"focus " + Quoted(focused->text) + L" id=" + std::to_wstring(focused->id)
                  : L"focus none");
    return true;
}

HWND ControlByCaption(const std::wstring& caption) {
    const WindowState s = ReadWindow(gProgram.window());
    const Control* control = FindControl(s, caption);
    return control ? control->hwnd : nullptr;
}

bool PrintBox(HWND box) {
    const Box b = ReadBox(box);
    std::wstring buttons;
    for (size_t i = 0; i < b.buttons.size(); ++i) {
        buttons += (i ? L"," : L"") + ButtonName(b.buttons[i]);
    }
    Print(L"box hwnd=" + Handle(b.hwnd) + L" caption=" + Quoted(b.caption) + L" text=" +
          Quoted(b.text) + L" icon=" + b.icon + L" buttons=" + buttons + L" owner=" +
          std::to_wstring(b.owner && b.owner == gProgram.window()) + L" main-enabled=" +
          std::to_wstring(gProgram.window() && IsWindowEnabled(gProgram.window())));
    return true;
}

// Wall-clock milliseconds since 1970 (Wine: the host's CLOCK_REALTIME), so
// that stamps can be set beside the host's own, e.g. the simulator's log.
double WallMs() {
    FILETIME ft;
    GetSystemTimePreciseAsFileTime(&ft);
    const uint64_t t = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    return static_cast<double>(t - 116444736000000000ULL) / 10000.0;
}

std::wstring Stamp(double ms) {
    wchar_t text[48];
    swprintf(text, 48, L"%.3f", ms);
    return text;
}

// Loads `dll` by its bare name inside the launched program, on a thread of
// its own started there, as any later load of the program (or of a system
// DLL for it) would: the program's DLL search decides where it comes from.
// kernel32 lies at the same address in every process of the session, so our
// LoadLibraryW is the program's. Prints the module's file and whether it
// came from the program's own folder.
bool LoadIn(const std::wstring& dll) {
    HANDLE process = gProgram.process();
    if (!process) {
        Print(L"error: no program");
        return false;
    }
    const SIZE_T bytes = (dll.size() + 1) * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) {
        Print(L"error: VirtualAllocEx " + std::to_wstring(GetLastError()));
        return false;
    }
    bool done = false;
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    auto load = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void (*)()>(GetProcAddress(kernel32, "LoadLibraryW")));
    if (load && WriteProcessMemory(process, remote, dll.c_str(), bytes, nullptr)) {
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr);
        if (thread) {
            done = WaitForSingleObject(thread, 20000) == WAIT_OBJECT_0;
            CloseHandle(thread);
        }
    }
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    if (!done) {
        Print(L"error: the load did not run in the program (" + std::to_wstring(GetLastError()) +
              L")");
        return false;
    }
    // Which file of that name the program now holds.
    std::wstring file;
    HMODULE modules[512];
    DWORD needed = 0;
    if (EnumProcessModules(process, modules, sizeof(modules), &needed)) {
        for (DWORD i = 0; i < needed / sizeof(HMODULE) && i < 512; ++i) {
            wchar_t path[MAX_PATH] = {};
            if (GetModuleFileNameExW(process, modules[i], path, MAX_PATH)) {
                std::wstring text(path);
                const std::wstring name = text.substr(text.find_last_of(L"\\/") + 1);
                if (_wcsicmp(name.c_str(), dll.c_str()) == 0) {
                    file = text;
                }
            }
        }
    }
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameExW(process, nullptr, exe, MAX_PATH);
    std::wstring folder(exe);
    folder = folder.substr(0, folder.find_last_of(L"\\/") + 1);
    const bool fromProgramFolder = !file.empty() && !folder.empty() &&
                                   _wcsnicmp(file.c_str(), folder.c_str(), folder.size()) == 0;
    Print(L"loaded file=" + Quoted(file) + L" program-folder=" +
          std::to_wstring(fromProgramFolder));
    return !file.empty();
}

using Command = std::function<bool(const std::vector<std::wstring>&)>;

const std::map<std::wstring, Command>& Commands() {
    static const std::map<std::wstring, Command> commands = {
        {L"launch",
         [](const std::vector<std::wstring>& a) {
             if (a.size() < 2) {
                 Print(L"error: launch <exe> [cwd] [arguments]");
                 return false;
             }
             const std::wstring cwd = a.size() > 2 ? a[2] : L"";
             const std::wstring arguments = a.size() > 3 ? a[3] : L"";
             if (!gProgram.Launch(a[1], cwd, arguments)) {
                 Print(L"error: cannot start " + a[1] + L" (" + std::to_wstring(GetLastError()) +
                       L")");
                 return false;
             }
             Print(L"launched pid=" + std::to_wstring(gProgram.pid()));
             return true;
         }},
        {L"wait-window",
         [](const std::vector<std::wstring>& a) {
             const std::wstring title = a.size() > 1 ? a[1] : kDefaultTitle;
             HWND hwnd = gProgram.WaitWindow(title, Timeout(a, 2, 20000));
             if (!hwnd) {
                 Print(L"error: no window " + Quoted(title) + L" of pid " +
                       std::to_wstring(gProgram.pid()));
                 return false;
             }
             Print(L"window hwnd=" + Handle(hwnd) + L" seen-ms=" + Number(gProgram.WindowSeenMs()));
             return true;
         }},
        {L"idle",
         [](const std::vector<std::wstring>& a) {
             const double ms = gProgram.WaitIdleMs(Timeout(a, 1, 20000));
             if (ms < 0) {
                 Print(L"error: program not idle");
                 return false;
             }
             Print(L"idle ms=" + Number(ms));
             return true;
         }},
        {L"dump", [](const std::vector<std::wstring>&) { return Dump(); }},
        {L"load-in",
         [](const std::vector<std::wstring>& a) {
             if (a.size() < 2) {
                 Print(L"error: load-in <dll>");
                 return false;
             }
             return LoadIn(a[1]);
         }},
        {L"click",
         [](const std::vector<std::wstring>& a) {
             HWND control = a.size() > 1 && NeedWindow() ? ControlByCaption(a[1]) : nullptr;
             // A press may keep the program busy for seconds (a silent device):
             // settled means it has taken the click, however long that takes.
             if (!control || !Click(control) || !Settle(control, Scaled(kSettleMs))) {
                 Print(L"error: cannot click " + (a.size() > 1 ? Quoted(a[1]) : L"?"));
                 return false;
             }
             Print(L"clicked " + Quoted(a[1]));
             return true;
         }},
        {L"mouse-click",
         [](const std::vector<std::wstring>& a) {
             HWND control = a.size() > 1 && NeedWindow() ? ControlByCaption(a[1]) : nullptr;
             if (!control || !ClickControl(control)) {
                 Print(L"error: cannot click " + (a.size() > 1 ? Quoted(a[1]) : L"?"));
                 return false;
             }
             Print(L"mouse-clicked " + Quoted(a[1]));
             return true;
         }},
        {L"notify",
         [](const std::vector<std::wstring>& a) {
             // A WM_COMMAND from a control with a notification code of the
             // caller's choosing, as the control itself would send it.
             HWND control = a.size() > 2 && NeedWindow() ? ControlByCaption(a[1]) : nullptr;
             const WPARAM code = a.size() > 2 ? static_cast<WPARAM>(_wtoi(a[2].c_str())) : 0;
             const WPARAM id = control ? static_cast<WPARAM>(GetDlgCtrlID(control)) : 0;
             if (!control || !PostMessageW(gProgram.window(), WM_COMMAND, MAKEWPARAM(id, code),
                                           reinterpret_cast<LPARAM>(control)) ||
                 !Settle(control, Scaled(kSettleMs))) {
                 Print(L"error: cannot notify " + (a.size() > 1 ? Quoted(a[1]) : L"?"));
                 return false;
             }
             Print(L"notified " + Quoted(a[1]) + L" code=" + a[2]);
             return true;
         }},
        {L"select",
         [](const std::vector<std::wstring>& a) {
             if (a.size() < 2 || !NeedWindow()) {
                 return false;
             }
             const WindowState s = ReadWindow(gProgram.window());
             const Control* list = FindControlByClass(s, L"ComboBox");
             if (!list || !SelectItem(list->hwnd, a[1]) ||
                 !Settle(list->hwnd, Scaled(kSettleMs))) {
                 Print(L"error: cannot select " + Quoted(a[1]));
                 return false;
             }
             Print(L"selected " + Quoted(a[1]));
             return true;
         }},
        {L"choose",
         [](const std::vector<std::wstring>& a) {
             if (a.size() < 2 || !NeedWindow()) {
                 return false;
             }
             const WindowState s = ReadWindow(gProgram.window());
             const Control* list = FindControlByClass(s, L"ComboBox");
             if (!list || !ChooseItemByMouse(list->hwnd, a[1])) {
                 Print(L"error: cannot choose " + Quoted(a[1]));
                 return false;
             }
             Print(L"chose " + Quoted(a[1]));
             return true;
         }},
        {L"key",
         [](const std::vector<std::wstring>& a) {
             Key key;
             if (a.size() < 2 || !ParseKey(a[1], &key)) {
                 Print(L"error: key tab|shift+tab|enter|esc|alt+f4|alt+space|up|down|left|right|space");
                 return false;
             }
             // Keys go to what the program has active: its window or its box.
             const auto boxes = FindBoxes(gProgram.pid());
             HWND target = boxes.empty() ? gProgram.window() : boxes.front();
             if (!target || !PressKey(target, key)) {
                 Print(L"error: key " + a[1] + L" not delivered");
                 return false;
             }
             Print(L"pressed " + a[1]);
             return true;
         }},
        {L"close",
         [](const std::vector<std::wstring>&) {
             if (!NeedWindow() || !CloseBox(gProgram.window())) {
                 return false;
             }
             Print(L"close requested");
             return true;
         }},
        {L"sysmenu-close",
         [](const std::vector<std::wstring>&) {
             if (!NeedWindow() || !SystemMenuClose(gProgram.window())) {
                 Print(L"error: system menu Close failed");
                 return false;
             }
             Print(L"system menu close chosen");
             return true;
         }},
        {L"try-maximize",
         [](const std::vector<std::wstring>&) {
             if (!NeedWindow() || !TryMaximize(gProgram.window())) {
                 return false;
             }
             Print(L"maximize tried zoomed=" + std::to_wstring(IsZoomed(gProgram.window()) != 0));
             return true;
         }},
        {L"try-resize",
         [](const std::vector<std::wstring>& a) {
             const int dx = a.size() > 1 ? _wtoi(a[1].c_str()) : 40;
             const int dy = a.size() > 2 ? _wtoi(a[2].c_str()) : 40;
             if (!NeedWindow() || !TryResize(gProgram.window(), dx, dy)) {
                 return false;
             }
             RECT client = {};
             GetClientRect(gProgram.window(), &client);
             Print(L"resize tried client=" + std::to_wstring(client.right) + L"x" +
                   std::to_wstring(client.bottom));
             return true;
         }},
        {L"minimize",
         [](const std::vector<std::wstring>&) {
             if (!NeedWindow() || !Minimize(gProgram.window()) ||
                 !Settle(gProgram.window(), Scaled(kSettleMs))) {
                 return false;
             }
             Print(L"minimized iconic=" + std::to_wstring(IsIconic(gProgram.window()) != 0));
             return true;
         }},
        {L"restore",
         [](const std::vector<std::wstring>&) {
             if (!NeedWindow() || !Restore(gProgram.window()) ||
                 !Settle(gProgram.window(), Scaled(kSettleMs))) {
                 return false;
             }
             Print(L"restored iconic=" + std::to_wstring(IsIconic(gProgram.window()) != 0));
             return true;
         }},
        {L"box",
         [](const std::vector<std::wstring>& a) {
             HWND box = WaitBox(gProgram.pid(), Timeout(a, 1, 10000));
             if (!box) {
                 Print(L"error: no message box");
                 return false;
             }
             Sleep(100); // let the box paint its icon before it is read from the screen
             return PrintBox(box);
         }},
        {L"boxes",
         [](const std::vector<std::wstring>&) {
             Print(L"boxes " + std::to_wstring(FindBoxes(gProgram.pid()).size()));
             return true;
         }},
        {L"answer",
         [](const std::vector<std::wstring>& a) {
             const int id = a.size() > 1 ? ButtonId(a[1]) : 0;
             HWND box = WaitBox(gProgram.pid(), Scaled(5000));
             if (!id || !box || !AnswerBox(box, id)) {
                 Print(L"error: cannot answer " + (a.size() > 1 ? a[1] : L"?"));
                 return false;
             }
             Print(L"answered " + a[1]);
             return true;
         }},
        {L"wait-exit",
         [](const std::vector<std::wstring>& a) {
             DWORD code = 0;
             if (!gProgram.WaitExit(Timeout(a, 1, 10000), &code)) {
                 Print(L"error: program still running");
                 return false;
             }
             Print(L"exit code=" + std::to_wstring(code));
             return true;
         }},
        {L"counters",
         [](const std::vector<std::wstring>&) {
             if (!gProgram.process()) {
                 return false;
             }
             const Counters c = ReadCounters(gProgram.process());
             Print(L"counters private-bytes=" + std::to_wstring(c.privateBytes) +
                   L" working-set=" + std::to_wstring(c.workingSet));
             return true;
         }},
        {L"kill",
         [](const std::vector<std::wstring>&) {
             gProgram.Kill();
             Print(L"killed");
             return true;
         }},
        {L"help",
         [](const std::vector<std::wstring>&) {
             for (const wchar_t* line : {
                      L"launch <exe> [cwd] [arguments]   start a program",
                      L"wait-window [title] [ms]          its visible window (title: the "
                      L"configurator's)",
                      L"idle [ms]                         wait until it waits for input",
                      L"dump                              the window and every control",
                      L"click <caption>                   BM_CLICK on a button or option",
                      L"mouse-click <caption>             a real mouse click on a control",
                      L"notify <caption> <code>           WM_COMMAND from it with that code",
                      L"select <item>                     choose in the list (CBN_SELCHANGE)",
                      L"choose <item>                     choose in the list with the mouse",
                      L"key tab|shift+tab|enter|esc|alt+f4|alt+space|up|down|left|right|space",
                      L"close | sysmenu-close             close box / system menu Close",
                      L"minimize | restore | try-maximize | try-resize [dx dy]",
                      L"box [ms] | boxes | answer ok|yes|no|cancel",
                      L"wait-exit [ms] | counters | kill | sleep <ms>",
                      L"time | timed-click <caption> | timed-box [ms]   wall-clock stamps",
                  }) {
                 Print(line);
             }
             return true;
         }},
        {L"time",
         [](const std::vector<std::wstring>&) {
             Print(L"time wall-ms=" + Stamp(WallMs()));
             return true;
         }},
        // Time-stamped click and box for the click-to-message benchmark: the
        // click is posted without settling, the box polled every millisecond.
        {L"timed-click",
         [](const std::vector<std::wstring>& a) {
             HWND control = a.size() > 1 && NeedWindow() ? ControlByCaption(a[1]) : nullptr;
             const double at = WallMs();
             if (!control || !Click(control)) {
                 Print(L"error: cannot click " + (a.size() > 1 ? Quoted(a[1]) : L"?"));
                 return false;
             }
             Print(L"timed-clicked " + Quoted(a[1]) + L" wall-ms=" + Stamp(at));
             return true;
         }},
        {L"timed-box",
         [](const std::vector<std::wstring>& a) {
             const ULONGLONG deadline = GetTickCount64() + Timeout(a, 1, 10000);
             for (;;) {
                 const auto boxes = FindBoxes(gProgram.pid());
                 if (!boxes.empty()) {
                     Print(L"timed-box wall-ms=" + Stamp(WallMs()));
                     return true;
                 }
                 if (GetTickCount64() >= deadline) {
                     Print(L"error: no message box");
                     return false;
                 }
                 Sleep(1);
             }
         }},
        {L"sleep",
         [](const std::vector<std::wstring>& a) {
             Sleep(a.size() > 1 ? static_cast<DWORD>(_wtoi(a[1].c_str())) : 100);
             Print(L"slept");
             return true;
         }},
    };
    return commands;
}

// "launch" starts a new program; later commands talk to it. A second launch
// in one run ends the first program (the benchmark starts many in a row).
bool Run(const std::wstring& line) {
    const auto words = Words(line);
    if (words.empty() || words[0][0] == L'#') {
        return true;
    }
    const auto& commands = Commands();
    const auto found = commands.find(words[0]);
    if (found == commands.end()) {
        Print(L"error: unknown command " + words[0]);
        return false;
    }
    return found->second(words);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) {
            if (!Run(argv[i])) {
                return 1;
            }
        }
        return 0;
    }
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char chunk[4096];
    DWORD got = 0;
    bool more = in && in != INVALID_HANDLE_VALUE;
    while (more) {
        more = ReadFile(in, chunk, sizeof(chunk), &got, nullptr) && got > 0;
        if (more) {
            pending.append(chunk, got);
        }
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos || (!more && !pending.empty())) {
            const std::string line = end == std::string::npos ? pending : pending.substr(0, end);
            pending = end == std::string::npos ? "" : pending.substr(end + 1);
            std::wstring command = Wide(line);
            if (!command.empty() && command.back() == L'\r') {
                command.pop_back();
            }
            if (!Run(command)) {
                return 1;
            }
        }
    }
    return 0;
}
