// One request/reply exchange on port 0: build the request, flush what is
// waiting, send from a writer thread, pause, collect the reply from a
// reader thread, check it. Runs on the GUI thread; the workers run one after
// the other, each with 500 ms for its job. Every port call a worker makes
// ends by that moment, so an overrunning worker is never ended from outside:
// it is cut off from the port and RxFrame and left to end by itself.
#include "link/exchange.h"

#include "link/clock.h"
#include "link/frame.h"
#include "link/port_gate.h"
#include "link/serial_port.h"
#include "link/worker.h"

#include <windows.h>

#include <cstring>

uint8_t* TxFrame;
uint8_t* RxFrame;

namespace {

constexpr uint32_t DevicePort = 0;
constexpr uint32_t ScratchSize = 201;
constexpr uint64_t WorkerLimit = 500; // ms
constexpr uint32_t WriteToReadPause = 12;
constexpr int Polls = 30;
constexpr uint32_t PollPause = 10;
// The flush reads at most this many scratch buffers, so that a line that
// never stops sending cannot hold the GUI thread; what is left waits for the
// next flush.
constexpr int FlushRounds = 64;

uint32_t gWriterId;
uint32_t gReaderId;

// Each worker is admitted under a number of its own, with the moment by
// which its job must be done; a worker that did not finish by then is
// revoked: it starts no further port call and never writes RxFrame.
PortGate gGate;
uint32_t gLastNumber;

uint32_t Self(LPVOID parameter) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter));
}

DWORD WINAPI WriterThread(LPVOID parameter) {
    const uint32_t self = Self(parameter);
    uint64_t until = 0;
    if (!gGate.Until(self, until)) {
        return 0;
    }
    // A failed or short write is not looked at: it shows up as a missing
    // reply. One cut off at the limit is an overrun.
    if (SerialIsOpen(DevicePort)) {
        SerialWrite(DevicePort, TxFrame, FrameSize, until);
    }
    if (gGate.Enter(self)) {
        gGate.Finish();
    }
    return 0;
}

DWORD WINAPI ReaderThread(LPVOID parameter) {
    const uint32_t self = Self(parameter);
    uint64_t until = 0;
    if (!gGate.Until(self, until)) {
        return 0;
    }
    uint8_t scratch[ScratchSize] = {};
    uint32_t waiting = 0;
    for (int poll = 0; poll < Polls; ++poll) {
        Pause(PollPause);
        if (!gGate.InTime(self)) {
            return 0;
        }
        waiting = SerialInputCount(DevicePort, until);
        if (waiting >= FrameSize) {
            break;
        }
        if (!gGate.InTime(self)) {
            return 0; // cut off during the count: no pause before ending
        }
    }
    if (waiting > ScratchSize) {
        waiting = ScratchSize; // never more than the scratch buffer at once
    }
    // Only bytes that are waiting are read, so the read ends at once unless
    // the driver is stuck; then it is cut off at the limit.
    uint32_t got = 0;
    if (waiting > 0 && gGate.InTime(self)) {
        got = SerialRead(DevicePort, scratch, waiting, until);
    }
    if (gGate.Enter(self)) {
        std::memset(RxFrame, 0, FrameSize);
        std::memcpy(RxFrame, scratch, got < FrameSize ? got : FrameSize);
        gGate.Finish();
    }
    return 0;
}

// Runs one worker to the end of its job or to its limit: true when it
// finished in time. One that did not (or could not be started) is revoked
// and its entry removed; it ends by itself once its port call is cut off.
bool RunWorker(LPTHREAD_START_ROUTINE procedure, uint32_t& id) {
    gLastNumber = gLastNumber % 0x3FFFFFFF + 1; // 1 to 2^30 - 1; 0 stands for none
    const uint64_t until = LinkMicroseconds() + WorkerLimit * 1000;
    gGate.Admit(gLastNumber, until);
    id = StartWorker(procedure, reinterpret_cast<void*>(static_cast<uintptr_t>(gLastNumber)));
    const bool done = id != 0 && AwaitWorker(id, MillisecondsUntil(until)) && gGate.Done();
    gGate.Revoke();
    if (id != 0 && !done) {
        StopWorker(id);
    }
    return done;
}

void Flush() {
    uint8_t scratch[ScratchSize] = {};
    for (int round = 0; round < FlushRounds; ++round) {
        uint32_t waiting = SerialInputCount(DevicePort);
        if (waiting == 0) {
            break;
        }
        if (SerialRead(DevicePort, scratch, waiting < ScratchSize ? waiting : ScratchSize) == 0) {
            break;
        }
    }
}

} // namespace

uint8_t ExchangeFrame(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4, uint32_t b5,
                      uint32_t b6) {
    BuildFrame(TxFrame, b0, b1, b2, b3, b4, b5, b6);
    if (!SerialIsOpen(DevicePort)) {
        return ExchangePortClosed;
    }

    FineTimer(); // before the first limit is timed
    Flush();
    // A device that its driver reports gone (the cable pulled) ends the
    // exchange at the step that found it, as a closed port does: no try
    // after it can reach the device.
    if (SerialIsGone(DevicePort)) {
        return ExchangePortClosed;
    }

    // A worker that could not be started is a timeout, never a success read
    // from the previous exchange's reply.
    const bool written = RunWorker(WriterThread, gWriterId);
    if (SerialIsGone(DevicePort)) {
        return ExchangePortClosed;
    }
    if (!written) {
        return ExchangeTimeout;
    }
    Pause(WriteToReadPause);
    const bool read = RunWorker(ReaderThread, gReaderId);
    if (SerialIsGone(DevicePort)) {
        return ExchangePortClosed;
    }
    if (!read) {
        return ExchangeTimeout;
    }
    return AcceptReply(RxFrame) ? ExchangeOk : ExchangeBadReply;
}
