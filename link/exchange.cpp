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

// How long a stopped worker is given to end once its I/O is cancelled, and
// once the port is aborted where cancelling could not reach its call. Short,
// so that the exchange still returns close to its 500 ms limit.
constexpr uint32_t CancelGrace = 30;
constexpr uint32_t AbortGrace = 10;

uint32_t gWriterId;
uint32_t gReaderId;

// Each worker is admitted under a number of its own and passes the gate for
// every port call and for its copy into RxFrame. A worker that overran its
// limit is revoked: whatever it does afterwards, it makes no further port
// call and never publishes into RxFrame.
PortGate gGate;
uint32_t gLastNumber;

uint32_t Self(LPVOID parameter) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(parameter));
}

DWORD WINAPI WriterThread(LPVOID parameter) {
    const GateKey key{&gGate, Self(parameter)};
    if (SerialIsOpen(DevicePort)) {
        SerialWrite(DevicePort, TxFrame, FrameSize, key);
    }
    return 0;
}

DWORD WINAPI ReaderThread(LPVOID parameter) {
    const GateKey key{&gGate, Self(parameter)};
    uint8_t scratch[ScratchSize] = {};
    uint32_t waiting = 0;
    for (int poll = 0; poll < Polls; ++poll) {
        Pause(PollPause);
        waiting = SerialInputCount(DevicePort, key);
        if (waiting >= FrameSize) {
            break;
        }
    }
    if (waiting > ScratchSize) {
        waiting = ScratchSize; // never more than the scratch buffer at once
    }
    // Only bytes that are waiting are read, so this does not block unless the
    // queue was purged under it, and then the worker is being cut off.
    uint32_t got = SerialRead(DevicePort, scratch, waiting, key);
    if (key.Enter()) {
        std::memset(RxFrame, 0, FrameSize);
        std::memcpy(RxFrame, scratch, got < FrameSize ? got : FrameSize);
        key.Leave();
    }
    return 0;
}

// Starts a worker as the admitted one; 0 when it could not be started.
uint32_t StartAdmitted(LPTHREAD_START_ROUTINE procedure) {
    gLastNumber = gLastNumber % 0x3FFFFFFF + 1; // 1 to 2^30 - 1; 0 stands for none
    gGate.Admit(gLastNumber);
    uint32_t id =
        StartWorker(procedure, reinterpret_cast<void*>(static_cast<uintptr_t>(gLastNumber)));
    if (id == 0) {
        gGate.Revoke();
    }
    return id;
}

// Stops a worker that overran its limit. It is ended by force only while it
// is held inside the gate, in a port call, where it holds none of our locks;
// anywhere else it is left to end by itself, shut out of the port and the
// frames.
void StopOverrunning(uint32_t id) {
    gGate.Revoke();
    WorkerCancel cancel = CancelWorkerIo(id, CancelGrace);
    if (cancel == WorkerCancel::Refused) {
        // Wine cannot cancel a serial call, but an abort of the port ends it.
        // On Windows a refused cancel means no call of the worker is pending,
        // so the abort does not wait behind one.
        SerialAbort(DevicePort);
        if (AwaitWorker(id, AbortGrace)) {
            cancel = WorkerCancel::Ended;
        }
    }
    if (cancel != WorkerCancel::Ended && gGate.Seize()) {
        if (StopWorker(id)) {
            gGate.Forget();
        } else {
            gGate.Unseize(); // it leaves when its call ends; the next waits
        }
        return;
    }
    ForgetWorker(id);
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

    Flush();

    // A worker that could not be started is a timeout, never a success read
    // from the previous exchange's reply.
    gWriterId = StartAdmitted(WriterThread);
    if (gWriterId == 0) {
        return ExchangeTimeout;
    }
    if (!AwaitWorker(gWriterId, WorkerLimit)) {
        StopOverrunning(gWriterId);
        return ExchangeTimeout;
    }
    Pause(WriteToReadPause);

    gReaderId = StartAdmitted(ReaderThread);
    if (gReaderId == 0) {
        return ExchangeTimeout;
    }
    if (!AwaitWorker(gReaderId, WorkerLimit)) {
        StopOverrunning(gReaderId);
        return ExchangeTimeout;
    }
    return AcceptReply(RxFrame) ? ExchangeOk : ExchangeBadReply;
}
