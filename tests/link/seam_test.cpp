// Windows tests of the port table and the frame exchange over stand-ins for
// the Win32 communications, thread and timer calls: the DCB and time-outs
// exactly as set, the failures a pty cannot produce (access denied, a
// refused setting, a failing count, a thread refused), the exchange's
// schedule at Windows' timer resolution, every handle given back, and calls
// the driver does not complete, on the workers or the GUI thread, whether
// it honours the cancel or completes the call late or never. Wine shows
// none of these. No serial line.
#include "common/holders.h"
#include "link/clock.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "link/serial_calls.h"
#include "link/serial_port.h"
#include "link/worker.h"
#include "link/worker_calls.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/link/standin_port.h"

namespace {

using namespace standin;

// The request of TimedWrite.
const std::vector<uint8_t> kSlave9 = {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x09, 0x01, 0xF4};

class Seam : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SerialTableCreate());
        ASSERT_TRUE(WorkerRegistryCreate());
        std::memset(gTxArea, FrameGuard, sizeof(gTxArea));
        std::memset(gRxArea, FrameGuard, sizeof(gRxArea));
        TxFrame = gTxArea + FrameGuardSize;
        RxFrame = gRxArea + FrameGuardSize;
    }
    void SetUp() override { ASSERT_TRUE(StandInBegin(line_)); }
    void TearDown() override { StandInEnd(line_); }
    uintptr_t Open(uint32_t port = 0, const wchar_t* name = L"COM7", double stop = 1.0,
                   uint32_t handshake = 0, uint32_t parity = EVENPARITY, uint32_t in = 255,
                   uint32_t out = 255) {
        return SerialOpen(port, name, 9600, parity, 8, stop, handshake, in, out);
    }
    // Milliseconds that one Write exchange of slave/9 took, its result in
    // `result`.
    double TimedWrite(uint8_t& result) {
        return Took([&] {
            result = ExchangeFrame(0, DeviceAddress, HostAddress, FrameFixed, CmdWrite, 9, 1);
        });
    }
    // The guards around TxFrame and RxFrame are as the suite set them.
    static bool FrameGuardsIntact() {
        for (const uint8_t* area : {gTxArea, gRxArea}) {
            for (size_t i = 0; i < FrameGuardSize; ++i) {
                if (area[i] != FrameGuard || area[FrameGuardSize + FrameSize + i] != FrameGuard) {
                    return false;
                }
            }
        }
        return true;
    }
    std::vector<LoggedCall> Log() {
        CriticalSectionLock hold(gQueueLock);
        return line_.log;
    }

    FakeLine line_;
    static inline uint8_t gTxArea[FrameGuardSize + FrameSize + FrameGuardSize];
    static inline uint8_t gRxArea[FrameGuardSize + FrameSize + FrameGuardSize];
};

// ---- The open: path, DCB, queues and time-outs ----------------------------

TEST_F(Seam, OpenBuildsTheDevicePathAndOpensUnsharedAndOverlapped) {
    ASSERT_NE(Open(0, L"COM7"), 0u);
    EXPECT_EQ(line_.path, L"\\\\.\\COM7");
    EXPECT_EQ(line_.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
    EXPECT_EQ(line_.share, 0u);
    EXPECT_EQ(line_.disposition, static_cast<DWORD>(OPEN_EXISTING));
    EXPECT_EQ(line_.flags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));

    std::wstring longName(70, L'A');
    ASSERT_NE(Open(1, longName.c_str()), 0u);
    EXPECT_EQ(line_.path, L"\\\\.\\" + std::wstring(59, L'A'));
}

