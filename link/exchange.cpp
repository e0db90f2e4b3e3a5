// One request/reply exchange on port 0: build the request, flush what is
// waiting, send from a writer thread, pause, collect the reply from a
// reader thread, check it. Runs on the GUI thread; the two workers run one
// after the other, so the port and the frames are never used by two threads
// at once.
#include "link/exchange.h"

#include "link/frame.h"
#include "link/serial_port.h"
#include "link/worker.h"

#include <windows.h>

#include <atomic>
#include <cstring>

uint8_t* TxFrame;
uint8_t* RxFrame;

namespace {

constexpr uint32_t DevicePort = 0;
constexpr uint32_t ScratchSize = 201;
constexpr uint32_t WorkerLimit = 500;
constexpr uint32_t WriteToReadPause = 12;
constexpr int Polls = 30;
constexpr uint32_t PollPause = 10;
// The flush reads at most this many scratch buffers, so that a line that
// never stops sending cannot hold the GUI thread; what is left waits for the
// next flush.
constexpr int FlushRounds = 64;

uint32_t gWriterId;
uint32_t gReaderId;

// Each worker is started with a number of its own and may touch the port and
// RxFrame only while that number is the live one. A worker that overran its
// limit is cut off by changing the live number: whatever it does afterwards,
// it makes no further port call and never publishes into RxFrame.
std::atomic<uint32_t> gLiveWorker{0};
std::atomic<uint32_t> gNextWorker{0};
// The number of the worker inside a gated section, 0 when none is. Only a
// worker found in there, past its grace, can be stuck in a port call, and
// only there does it hold none of our locks but for a moment.
std::atomic<uint32_t> gInPortCall{0};

bool BeginPortCall(uint32_t self) {
    for (;;) {
        if (gLiveWorker.load() != self)
            return false;
        uint32_t none = 0;
        if (gInPortCall.compare_exchange_strong(none, self))
            break;
        // A worker cut off a moment ago is just leaving; it will not return.
        SwitchToThread();
    }
    if (gLiveWorker.load() == self)
        return true;
    gInPortCall.store(0);
    return false;
}

void EndPortCall() {
    gInPortCall.store(0);
}

uint32_t Self(LPVOID parameter) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter));
}

DWORD WINAPI WriterThread(LPVOID parameter) {
    const uint32_t self = Self(parameter);
    if (BeginPortCall(self)) {
        if (SerialIsOpen(DevicePort))
            SerialWrite(DevicePort, TxFrame, FrameSize);
        EndPortCall();
    }
    return 0;
}

DWORD WINAPI ReaderThread(LPVOID parameter) {
    const uint32_t self = Self(parameter);
    uint8_t scratch[ScratchSize] = {};
    uint32_t waiting = 0;
    for (int poll = 0; poll < Polls; ++poll) {
        Pause(PollPause);
        if (!BeginPortCall(self))
            return 0;
        waiting = SerialInputCount(DevicePort);
        EndPortCall();
        if (waiting >= FrameSize)
            break;
    }
    if (waiting > ScratchSize)
        waiting = ScratchSize; // never more than the scratch buffer at once
    if (!BeginPortCall(self))
        return 0;
    // Only bytes that are waiting are read, so this does not block unless the
    // queue was purged under it, and then the worker is being cut off.
    std::memset(RxFrame, 0, FrameSize);
    uint32_t got = SerialRead(DevicePort, scratch, waiting);
    std::memcpy(RxFrame, scratch, got < FrameSize ? got : FrameSize);
    EndPortCall();
    return 0;
}

// Starts a worker as the live one.
uint32_t StartLive(LPTHREAD_START_ROUTINE procedure) {
    uint32_t number = gNextWorker.fetch_add(1) + 1;
    if (number == 0)
        number = gNextWorker.fetch_add(1) + 1; // 0 stands for none
    gLiveWorker.store(number);
    return StartWorker(procedure, reinterpret_cast<void*>(static_cast<uintptr_t>(number)));
}

bool StillInPortCall() {
    return gInPortCall.load() != 0;
}

// Stops a worker that overran its limit: cut it off from the port and the
// frames, abort the port I/O it may be blocked in, and let it end by itself;
// it is terminated only if it is still stuck inside its port call.
void StopOverrunning(uint32_t id) {
    gLiveWorker.store(0);
    SerialAbort(DevicePort);
    StopWorker(id, StillInPortCall);
    // A worker terminated inside its port call never left it; one that was
    // spared is outside and can no longer enter.
    gInPortCall.store(0);
}

void Flush() {
    uint8_t scratch[ScratchSize] = {};
    for (int round = 0; round < FlushRounds; ++round) {
        uint32_t waiting = SerialInputCount(DevicePort);
        if (waiting == 0)
            break;
        if (SerialRead(DevicePort, scratch, waiting < ScratchSize ? waiting : ScratchSize) == 0)
            break;
    }
}

} // namespace

uint8_t ExchangeFrame(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4, uint32_t b5,
                      uint32_t b6) {
    BuildFrame(TxFrame, b0, b1, b2, b3, b4, b5, b6);
    if (!SerialIsOpen(DevicePort))
        return ExchangePortClosed;

    Flush();

    gWriterId = StartLive(WriterThread);
    if (!AwaitWorker(gWriterId, WorkerLimit)) {
        StopOverrunning(gWriterId);
        return ExchangeTimeout;
    }
    Pause(WriteToReadPause);

    gReaderId = StartLive(ReaderThread);
    if (!AwaitWorker(gReaderId, WorkerLimit)) {
        StopOverrunning(gReaderId);
        return ExchangeTimeout;
    }
    return AcceptReply(RxFrame) ? ExchangeOk : ExchangeBadReply;
}
