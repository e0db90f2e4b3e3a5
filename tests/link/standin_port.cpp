// The stand-in driver's calls (tests/link/standin_port.h).
#include "tests/link/standin_port.h"

#include <cstring>

#include "common/holders.h"
#include "link/clock.h"
#include "link/serial_port.h"

namespace standin {

FakeLine* gLine;
CRITICAL_SECTION gQueueLock;

namespace {

// Windows' timer, for the whole process as on Windows: its default tick, or
// the finest resolution the program has asked for, never coarser after.
constexpr uint64_t DefaultTick = 15625; // us
std::atomic<uint64_t> gTick{DefaultTick};
std::atomic<uint64_t> gPaused{0};

// The handles the stand-ins gave, under gQueueLock; process-wide, since a
// worker's handle may be closed in a later test.
std::vector<HANDLE> gThreads, gEvents;

bool Forget(std::vector<HANDLE>& live, HANDLE h) {
    for (auto it = live.begin(); it != live.end(); ++it) {
        if (*it == h) {
            live.erase(it);
            return true;
        }
    }
    return false;
}

} // namespace

uint64_t PausedMicroseconds() {
    return gPaused.load();
}

int LiveThreads() {
    CriticalSectionLock hold(gQueueLock);
    return static_cast<int>(gThreads.size());
}

int LiveEvents() {
    CriticalSectionLock hold(gQueueLock);
    return static_cast<int>(gEvents.size());
}

void LogCall(CallKind kind) {
    ++gLine->calls;
    if (gLine->onGuiCall && kind != CallKind::Write && GetCurrentThreadId() == gLine->guiThread) {
        gLine->onGuiCall();
    }
    CriticalSectionLock hold(gQueueLock);
    gLine->log.push_back({kind, GetCurrentThreadId(), gPaused.load()});
}

// True when p lies in the calling thread's stack: the one reservation that
// holds this function's own local.
bool OnCallersStack(const void* p) {
    int local = 0;
    MEMORY_BASIC_INFORMATION mine = {}, theirs = {};
    return VirtualQuery(&local, &mine, sizeof(mine)) == sizeof(mine) &&
           VirtualQuery(p, &theirs, sizeof(theirs)) == sizeof(theirs) &&
           mine.AllocationBase == theirs.AllocationBase;
}

// A call that completes at once: given an OVERLAPPED, its status block and
// event too.
BOOL Complete(OVERLAPPED* ov, DWORD moved, LPDWORD out) {
    if (ov) {
        ov->Internal = 0;
        ov->InternalHigh = moved;
        SetEvent(ov->hEvent);
    }
    if (out) {
        *out = moved;
    }
    return TRUE;
}

// A call that the driver does not complete now: it is pending and the
// caller goes on. Only a call given an OVERLAPPED can be (the port opens
// for overlapped I/O only: the open's own test sees to that).
BOOL Hold(HANDLE h, CallKind kind, Stall stall, OVERLAPPED* ov, void* buffer, DWORD count) {
    if (!ov) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (OnCallersStack(buffer) || OnCallersStack(ov)) {
        ++gLine->onStack;
    }
    auto* bytes = static_cast<uint8_t*>(buffer);
    if (kind != CallKind::Write) {
        std::memset(bytes, HeldGuard, count); // the driver's until it completes
    }
    ov->Internal = StatusPending;
    ov->InternalHigh = 0;
    ResetEvent(ov->hEvent);
    CriticalSectionLock hold(gQueueLock);
    gLine->held.push_back({h, ov, ov->hEvent, bytes, count, kind, stall, {bytes, bytes + count}});
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

void EndHeld(const HeldCall& c, ULONG_PTR status, DWORD moved) {
    c.overlapped->InternalHigh = moved;
    c.overlapped->Internal = status;
    SetEvent(c.event);
}

// Completes every held call as the driver would, late: a read receives a
// well-formed reply, a count a status. Each call's memory must still be as
// the call left it (the guard in a read's buffer, the bytes of a write, the
// pending status block); memory that was freed, reused or moved is
// counted, and then nothing is written into it.
void CompleteHeld() {
    for (HANDLE t : gLine->timers) {
        WaitForSingleObject(t, INFINITE); // each ends at its write's time-out
        CloseHandle(t);
    }
    gLine->timers.clear();
    std::vector<HeldCall> calls;
    {
        CriticalSectionLock hold(gQueueLock);
        calls.swap(gLine->held);
    }
    for (const HeldCall& c : calls) {
        MEMORY_BASIC_INFORMATION mb = {};
        const bool mapped = VirtualQuery(c.buffer, &mb, sizeof(mb)) == sizeof(mb) &&
                            mb.State == MEM_COMMIT && (mb.Protect & PAGE_READWRITE) &&
                            VirtualQuery(c.overlapped, &mb, sizeof(mb)) == sizeof(mb) &&
                            mb.State == MEM_COMMIT && (mb.Protect & PAGE_READWRITE);
        if (!mapped || std::memcmp(c.buffer, c.seen.data(), c.count) != 0 ||
            c.overlapped->hEvent != c.event || c.overlapped->Internal != StatusPending) {
            ++gLine->corrupted;
            continue;
        }
        DWORD moved = c.count;
        if (c.kind == CallKind::Read) {
            uint8_t reply[FrameSize];
            BuildFrame(reply, 0, HostAddress, DeviceAddress, FrameFixed, CmdReply, 9, ModeSlave);
            moved = c.count < FrameSize ? c.count : FrameSize;
            std::memcpy(c.buffer, reply, moved);
        } else if (c.kind == CallKind::Count) {
            SerialStatus status = {};
            status.bytesInQueue = FrameSize;
            std::memcpy(c.buffer, &status, sizeof(status));
        } else {
            // An overlapped write's bytes are read from the buffer it was
            // given when the driver sends them, which is now.
            CriticalSectionLock hold(gQueueLock);
            gLine->written.assign(c.buffer, c.buffer + c.count);
        }
        EndHeld(c, 0, moved);
    }
    // A kept open, setting or close goes on.
    SetEvent(gLine->released);
    Sleep(20);
    for (int i = 0; i < 200 && gLine->kernelKept > 0; ++i) {
        Sleep(5);
    }
}

// Ends the held calls that honour a cancel: those of `h` given `ov`, or all
// of `h` (its close). True when a call of `h` was found.
bool CancelHeld(HANDLE h, const OVERLAPPED* ov) {
    CriticalSectionLock hold(gQueueLock);
    bool found = false;
    auto& held = gLine->held;
    for (auto it = held.begin(); it != held.end();) {
        if (it->handle != h || (ov && it->overlapped != ov)) {
            ++it;
            continue;
        }
        found = true;
        if (it->stall == Stall::UntilCancel || it->stall == Stall::UntilTimeout) {
            EndHeld(*it, StatusCancelled, 0);
            it = held.erase(it);
        } else {
            ++it; // the driver ignores it
        }
    }
    return found;
}

// A kernel32 call that the driver keeps until the test lets it go.
void KeepIf(bool block) {
    if (block) {
        ++gLine->kernelKept;
        WaitForSingleObject(gLine->released, INFINITE);
        --gLine->kernelKept;
    }
}

HANDLE WINAPI FakeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                             DWORD disposition, DWORD flags, HANDLE) {
    ++gLine->opens;
    gLine->path = path;
    gLine->access = access;
    gLine->share = share;
    gLine->disposition = disposition;
    gLine->flags = flags;
    KeepIf(gLine->blockOpen);
    bool busy = false;
    {
        // A call the driver still holds keeps the port open, even after its
        // handle was closed: Windows refuses a second open of a port.
        CriticalSectionLock hold(gQueueLock);
        busy = !gLine->held.empty();
    }
    if (gLine->createError || busy) {
        SetLastError(busy ? ERROR_ACCESS_DENIED : gLine->createError);
        return INVALID_HANDLE_VALUE;
    }
    return reinterpret_cast<HANDLE>(gLine->nextHandle++);
}

BOOL WINAPI FakeSetupComm(HANDLE, DWORD in, DWORD out) {
    ++gLine->setupCalls;
    gLine->setupIn = in;
    gLine->setupOut = out;
    return TRUE;
}

BOOL WINAPI FakeGetCommState(HANDLE, LPDCB dcb) {
    if (gLine->getStateFails) {
        return FALSE;
    }
    *dcb = gLine->driver;
    return TRUE;
}

// Refuses what Windows refuses: equal flow-control characters, and limits
// beyond the input queue.
BOOL WINAPI FakeSetCommState(HANDLE, LPDCB dcb) {
    ++gLine->setCalls;
    gLine->set = *dcb;
    KeepIf(gLine->blockSetState);
    const DWORD queue = gLine->setupIn > 0 ? gLine->setupIn : 4096;
    if (gLine->setStateFails || dcb->XonChar == dcb->XoffChar || dcb->XonLim > queue ||
        dcb->XoffLim > queue) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FakeSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts) {
    ++gLine->timeoutCalls;
    gLine->timeouts = *timeouts;
    if (gLine->timeoutsFail) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

// A call on a device that is gone fails at once.
bool Gone(CallKind kind) {
    if (gLine->goneError == 0 ||
        (gLine->goneAfterWrite && (kind == CallKind::Write || gLine->writesBegun == 0))) {
        return false;
    }
    SetLastError(gLine->goneError);
    return true;
}

// A held write that the driver ends at its time-out, with nothing sent.
struct TimedWrite {
    OVERLAPPED* overlapped;
    DWORD ms;
};

DWORD WINAPI EndAtTimeout(LPVOID parameter) {
    const TimedWrite write = *static_cast<TimedWrite*>(parameter);
    delete static_cast<TimedWrite*>(parameter);
    Sleep(write.ms);
    CriticalSectionLock hold(gQueueLock);
    auto& held = gLine->held;
    for (auto it = held.begin(); it != held.end(); ++it) {
        if (it->overlapped == write.overlapped) {
            EndHeld(*it, StatusTimeout, 0);
            held.erase(it);
            break;
        }
    }
    return 0;
}

// The driver's status request, the one ClearCommError makes.
BOOL WINAPI FakeDeviceIoControl(HANDLE h, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outSize,
                                LPDWORD returned, LPOVERLAPPED ov) {
    LogCall(CallKind::Count);
    ++gLine->counts;
    if (code != SerialGetCommStatus || outSize < sizeof(SerialStatus)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (gLine->countFails) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    if (Gone(CallKind::Count)) {
        return FALSE;
    }
    if (gLine->guiStall != Stall::None && GetCurrentThreadId() == gLine->guiThread) {
        return Hold(h, CallKind::Count, gLine->guiStall, ov, out, outSize);
    }
    if (gLine->countStall != Stall::None && gLine->writesBegun > 0) {
        return Hold(h, CallKind::Count, gLine->countStall, ov, out, outSize);
    }
    SerialStatus status = {};
    status.errors = CE_FRAME; // line errors are reported here and must be dropped
    {
        CriticalSectionLock hold(gQueueLock);
        status.bytesInQueue = static_cast<ULONG>(gLine->queue.size());
        if (!gLine->queue.empty()) {
            status.bytesInQueue += static_cast<ULONG>(gLine->countExtra);
        }
    }
    std::memcpy(out, &status, sizeof(status));
    return Complete(ov, gLine->statusSize ? gLine->statusSize : sizeof(status), returned);
}

BOOL WINAPI FakeReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED ov) {
    LogCall(CallKind::Read);
    if (Gone(CallKind::Read)) {
        return FALSE;
    }
    if (gLine->guiStall != Stall::None && GetCurrentThreadId() == gLine->guiThread) {
        return Hold(h, CallKind::Read, gLine->guiStall, ov, buffer, count);
    }
    if (gLine->readStall != Stall::None) {
        return Hold(h, CallKind::Read, gLine->readStall, ov, buffer, count);
    }
    if (count > gLine->largestRead) {
        gLine->largestRead = count;
    }
    // Only these time-outs make a read return at once with what is waiting;
    // with any others it waits for every byte asked for.
    const COMMTIMEOUTS& t = gLine->timeouts;
    const bool atOnce = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
                        t.ReadTotalTimeoutConstant == 0;
    bool fewer = false;
    {
        CriticalSectionLock hold(gQueueLock);
        fewer = gLine->queue.size() < count;
    }
    if (!atOnce && fewer) {
        return Hold(h, CallKind::Read, Stall::UntilCancel, ov, buffer, count);
    }
    CriticalSectionLock hold(gQueueLock);
    DWORD n = count < gLine->queue.size() ? count : static_cast<DWORD>(gLine->queue.size());
    std::memcpy(buffer, gLine->queue.data(), n);
    gLine->queue.erase(gLine->queue.begin(), gLine->queue.begin() + n);
    return Complete(ov, n, got);
}

BOOL WINAPI FakeWriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD put, LPOVERLAPPED ov) {
    LogCall(CallKind::Write);
    ++gLine->writesBegun;
    if (Gone(CallKind::Write)) {
        return FALSE;
    }
    if (gLine->writeStall == Stall::UntilTimeout) {
        const DWORD ms = gLine->timeouts.WriteTotalTimeoutMultiplier * count +
                         gLine->timeouts.WriteTotalTimeoutConstant;
        const BOOL started = Hold(h, CallKind::Write, ms ? Stall::UntilTimeout : Stall::UntilCancel,
                                  ov, const_cast<void*>(buffer), count);
        if (ms && ov) {
            HANDLE timer =
                CreateThread(nullptr, 0, EndAtTimeout, new TimedWrite{ov, ms}, 0, nullptr);
            if (timer) {
                gLine->timers.push_back(timer);
            }
        }
        SetLastError(ERROR_IO_PENDING);
        return started;
    }
    if (gLine->writeStall != Stall::None) {
        return Hold(h, CallKind::Write, gLine->writeStall, ov, const_cast<void*>(buffer), count);
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    {
        CriticalSectionLock hold(gQueueLock);
        gLine->written.assign(bytes, bytes + count);
        if (gLine->answer && count == FrameSize && gLine->writesBegun > gLine->silentFor) {
            Frame reply;
            BuildFrame(reply.data(), 0, HostAddress, DeviceAddress, FrameFixed, CmdReply,
                       bytes[ByteDirection], bytes[ByteMode]);
            if (gLine->reply) {
                reply = *gLine->reply;
            }
            gLine->queue.insert(gLine->queue.end(), reply.begin(), reply.end());
        }
    }
    return Complete(ov, count, put);
}

BOOL WINAPI FakeCancelIoEx(HANDLE h, LPOVERLAPPED ov) {
    if (CancelHeld(h, ov)) {
        ++gLine->cancels;
        return TRUE; // requested; whether the driver honours it is its own affair
    }
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
}

HANDLE WINAPI FakeCreateEvent(LPSECURITY_ATTRIBUTES security, BOOL manual, BOOL initial,
                              LPCWSTR name) {
    HANDLE event = CreateEventW(security, manual, initial, name);
    if (event) {
        CriticalSectionLock hold(gQueueLock);
        gEvents.push_back(event);
    }
    return event;
}

// A call's event or a port's handle, as the link closes both.
BOOL WINAPI FakeCloseHandle(HANDLE h) {
    bool event = false;
    {
        CriticalSectionLock hold(gQueueLock);
        event = Forget(gEvents, h);
    }
    if (event) {
        return CloseHandle(h);
    }
    KeepIf(gLine->blockClose);
    gLine->closed.push_back(h);
    CancelHeld(h, nullptr); // the close cancels what is pending on the handle
    return TRUE;
}

HANDLE WINAPI FakeCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                               LPTHREAD_START_ROUTINE procedure, LPVOID parameter, DWORD flags,
                               LPDWORD id) {
    gLine->lastThreadAt = LinkMicroseconds();
    if (++gLine->threadsAsked == gLine->failThreadAt) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE thread = CreateThread(security, stack, procedure, parameter, flags, id);
    if (thread) {
        CriticalSectionLock hold(gQueueLock);
        gThreads.push_back(thread);
    }
    return thread;
}

BOOL WINAPI FakeCloseThread(HANDLE h) {
    {
        CriticalSectionLock hold(gQueueLock);
        Forget(gThreads, h);
    }
    return CloseHandle(h);
}

// Windows' Sleep: to the end of the tick in which the time is up, on the
// stand-in's clock; the real thread only gives up the rest of its slice.
void WINAPI FakeSleep(DWORD milliseconds) {
    const uint64_t tick = gTick.load();
    gPaused += (milliseconds * uint64_t{1000} + tick - 1) / tick * tick;
    Sleep(0);
}

// A finer resolution holds from now on; none coarser than the tick.
MMRESULT WINAPI FakeTimeBeginPeriod(UINT milliseconds) {
    if (milliseconds == 0) {
        return TIMERR_NOCANDO;
    }
    const uint64_t asked = milliseconds * uint64_t{1000};
    if (asked < gTick.load()) {
        gTick = asked;
    }
    return TIMERR_NOERROR;
}

const SerialSystemCalls Fakes = {
    FakeCreateFile,      FakeSetupComm,       FakeGetCommState, FakeSetCommState,
    FakeSetCommTimeouts, FakeDeviceIoControl, FakeReadFile,     FakeWriteFile,
    FakeCancelIoEx,      FakeCreateEvent,     FakeCloseHandle,
};
const WorkerSystemCalls WorkerFakes = {FakeCreateThread, FakeCloseThread, FakeSleep,
                                       FakeTimeBeginPeriod};

namespace {
SerialSystemCalls gSavedSerial;
WorkerSystemCalls gSavedWorker;
} // namespace

bool StandInBegin(FakeLine& line) {
    static bool lockMade = false;
    if (!lockMade) {
        InitializeCriticalSection(&gQueueLock);
        lockMade = true;
    }
    gSavedSerial = SerialSystem;
    gSavedWorker = WorkerSystem;
    line.driver = DriverSettings();
    line.released = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    line.guiThread = GetCurrentThreadId();
    gLine = &line;
    SerialSystem = Fakes;
    WorkerSystem = WorkerFakes;
    return line.released != nullptr;
}

void StandInEnd(FakeLine& line) {
    CompleteHeld(); // let every held call and stalled stand-in end
    Sleep(50);
    SerialCloseAll();
    SerialSystem = gSavedSerial;
    WorkerSystem = gSavedWorker;
    CloseHandle(line.released);
}

DWORD WINAPI AskIsOpen(LPVOID) {
    return SerialIsOpen(0) ? 1 : 0;
}

// True when the port table answers another thread within a second: a worker
// left holding the table's lock would hold it for ever.
bool TableAnswers() {
    HANDLE t = CreateThread(nullptr, 0, AskIsOpen, nullptr, 0, nullptr);
    if (!t) {
        return false;
    }
    bool answered = WaitForSingleObject(t, 1000) == WAIT_OBJECT_0;
    CloseHandle(t);
    return answered;
}

// Milliseconds that `step` took on the calling thread.
double Took(const std::function<void()>& step) {
    const uint64_t start = LinkMicroseconds();
    step();
    return static_cast<double>(LinkMicroseconds() - start) / 1000.0;
}

// A driver's settings as another program may leave them: every field set to
// a value no open would choose, flow control of every kind and null
// stripping on.
DCB DriverSettings() {
    DCB d = {};
    d.DCBlength = sizeof(d);
    d.BaudRate = 1200;
    d.fBinary = 0;
    d.fParity = 0;
    d.fOutxCtsFlow = 1;
    d.fOutxDsrFlow = 1;
    d.fDtrControl = DTR_CONTROL_HANDSHAKE;
    d.fDsrSensitivity = 1;
    d.fTXContinueOnXoff = 1;
    d.fNull = 1;
    d.fRtsControl = RTS_CONTROL_TOGGLE;
    d.fAbortOnError = 1;
    d.fErrorChar = 1;
    d.fOutX = 1;
    d.fInX = 1;
    // As some drivers report them: characters that SetCommState refuses as
    // they are, and limits far beyond the queue.
    d.XonLim = 16128;
    d.XoffLim = 15872;
    d.ByteSize = 7;
    d.Parity = MARKPARITY;
    d.StopBits = TWOSTOPBITS;
    d.XonChar = 0;
    d.XoffChar = 0;
    d.ErrorChar = 0x05;
    d.EofChar = 0x06;
    d.EvtChar = 0x07;
    return d;
}

} // namespace standin