TEST_F(Seam, OpenSetsTheLineAndKeepsTheDriversOtherFields) {
    ASSERT_NE(Open(), 0u);
    const DCB& d = line_.set;
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, EVENPARITY);
    EXPECT_EQ(d.fParity, 1u);
    EXPECT_EQ(d.StopBits, ONESTOPBIT);
    // Untouched: what the driver reported (flow control: the table below).
    const DCB o = DriverSettings();
    EXPECT_EQ(d.fDtrControl, o.fDtrControl);
    EXPECT_EQ(d.fTXContinueOnXoff, o.fTXContinueOnXoff);
    // Queues and time-outs: reads return at once with what is waiting; a
    // frame's write ends by its own time-out (180 ms) before the worker's
    // 500 ms.
    EXPECT_EQ(line_.setupCalls, 1);
    EXPECT_EQ(line_.setupIn, 255u);
    EXPECT_EQ(line_.setupOut, 255u);
    EXPECT_EQ(line_.timeoutCalls, 1);
    EXPECT_EQ(line_.timeouts.ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(line_.timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(line_.timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_LT(line_.timeouts.WriteTotalTimeoutMultiplier * FrameSize +
                  line_.timeouts.WriteTotalTimeoutConstant,
              400u);
    EXPECT_GT(line_.timeouts.WriteTotalTimeoutMultiplier * FrameSize +
                  line_.timeouts.WriteTotalTimeoutConstant,
              50u);
}

TEST_F(Seam, HandshakeModesChangeOnlyTheirOwnFields) {
    // Mode 0 turns off whatever another program left on (every such setting
    // is on in the driver's DCB); the other modes change only their own.
    // Every mode gets flow-control characters and limits that drivers
    // accept, and no special characters, whatever the driver reported.
    struct Row {
        uint32_t mode;
        DWORD cts, rts, outX, inX;
        DWORD dsr, dsrSense, null, errorChar, abortOnError, binary;
    };
    const DCB o = DriverSettings();
    const Row rows[] = {
        {0, 0, RTS_CONTROL_DISABLE, 0, 0, 0, 0, 0, 0, 0, 1},
        {1, 0, RTS_CONTROL_ENABLE, o.fOutX, o.fInX, o.fOutxDsrFlow, o.fDsrSensitivity, o.fNull,
         o.fErrorChar, o.fAbortOnError, o.fBinary},
        {2, 1, RTS_CONTROL_HANDSHAKE, o.fOutX, o.fInX, o.fOutxDsrFlow, o.fDsrSensitivity, o.fNull,
         o.fErrorChar, o.fAbortOnError, o.fBinary},
        {3, o.fOutxCtsFlow, o.fRtsControl, 1, 1, o.fOutxDsrFlow, o.fDsrSensitivity, o.fNull,
         o.fErrorChar, o.fAbortOnError, o.fBinary},
        {4, o.fOutxCtsFlow, o.fRtsControl, o.fOutX, o.fInX, o.fOutxDsrFlow, o.fDsrSensitivity,
         o.fNull, o.fErrorChar, o.fAbortOnError, o.fBinary},
        {99, o.fOutxCtsFlow, o.fRtsControl, o.fOutX, o.fInX, o.fOutxDsrFlow, o.fDsrSensitivity,
         o.fNull, o.fErrorChar, o.fAbortOnError, o.fBinary},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "handshake mode " << r.mode);
        ASSERT_NE(Open(0, L"COM7", 1.0, r.mode), 0u);
        const DCB& d = line_.set;
        EXPECT_EQ(d.fOutxCtsFlow, r.cts);
        EXPECT_EQ(d.fRtsControl, r.rts);
        EXPECT_EQ(d.fOutX, r.outX);
        EXPECT_EQ(d.fInX, r.inX);
        EXPECT_EQ(d.XonChar, 0x11);
        EXPECT_EQ(d.XoffChar, 0x13);
        // 255 / 10 = 25; 7 times that is 175: well below the 255-byte queue.
        EXPECT_EQ(d.XonLim, 25);
        EXPECT_EQ(d.XoffLim, 175);
        EXPECT_EQ(d.ErrorChar, 0);
        EXPECT_EQ(d.EofChar, 0);
        EXPECT_EQ(d.EvtChar, 0);
        EXPECT_EQ(d.fOutxDsrFlow, r.dsr);
        EXPECT_EQ(d.fDsrSensitivity, r.dsrSense);
        EXPECT_EQ(d.fNull, r.null);
        EXPECT_EQ(d.fErrorChar, r.errorChar);
        EXPECT_EQ(d.fAbortOnError, r.abortOnError);
        EXPECT_EQ(d.fBinary, r.binary);
        EXPECT_EQ(d.fDtrControl, o.fDtrControl); // never changed
    }
}

TEST_F(Seam, StopBitsAndParityCodes) {
    const std::pair<double, BYTE> stops[] = {
        {1.0, ONESTOPBIT},   {2.0, TWOSTOPBITS},  {1.5, ONE5STOPBITS},
        {0.5, ONE5STOPBITS}, {3.0, ONE5STOPBITS}, {1.0000001, ONE5STOPBITS},
    };
    for (auto [count, code] : stops) {
        ASSERT_NE(Open(0, L"COM7", count), 0u);
        EXPECT_EQ(line_.set.StopBits, code) << "stop bits " << count;
    }
    for (uint32_t parity : {0u, 1u, 2u, 3u, 4u}) {
        ASSERT_NE(Open(0, L"COM7", 1.0, 0, parity), 0u);
        EXPECT_EQ(line_.set.Parity, parity);
        EXPECT_EQ(line_.set.fParity, 1u) << "parity code " << parity;
    }
}

TEST_F(Seam, QueuesAreSetOnlyWhenBothSizesAreGiven) {
    ASSERT_NE(Open(0, L"COM7", 1.0, 0, EVENPARITY, 0, 255), 0u);
    ASSERT_NE(Open(0, L"COM7", 1.0, 0, EVENPARITY, 255, 0), 0u);
    EXPECT_EQ(line_.setupCalls, 0);
    ASSERT_NE(Open(0, L"COM7", 1.0, 0, EVENPARITY, 64, 32), 0u);
    EXPECT_EQ(line_.setupCalls, 1);
    EXPECT_EQ(line_.setupIn, 64u);
    EXPECT_EQ(line_.setupOut, 32u);
}

// ---- Failed opens ----------------------------------------------------------

TEST_F(Seam, FailedOpensCloseWhatTheyOpenedAndChangeNoSlot) {
    const uintptr_t first = Open(0);
    ASSERT_NE(first, 0u);
    struct Case {
        const char* what;
        DWORD createError;
        bool getFails, setFails, timeoutsFail;
        size_t closes; // handles the failed open closes
    };
    const Case cases[] = {
        {"access denied", ERROR_ACCESS_DENIED, false, false, false, 0},
        {"no such port", ERROR_FILE_NOT_FOUND, false, false, false, 0},
        {"settings unreadable", 0, true, false, false, 1},
        {"settings refused", 0, false, true, false, 1},
        // Reads rely on their time-outs.
        {"time-outs refused", 0, false, false, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        line_.createError = c.createError;
        line_.getStateFails = c.getFails;
        line_.setStateFails = c.setFails;
        line_.timeoutsFail = c.timeoutsFail;
        line_.closed.clear();
        const int setsBefore = line_.setCalls;
        EXPECT_EQ(Open(0, L"COM8"), 0u);
        EXPECT_EQ(line_.closed.size(), c.closes);
        if (c.closes) {
            EXPECT_NE(reinterpret_cast<uintptr_t>(line_.closed[0]), first);
        }
        EXPECT_TRUE(SerialIsOpen(0)); // the earlier port stays open
        if (c.getFails || c.createError) {
            EXPECT_EQ(line_.setCalls, setsBefore);
        }
        EXPECT_EQ(Open(5, L"COM8"), 0u);
        EXPECT_FALSE(SerialIsOpen(5));
    }
}

TEST_F(Seam, ReopeningAPortClosesTheOldHandle) {
    const uintptr_t first = Open(0);
    const uintptr_t second = Open(0);
    ASSERT_NE(first, 0u);
    ASSERT_NE(second, 0u);
    ASSERT_EQ(line_.closed.size(), 1u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(line_.closed[0]), first);
    SerialClose(0);
    ASSERT_EQ(line_.closed.size(), 2u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(line_.closed[1]), second);
    SerialClose(0); // closing again does nothing
    EXPECT_EQ(line_.closed.size(), 2u);
}

TEST_F(Seam, PortsGrowOnDemandAndCloseAllClosesEveryOne) {
    for (uint32_t port : {0u, 15u, 16u, 40u}) {
        ASSERT_NE(Open(port), 0u) << port;
    }
    EXPECT_TRUE(SerialIsOpen(40));
    EXPECT_FALSE(SerialIsOpen(41));
    SerialCloseAll();
    EXPECT_EQ(line_.closed.size(), 4u);
    for (uint32_t port : {0u, 15u, 16u, 40u}) {
        EXPECT_FALSE(SerialIsOpen(port));
    }
}

TEST_F(Seam, AFailingCountReadsAsNothingWaiting) {
    ASSERT_NE(Open(), 0u);
    line_.queue.assign(12, 0xAA);
    EXPECT_EQ(SerialInputCount(0), 12u);
    line_.countFails = true;
    EXPECT_EQ(SerialInputCount(0), 0u);
}

// What the driver answers decides the exchange's result: a count one byte
// over what is waiting or answered short of the whole status, a write that ends by its own
// time-out, and the errors that mean the device is gone (the cable pulled), at the step that first
// sees them; a general failure and the code of a cancel are not. A healthy or gone driver never
// needs a cancel, and the next open clears it.
TEST_F(Seam, EachDriverAnswerGivesItsResult) {
    struct Case {
        const char* what;
        int countExtra;
        Stall write;
        DWORD error;
        bool afterWrite; // the error from the first count after the write
        uint8_t result;
        int writes;
        DWORD statusSize = 0; // the count's answer
    };
    const Case cases[] = {
        {"count one over", 1, Stall::None, 0, false, ExchangeOk, 1},
        // Any answer that holds the input count will do.
        {"count answer of 12 bytes", 0, Stall::None, 0, false, ExchangeOk, 1, 12},
        {"write ends by its time-out", 0, Stall::UntilTimeout, 0, false, ExchangeBadReply, 1},
        {"device removed", 0, Stall::None, ERROR_DEVICE_REMOVED, false, ExchangePortClosed, 0},
        {"not connected, seen by the reader", 0, Stall::None, ERROR_DEVICE_NOT_CONNECTED, true,
         ExchangePortClosed, 1},
        {"no such device", 0, Stall::None, 433, true, ExchangePortClosed, 1},
        {"bad command", 0, Stall::None, ERROR_BAD_COMMAND, false, ExchangePortClosed, 0},
        {"removal pending", 0, Stall::None, ERROR_ACCESS_DENIED, true, ExchangePortClosed, 1},
        {"not ready", 0, Stall::None, ERROR_NOT_READY, false, ExchangePortClosed, 0},
        {"general failure", 0, Stall::None, ERROR_GEN_FAILURE, false, ExchangeBadReply, 1},
        {"a cancel's code", 0, Stall::None, ERROR_OPERATION_ABORTED, true, ExchangeBadReply, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(Open(), 0u);
        line_.countExtra = c.countExtra;
        line_.writeStall = c.write;
        line_.goneError = c.error;
        line_.goneAfterWrite = c.afterWrite;
        line_.statusSize = c.statusSize;
        line_.writesBegun = 0;
        line_.cancels = 0;
        uint8_t result = 0xFF;
        TimedWrite(result);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(line_.writesBegun, c.writes);
        EXPECT_EQ(line_.cancels, 0) << "a call needed a cancel";
        CompleteHeld();
        line_.countExtra = 0;
        line_.statusSize = 0;
        line_.writeStall = Stall::None;
        line_.goneError = 0;
        {
            CriticalSectionLock hold(gQueueLock);
            line_.queue.clear();
        }
        ASSERT_NE(Open(), 0u);
        TimedWrite(result);
        EXPECT_EQ(result, ExchangeOk) << "after a new open";
        SerialClose(0);
        EXPECT_EQ(LiveEvents(), 0) << "a call's event is still open";
    }
}

// ---- The exchange's steps and timing ----------------------------------------

// Each call's event is closed when the call is over, each ended worker's
// thread handle by the next start, so that one at most stays open between
// exchanges, and the rest at exit.
TEST_F(Seam, ExchangesInARowLeaveNoHandleOpen) {
    CloseAllWorkers();
    const int threads = LiveThreads();
    ASSERT_NE(Open(), 0u);
    for (int i = 0; i < 4; ++i) {
        uint8_t result = 0xFF;
        TimedWrite(result);
        EXPECT_EQ(result, ExchangeOk) << i;
        EXPECT_LE(LiveThreads() - threads, 1) << "exchange " << i;
        EXPECT_EQ(LiveEvents(), 0) << "exchange " << i;
    }
    CloseAllWorkers();
    EXPECT_EQ(LiveThreads(), threads);
}

// A closed port: the request is built all the same, RxFrame is left as it
// was and no worker is started.
TEST_F(Seam, APortClosedRebuildsTxFrameAndLeavesRxFrame) {
    std::memset(RxFrame, 0x5A, FrameSize);
    std::memset(TxFrame, 0x33, FrameSize);
    uint8_t result = 0xFF;
    TimedWrite(result);
    EXPECT_EQ(result, ExchangePortClosed);
    EXPECT_EQ(std::vector<uint8_t>(TxFrame, TxFrame + FrameSize), kSlave9);
    EXPECT_EQ(std::vector<uint8_t>(RxFrame, RxFrame + FrameSize), std::vector<uint8_t>(8, 0x5A));
    EXPECT_EQ(line_.threadsAsked, 0);
    EXPECT_EQ(line_.calls, 0);
}

// A call the GUI thread makes itself (the flush's count and read) that the
// driver does not complete: the thread has control back within its few
// milliseconds, with nothing moved, whether the driver honours the cancel or
// keeps the call.
TEST_F(Seam, AStalledCallOnTheGuiThreadGivesItBackInMilliseconds) {
    struct Case {
        const char* what;
        bool read;
        Stall stall;
    };
    const Case cases[] = {
        {"count, cancelled", false, Stall::UntilCancel},
        {"count, cancel ignored", false, Stall::IgnoresCancel},
        {"read, cancelled", true, Stall::UntilCancel},
        {"read, cancel ignored", true, Stall::IgnoresCancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NE(Open(), 0u);
        line_.queue.assign(3, 0x33);
        line_.cancels = 0;
        line_.guiStall = c.stall;
        uint32_t moved = 1;
        uint8_t scratch[3] = {};
        const double ms =
            Took([&] { moved = c.read ? SerialRead(0, scratch, 3) : SerialInputCount(0); });
        std::printf("gui-stall %s %.1f ms\n", c.what, ms);
        EXPECT_EQ(moved, 0u);
        EXPECT_EQ(line_.cancels, 1);
        // 20 ms and the cancel's 10 ms grace; the rest is room for a busy
        // machine.
        EXPECT_LT(ms, 100.0);
        EXPECT_EQ(SerialDriverHolds(), c.stall == Stall::IgnoresCancel);
        line_.guiStall = Stall::None;
        CompleteHeld();
        SerialClose(0);
        EXPECT_FALSE(SerialDriverHolds());
    }
}

// On a silent line: one flush (a count that finds nothing), one write, the
// 12 ms pause, then exactly 30 polls 10 ms apart and no read, on the
// stand-in's clock: the pauses as Windows times them once the program has
// asked for the 1 ms timer (at its default tick each would last 15.6 ms).
TEST_F(Seam, ASilentLineGetsOneFlushThePauseAndThirtyPollsTenMsApart) {
    ASSERT_NE(Open(), 0u);
    line_.answer = false;
    uint8_t result = 0xFF;
    TimedWrite(result);
    ASSERT_EQ(result, ExchangeBadReply);

    const std::vector<LoggedCall> log = Log();
    const DWORD gui = GetCurrentThreadId();
    std::vector<CallKind> guiCalls, workerCalls;
    std::vector<uint64_t> polls;
    uint64_t written = 0;
    for (const LoggedCall& c : log) {
        (c.thread == gui ? guiCalls : workerCalls).push_back(c.kind);
        if (c.kind == CallKind::Write) {
            written = c.at;
        } else if (c.thread != gui) {
            polls.push_back(c.at - written);
        }
    }
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].thread, gui) << "the flush comes first";
    EXPECT_EQ(guiCalls, std::vector<CallKind>{CallKind::Count})
        << "one flush: a count, nothing waiting";
    std::vector<CallKind> expected(31, CallKind::Count);
    expected[0] = CallKind::Write;
    EXPECT_EQ(workerCalls, expected) << "one write, then 30 counts and no read";
    // Write to first poll: the 12 ms pause and the reader's first 10 ms.
    std::vector<uint64_t> schedule;
    for (uint64_t at = 22000; schedule.size() < 30; at += 10000) {
        schedule.push_back(at);
    }
    EXPECT_EQ(polls, schedule) << "the polls' times after the write, in microseconds";
}

// ---- Workers whose port call overruns the limit ------------------------------

// A worker's call that the driver does not complete in time: the exchange
// returns ExchangeTimeout at the 500 ms limit whether the driver honours the
// cancel or ignores it, the GUI thread never waits behind the call, and a
// call completed late into its abandoned memory harms nothing: a write sends
// the request it was given, though TxFrame holds the next one by then.
TEST_F(Seam, OverrunningWorkersEndAtTheLimitAndNeverHoldTheGui) {
    struct Case {
        const char* what;
        Stall count, write, read;
    };
    const Case cases[] = {
        {"stopped-writer", Stall::None, Stall::UntilCancel, Stall::None},
        // The count says the reply is waiting; the read of it never ends.
        {"stuck-reader", Stall::None, Stall::None, Stall::UntilCancel},
        {"writer-ignoring-cancel", Stall::None, Stall::IgnoresCancel, Stall::None},
        {"reader-ignoring-cancel", Stall::None, Stall::None, Stall::IgnoresCancel},
        {"count-ignoring-cancel", Stall::IgnoresCancel, Stall::None, Stall::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool ignored = c.count == Stall::IgnoresCancel || c.write == Stall::IgnoresCancel ||
                             c.read == Stall::IgnoresCancel;
        ResetEvent(line_.released);
        line_.queue.clear();
        line_.writesBegun = 0;
        line_.countStall = c.count;
        line_.writeStall = c.write;
        line_.readStall = c.read;
        ASSERT_NE(Open(), 0u);
        std::memset(RxFrame, 0x5A, FrameSize);
        const Frame before = {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A};
        // The stuck worker's time, from its start to the exchange's result.
        // Load on the machine only adds to it, so a time over the bound is
        // tried again, up to five exchanges in all.
        const uint64_t began = LinkMicroseconds();
        double best = 1e9;
        for (int attempt = 0; attempt < 5 && best > 530.0; ++attempt) {
            const int countsBefore = line_.counts;
            uint8_t result = 0xFF;
            const double ms = TimedWrite(result);
            const double worker =
                static_cast<double>(LinkMicroseconds() - line_.lastThreadAt) / 1000.0;
            std::printf("stop-figure %s %.1f %.1f\n", c.what, worker, ms);
            EXPECT_EQ(result, ExchangeTimeout);
            EXPECT_GE(worker, 500.0);
            best = std::min(best, worker);
            if (c.write != Stall::None) {
                EXPECT_EQ(line_.counts, countsBefore + 1)
                    << "a reader ran after the writer was cut off";
            }
        }
        // The limit, the 10 ms a cancelled call is given, and a little for
        // the worker's own end, which the exchange waits for.
        EXPECT_LE(best, 530.0) << "the limit is 500 ms, cancel honoured or not";
        EXPECT_EQ(LiveThreads(), 0) << "the stopped worker's handle is still open";
        EXPECT_EQ(SerialDriverHolds(), ignored) << "whether the driver still holds our call";
        EXPECT_TRUE(TableAnswers()) << "a lock of ours was left held";

        // The stopped worker touches neither the port nor RxFrame again.
        const int callsAfter = line_.calls;
        Sleep(100);
        EXPECT_EQ(line_.calls, callsAfter);

        // The GUI thread's own calls return at once while the call is held:
        // status and flush, close, the next command's open (the port-busy
        // message while the driver keeps the port) and exit.
        line_.countStall = Stall::None;
        line_.writeStall = Stall::None;
        line_.readStall = Stall::None;
        {
            CriticalSectionLock hold(gQueueLock);
            line_.queue.assign(3, 0x33); // stale bytes for the flush
        }
        EXPECT_LT(Took([] { SerialInputCount(0); }), 50.0) << "status";
        EXPECT_LT(Took([] {
                      uint8_t scratch[201];
                      SerialRead(0, scratch, SerialInputCount(0));
                  }),
                  50.0)
            << "flush";
        EXPECT_LT(Took([] { SerialClose(0); }), 50.0) << "close";
        uintptr_t reopened = 1;
        EXPECT_LT(Took([&] { reopened = Open(); }), 50.0) << "open";
        EXPECT_EQ(reopened != 0, !ignored) << "a port the driver keeps is busy, else it opens";
        EXPECT_LT(Took([] {
                      CloseAllWorkers();
                      SerialCloseAll();
                  }),
                  50.0)
            << "exit";

        // The driver completes the held call 2 s after it began, into the
        // memory it was given: that must still be the call's, and nothing
        // of the program may change.
        if (ignored) {
            Sleep(MillisecondsUntil(began + 2000000));
            const int callsBefore = line_.calls;
            line_.written.clear();
            BuildFrame(TxFrame, 0, DeviceAddress, HostAddress, FrameFixed, CmdRead, 3, 2);
            CompleteHeld();
            Sleep(50);
            EXPECT_EQ(line_.corrupted, 0) << "an abandoned call's memory was reused or freed";
            EXPECT_EQ(line_.calls, callsBefore) << "the stopped worker acted on the late result";
            if (c.write == Stall::IgnoresCancel) {
                EXPECT_EQ(line_.written, kSlave9) << "the late write sent other bytes";
            }
        }
        EXPECT_EQ(line_.onStack, 0) << "a call's memory was on a stack that returns";
        Frame rx;
        std::memcpy(rx.data(), RxFrame, FrameSize);
        EXPECT_EQ(rx, before) << "a stopped worker wrote RxFrame";
        EXPECT_TRUE(FrameGuardsIntact());

        // Once the driver has let go, the port opens and works again.
        ASSERT_NE(Open(), 0u);
        uint8_t result = 0xFF;
        TimedWrite(result);
        EXPECT_EQ(result, ExchangeOk);
        EXPECT_EQ(RxFrame[ByteDirection], 9);
        SerialClose(0);
        EXPECT_EQ(LiveEvents(), 0) << "a call's event is still open";
    }
}

TEST_F(Seam, AWorkerThatCannotStartIsATimeoutNotTheLastReply) {
    ASSERT_NE(Open(), 0u);
    uint8_t result = 0xFF;
    TimedWrite(result);
    ASSERT_EQ(result, ExchangeOk); // RxFrame holds an accepted reply
    struct Case {
        const char* what;
        int failAt, writes;
    };
    const Case cases[] = {{"writer", 1, 0}, {"reader", 2, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        line_.threadsAsked = 0;
        line_.failThreadAt = c.failAt;
        const int writesBefore = line_.writesBegun;
        TimedWrite(result);
        EXPECT_EQ(result, ExchangeTimeout);
        EXPECT_EQ(line_.writesBegun - writesBefore, c.writes);
        line_.failThreadAt = 0;
        line_.queue.clear();
        TimedWrite(result);
        EXPECT_EQ(result, ExchangeOk);
    }
}

TEST_F(Seam, AFloodIsReadInScratchSizedPiecesOnly) {
    ASSERT_NE(Open(), 0u);
    line_.answer = false;
    line_.queue.assign(5000, 0x55);
    uint8_t result = 0xFF;
    TimedWrite(result);
    EXPECT_EQ(result, ExchangeBadReply);
    // The flush takes the flood in reads of at most 201 bytes, and all of it.
    EXPECT_LE(line_.largestRead.load(), 201u);
    EXPECT_GT(line_.largestRead.load(), 0u);
    EXPECT_TRUE(line_.queue.empty());
}

} // namespace
