// Windows tests of the port table, the workers and the frame exchange, run
// under Wine with the device simulator on a pty (tests/wine/with-sim gives
// the COM port, the simulator's log and its control file).
#include "link/exchange.h"
#include "link/frame.h"
#include "link/serial_port.h"
#include "link/worker.h"
#include "link/worker_calls.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Frame = std::array<uint8_t, FrameSize>;

uint8_t gTx[FrameSize];
uint8_t gRx[FrameSize];

std::wstring Widen(const char* s) {
    std::wstring w;
    for (; s && *s; ++s) {
        w += static_cast<wchar_t>(*s);
    }
    return w;
}

const char* Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Replaces the simulator's faults; it re-reads the file before each request.
void SetFaults(const char* line) {
    FILE* f = std::fopen(Env("TUMARK_SIM_CONTROL"), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(line, f);
    std::fclose(f);
}

// Every byte the simulator received, in order.
std::vector<uint8_t> BytesReceived() {
    std::vector<uint8_t> bytes;
    FILE* f = std::fopen(Env("TUMARK_SIM_LOG"), "r");
    if (!f) {
        return bytes;
    }
    char line[8192];
    while (std::fgets(line, sizeof line, f)) {
        std::istringstream in(line);
        std::string ms, what;
        in >> ms >> what;
        if (what != "RX") {
            continue;
        }
        for (std::string hex; in >> hex;) {
            bytes.push_back(static_cast<uint8_t>(std::strtoul(hex.c_str(), nullptr, 16)));
        }
    }
    std::fclose(f);
    return bytes;
}

bool Contains(const std::vector<uint8_t>& hay, const Frame& needle) {
    for (size_t i = 0; i + FrameSize <= hay.size(); ++i) {
        if (std::memcmp(hay.data() + i, needle.data(), FrameSize) == 0) {
            return true;
        }
    }
    return false;
}

Frame Tx() {
    Frame f;
    std::memcpy(f.data(), TxFrame, FrameSize);
    return f;
}

Frame Rx() {
    Frame f;
    std::memcpy(f.data(), RxFrame, FrameSize);
    return f;
}

uintptr_t OpenSimPort() {
    std::wstring name = Widen(Env("TUMARK_SIM_PORT"));
    return SerialOpen(0, name.c_str(), 9600, 2, 8, 1.0, 0, 255, 255);
}

uint8_t Write(uint32_t direction, uint32_t mode) {
    return ExchangeFrame(0, DeviceAddress, HostAddress, FrameFixed, CmdWrite, direction, mode);
}

uint8_t Read(uint32_t direction, uint32_t mode) {
    return ExchangeFrame(0, DeviceAddress, HostAddress, FrameFixed, CmdRead, direction, mode);
}

class Link : public ::testing::Test {
  protected:
    // The port is opened once for the suite: under Wine a pty-backed port
    // refuses a second SetCommState that changes the RTS control (error 87),
    // so a reopen fails there.
    static void SetUpTestSuite() {
        ASSERT_TRUE(SerialTableCreate());
        ASSERT_TRUE(WorkerRegistryCreate());
        TxFrame = gTx;
        RxFrame = gRx;
        gOpened = OpenSimPort();
    }
    void SetUp() override {
        ASSERT_STRNE(Env("TUMARK_SIM_PORT"), "") << "run under tests/wine/with-sim";
        SetFaults("");
        ASSERT_NE(gOpened, 0u);
    }
    void TearDown() override { SetFaults(""); }
    static inline uintptr_t gOpened = 0;
};

const Frame kWrite1Standalone = {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x01, 0x02, 0xED};
const Frame kWrite16Slave = {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x10, 0x01, 0xFB};
const Frame kRead1Standalone = {0x00, 0x0E, 0x0B, 0x08, 0xCA, 0x01, 0x02, 0xEE};
const Frame kReply16Slave = {0x00, 0x0B, 0x0E, 0x08, 0xCB, 0x10, 0x01, 0xFD};
const Frame kReply1Standalone = {0x00, 0x0B, 0x0E, 0x08, 0xCB, 0x01, 0x02, 0xEF};

// One exchange per row over the real port calls, in order (the device
// keeps what a write stored), against the simulator's fault of the row;
// RxFrame is spoiled before each. A row with a second step clears the fault
// and exchanges the other request, which must get its own reply: whatever
// the fault left waiting on the line was flushed or read.
TEST_F(Link, EachLineGivesItsResultAndReply) {
    struct Row {
        const char* what;
        const char* faults;
        bool read;
        uint32_t direction, mode;
        uint8_t result;
        std::optional<Frame> rx; // none: garbage
        DWORD wait = 0;          // ms before the second step
        bool second = false;
    };
    const Row rows[] = {
        {"the worked write goes on the wire and its reply is accepted", "", false, 16, 1,
         ExchangeOk, kReply16Slave},
        {"a read gets what the device stores, not what was asked", "", true, 1, 2, ExchangeOk,
         kReply16Slave},
        {"a silent device is a bad reply with RxFrame cleared, not a timeout", "--silent", false, 1,
         2, ExchangeBadReply, Frame{}},
        {"an echo of the request is refused", "--echo", false, 1, 2, ExchangeBadReply,
         kWrite1Standalone},
        {"a reply some 250 ms late, near the last poll, is taken", "--delay-ms 250", false, 16, 1,
         ExchangeOk, kReply16Slave},
        {"a short reply is padded with zeros and refused", "--short 5", false, 1, 2,
         ExchangeBadReply, Frame{0x00, 0x0B, 0x0E, 0x08, 0xCB, 0x00, 0x00, 0x00}},
        {"of 12 waiting bytes the first eight are the reply, the rest are read too", "--extra 4",
         false, 1, 2, ExchangeOk, kReply1Standalone, 0, true},
        {"a reply after the polls is flushed before the next request", "--delay-ms 400", false, 16,
         1, ExchangeBadReply, Frame{}, 400, true},
        {"4000 bytes before the reply: refused, then flushed", "--flood 4000", false, 1, 2,
         ExchangeBadReply, std::nullopt, 300, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        SetFaults(r.faults);
        std::memset(RxFrame, 0x77, FrameSize);
        EXPECT_EQ(r.read ? Read(r.direction, r.mode) : Write(r.direction, r.mode), r.result);
        if (r.rx) {
            EXPECT_EQ(Rx(), *r.rx);
        }
        EXPECT_TRUE(Contains(BytesReceived(), Tx())) << "the request is not on the wire";
        if (r.second) {
            Sleep(r.wait);
            SetFaults("");
            const bool sixteen = r.direction != 16;
            EXPECT_EQ(sixteen ? Write(16, 1) : Write(1, 2), ExchangeOk);
            EXPECT_EQ(Rx(), sixteen ? kReply16Slave : kReply1Standalone);
        }
    }
}

// The 1 ms timer is asked of winmm itself (the unit tests put their own
// clock in its place).
TEST_F(Link, TheTimerIsAskedOfTheSystemsWinmm) {
    EXPECT_EQ(WorkerSystem.timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
    EXPECT_NE(GetModuleHandleW(L"winmm.dll"), nullptr);
}

TEST_F(Link, PortsThatCannotOpenReturnZeroAndChangeNoSlot) {
    // COM19 is below the numbers the simulator wrapper hands out.
    EXPECT_EQ(SerialOpen(1, L"COM19", 9600, 2, 8, 1.0, 0, 255, 255), 0u);
    EXPECT_FALSE(SerialIsOpen(1));
    EXPECT_EQ(SerialOpen(1, L"", 9600, 2, 8, 1.0, 0, 255, 255), 0u);
    EXPECT_EQ(SerialOpen(1, nullptr, 9600, 2, 8, 1.0, 0, 255, 255), 0u);
    EXPECT_TRUE(SerialIsOpen(0)); // the open port is untouched
}

TEST_F(Link, ClosedPortsCountReadAndWriteNothing) {
    SerialClose(3); // closing a closed port does nothing
    uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (uint32_t port : {1u, 3u, 15u, 16u, 500u}) {
        EXPECT_FALSE(SerialIsOpen(port));
        EXPECT_EQ(SerialInputCount(port), 0u);
        EXPECT_EQ(SerialRead(port, buffer, 8), 0u);
        EXPECT_EQ(SerialWrite(port, buffer, 8), 0u);
    }
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(SerialRead(0, buffer, 0), 0u); // a count of 0 returns at once
    EXPECT_TRUE(SerialIsOpen(0));
}

} // namespace
