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

// A reader that overran its limit is abandoned: it must no longer publish
// into RxFrame. The flag is set and tested under this lock.
CRITICAL_SECTION gPublishLock;
bool gPublishReady;
volatile bool gReaderAbandoned;

bool ReaderAbandoned() {
    EnterCriticalSection(&gPublishLock);
    bool abandoned = gReaderAbandoned;
    LeaveCriticalSection(&gPublishLock);
    return abandoned;
}

DWORD WINAPI WriterThread(LPVOID) {
    if (SerialIsOpen(DevicePort))
        SerialWrite(DevicePort, TxFrame, FrameSize);
    return 0;
}

DWORD WINAPI ReaderThread(LPVOID) {
    uint8_t scratch[ScratchSize] = {};
    uint32_t waiting = 0;
    for (int poll = 0; poll < Polls; ++poll) {
        Pause(PollPause);
        if (ReaderAbandoned())
            return 0;
        waiting = SerialInputCount(DevicePort);
        if (waiting >= FrameSize)
            break;
    }
    if (waiting > ScratchSize)
        waiting = ScratchSize; // never more than the scratch buffer at once
    EnterCriticalSection(&gPublishLock);
    if (!gReaderAbandoned) {
        // Only bytes that are waiting are read, so this never blocks.
        std::memset(RxFrame, 0, FrameSize);
        uint32_t got = SerialRead(DevicePort, scratch, waiting);
        std::memcpy(RxFrame, scratch, got < FrameSize ? got : FrameSize);
    }
    LeaveCriticalSection(&gPublishLock);
    return 0;
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

// Stops a worker that overran its limit: abort its port I/O first, so that
// it can end by itself.
void StopOverrunning(uint32_t id) {
    SerialAbort(DevicePort);
    StopWorker(id);
}

} // namespace

uint8_t ExchangeFrame(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4,
                      uint32_t b5, uint32_t b6) {
    if (!gPublishReady) {
        InitializeCriticalSection(&gPublishLock);
        gPublishReady = true;
    }
    BuildFrame(TxFrame, b0, b1, b2, b3, b4, b5, b6);
    if (!SerialIsOpen(DevicePort))
        return ExchangePortClosed;

    Flush();

    gWriterId = StartWorker(WriterThread);
    if (!AwaitWorker(gWriterId, WorkerLimit)) {
        StopOverrunning(gWriterId);
        return ExchangeTimeout;
    }
    Pause(WriteToReadPause);

    EnterCriticalSection(&gPublishLock);
    gReaderAbandoned = false;
    LeaveCriticalSection(&gPublishLock);
    gReaderId = StartWorker(ReaderThread);
    if (!AwaitWorker(gReaderId, WorkerLimit)) {
        EnterCriticalSection(&gPublishLock);
        gReaderAbandoned = true;
        LeaveCriticalSection(&gPublishLock);
        StopOverrunning(gReaderId);
        return ExchangeTimeout;
    }
    return AcceptReply(RxFrame) ? ExchangeOk : ExchangeBadReply;
}
