// A configurator-like test program for the host-side discovery scripts and
// the benchmark. Prints its results in UTF-8 on standard output.
//   ports_probe folder <dir>        FindPortInFolder(<dir>\)
//   ports_probe window              opens the toolkit's window as MainWindow,
//                                   prints the program folder and FindDevicePort
//   ports_probe plainwindow         the same through a plain window of its own
//   ports_probe has-window          exit code 0 when "window" is built in
//   ports_probe desktop             makes one window and ends, so that Wine's
//                                   desktop process is up (see wine-desktop)
//   ports_probe bench <dir> <nop> <n>  times discovery in <dir> against
//                                   starting the do-nothing program <nop>
//   ports_probe launch <exe> <n>    median time of LaunchAndWait(<exe>)
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/toolkit/toolkit.h"
#include "ports/discovery.h"
#include "ports/discovery_internal.h"

namespace {

void Print(const std::wstring& text) {
    std::string bytes(text.size() * 3 + 1, '\0');
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(count > 0 ? static_cast<size_t>(count) : 0);
    DWORD wrote = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &wrote, nullptr);
}

std::wstring WithSlash(std::wstring dir) {
    if (!dir.empty() && dir.back() != L'\\') {
        dir += L'\\';
    }
    return dir;
}

double Seconds(LARGE_INTEGER a, LARGE_INTEGER b) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

int Bench(const std::wstring& folder, const std::wstring& nop, int runs) {
    std::vector<double> discovery, start;
    std::wstring port;
    for (int i = 0; i < runs; ++i) {
        // Alternate the two, so that a slow spell of the machine hits both.
        LARGE_INTEGER t0, t1, t2;
        QueryPerformanceCounter(&t0);
        port = FindPortInFolder(folder);
        QueryPerformanceCounter(&t1);
        if (!LaunchAndWait(nop)) {
            Print(L"nop program did not start\n");
            return 1;
        }
        QueryPerformanceCounter(&t2);
        discovery.push_back(Seconds(t0, t1));
        start.push_back(Seconds(t1, t2));
    }
    const double d = Median(discovery), s = Median(start);
    Print(L"port " + port + L"\n");
    Print(L"discovery_ms " + std::to_wstring(d * 1000) + L"\n");
    Print(L"nop_start_ms " + std::to_wstring(s * 1000) + L"\n");
    Print(L"ratio " + std::to_wstring(s > 0 ? d / s : 0) + L"\n");
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"folder" && argc == 3) {
        Print(L"port=" + FindPortInFolder(WithSlash(argv[2])) + L"\n");
        return 0;
    }
    if (mode == L"launch" && argc == 4) {
        std::vector<double> times;
        for (int i = 0; i < _wtoi(argv[3]); ++i) {
            LARGE_INTEGER t0, t1;
            QueryPerformanceCounter(&t0);
            if (!LaunchAndWait(argv[2])) {
                Print(L"did not start\n");
                return 1;
            }
            QueryPerformanceCounter(&t1);
            times.push_back(Seconds(t0, t1));
        }
        Print(L"launch_ms " + std::to_wstring(Median(times) * 1000) + L"\n");
        return 0;
    }
    if (mode == L"bench" && argc == 5) {
        return Bench(WithSlash(argv[2]), argv[3], _wtoi(argv[4]));
    }
    if (mode == L"plainwindow") {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"TumarkPortsProbe";
        HWND window = RegisterClassW(&wc) == 0
                          ? nullptr
                          : CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10,
                                            nullptr, nullptr, wc.hInstance, nullptr);
        if (window == nullptr) {
            Print(L"no window\n");
            return 1;
        }
        std::wstring folder;
        const bool supported = ReadProgramFolder(window, folder);
        Print(L"folder=" + folder + L"\n");
        Print(L"port=" + (supported ? FindPortInFolder(folder) : std::wstring()) + L"\n");
        DestroyWindow(window);
        return 0;
    }
    if (mode == L"desktop") {
        HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
        if (window != nullptr) {
            DestroyWindow(window);
        }
        return window != nullptr ? 0 : 1;
    }
    if (mode == L"has-window") {
        return 0; // the probe always carries the window's code now
    }
    if (mode == L"window") {
        HANDLE heap = HeapCreate(0, 0, 0);
        if (heap == nullptr || !ToolkitStart(GetModuleHandleW(nullptr), heap)) {
            Print(L"toolkit did not start\n");
            return 1;
        }
        MainWindow = WindowOpen(0, 0, 200, 100, L"ports probe", WindowFlagCentre);
        if (MainWindow == 0) {
            Print(L"no window\n");
            return 1;
        }
        std::wstring folder;
        ReadProgramFolder(WindowHandle(MainWindow), folder);
        Print(L"folder=" + folder + L"\n");
        Print(L"port=" + FindDevicePort() + L"\n");
        WindowClose(MainWindow);
        ToolkitEnd();
        return 0;
    }
    Print(L"usage: ports_probe folder <dir> | window | plainwindow | has-window | bench <dir> "
          L"<nop> <n>\n");
    return 2;
}
