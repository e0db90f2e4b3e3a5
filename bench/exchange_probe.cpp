// Times ExchangeFrame against the device simulator: RUNS responsive write
// exchanges, then RUNS against a silent device (faults set through the
// simulator's control file). Prints the medians in ms. Runs under Wine,
// started by bench/exchange; GUI-less, one thread plus the exchange's workers.
#include "link/exchange.h"
#include "link/frame.h"
#include "link/serial_port.h"
#include "link/worker.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

uint8_t gTx[FrameSize], gRx[FrameSize];

double Now() {
    LARGE_INTEGER f, c;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&c);
    return 1000.0 * static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool SetFaults(const char* line) {
    FILE* f = std::fopen(std::getenv("TUMARK_SIM_CONTROL"), "w");
    if (!f) {
        return false;
    }
    std::fputs(line, f);
    std::fclose(f);
    return true;
}

// Runs the exchanges; false when one gives another result than expected.
bool Measure(int runs, uint8_t expected, std::vector<double>& took) {
    for (int i = 0; i < runs; ++i) {
        double start = Now();
        uint8_t r = ExchangeFrame(0, DeviceAddress, HostAddress, FrameFixed, CmdWrite, 1, 2);
        took.push_back(Now() - start);
        if (r != expected) {
            std::printf("exchange %d gave %d, not %d\n", i, r, expected);
            return false;
        }
    }
    return true;
}

} // namespace

int wmain() {
    const char* port = std::getenv("TUMARK_SIM_PORT");
    const char* runsText = std::getenv("RUNS");
    int runs = runsText ? std::atoi(runsText) : 15;
    if (!port || runs < 1 || !SetFaults("")) {
        return 2;
    }
    wchar_t name[32] = {};
    for (int i = 0; port[i] && i < 31; ++i) {
        name[i] = static_cast<wchar_t>(port[i]);
    }
    SerialTableCreate();
    WorkerRegistryCreate();
    TxFrame = gTx;
    RxFrame = gRx;
    if (SerialOpen(0, name, 9600, 2, 8, 1.0, 0, 255, 255) == 0) {
        std::printf("cannot open %s\n", port);
        return 1;
    }
    std::vector<double> responsive, silent;
    Measure(1, ExchangeOk, responsive); // warm-up
    responsive.clear();
    if (!Measure(runs, ExchangeOk, responsive)) {
        return 1;
    }
    SetFaults("--silent");
    if (!Measure(runs, ExchangeBadReply, silent)) {
        return 1;
    }
    SetFaults("");
    std::printf("responsive %.1f\nsilent %.1f\n", Median(responsive), Median(silent));
    CloseAllWorkers();
    SerialCloseAll();
    return 0;
}
