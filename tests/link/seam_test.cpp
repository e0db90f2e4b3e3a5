// Windows tests of the port table and the frame exchange over stand-ins for
// the Win32 communications and thread calls: the DCB and time-outs exactly
// as set, the failures a pty cannot produce (access denied, a refused
// setting, a failing count, a thread refused), the exchange's timing, and
// workers whose port call overruns their limit, on a model of Windows'
// port: calls on a synchronous handle run one at a time and keep their
// thread, overlapped calls do not wait for each other, and a driver may
// honour a cancel or ignore it and complete the call late or never. Wine
// cannot show these: it runs calls side by side and ends any thread at once.
// No serial line.
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

namespace {

using Frame = std::array<uint8_t, FrameSize>;

// How a call that does not complete at once ends: at a cancel (CancelIoEx,
// or the close of its handle), or only when the driver completes it, which
// the test does late (CompleteHeld) or never.
enum class Stall { None, UntilCancel, IgnoresCancel };
enum class CallKind { Count, Read, Write };

constexpr ULONG_PTR StatusPending = 0x103;        // STATUS_PENDING
constexpr ULONG_PTR StatusCancelled = 0xC0000120; // STATUS_CANCELLED
constexpr uint8_t HeldGuard = 0xE7;               // put in a held read's buffer
constexpr uint8_t FrameGuard = 0xC5;              // around TxFrame and RxFrame
constexpr size_t FrameGuardSize = 32;

// A call on an overlapped handle that the stand-in driver holds.
struct HeldCall {
    HANDLE handle;
    OVERLAPPED* overlapped;
    HANDLE event;
    uint8_t* buffer;
    DWORD count;
    CallKind kind;
    Stall stall;
    std::vector<uint8_t> seen; // the buffer as the call left it
};

// One call as the stand-in saw it begin, for the exchange's timing.
struct LoggedCall {
    CallKind kind;
    DWORD thread;
    uint64_t at; // LinkMicroseconds()
};

// One simulated line and driver; the stand-ins below read and change it.
// Counters are atomics: workers and the test thread both touch them.
struct FakeLine {
    // open
    std::wstring path;
    DWORD access = 0, share = 99, disposition = 0, flags = 99;
    DWORD createError = 0;
    bool getStateFails = false;
    bool setStateFails = false;
    int setupCalls = 0;
    DWORD setupIn = 0, setupOut = 0;
    DCB driver = {};
    DCB set = {};
    int setCalls = 0;
    COMMTIMEOUTS timeouts = {};
    int timeoutCalls = 0;
    std::vector<HANDLE> closed;
    uintptr_t nextHandle = 0x7100;
    // I/O
    bool countFails = false;
    Stall countStall = Stall::None; // from the first count after a write
    Stall writeStall = Stall::None;
    Stall readStall = Stall::None;
    bool answer = true; // queue a reply to every write
    std::vector<uint8_t> queue;
    std::vector<uint8_t> written;
    std::atomic<int> calls{0}; // every count, read and write
    std::atomic<int> counts{0};
    std::atomic<int> writesBegun{0};
    std::atomic<DWORD> largestRead{0};
    std::vector<HeldCall> held;    // under gQueueLock
    std::vector<LoggedCall> log;   // under gQueueLock
    std::atomic<int> onStack{0};   // overlapped calls with memory on the caller's stack
    std::atomic<int> corrupted{0}; // held calls whose memory was not left to the driver
    // A synchronous handle: one call at a time (a semaphore stands for the
    // file object's lock, which a thread ended inside a call keeps), and a
    // held call keeps its thread until the test releases it. A wait of 2 s
    // for the lock stands for the hang it would be on Windows; the call then
    // fails. A held call keeps the port open, as on an overlapped handle.
    HANDLE ioLock = nullptr;
    HANDLE released = nullptr;
    std::atomic<int> syncKept{0}; // threads in a held call, alive or ended there
    // threads
    int failThreadAt = 0; // the nth thread asked for is refused; 0: none
    std::atomic<int> threadsAsked{0};
    std::atomic<uint64_t> lastThreadAt{0}; // when the last thread was asked for
};

FakeLine* gLine;
CRITICAL_SECTION gQueueLock;

bool Overlapped() {
    return (gLine->flags & FILE_FLAG_OVERLAPPED) != 0;
}

// Holds the synchronous handle's lock for one call.
class Serialised {
  public:
    Serialised() {
        if (Overlapped()) {
            return;
        }
        held_ = WaitForSingleObject(gLine->ioLock, 2000) == WAIT_OBJECT_0;
    }
    ~Serialised() {
        if (held_) {
            ReleaseSemaphore(gLine->ioLock, 1, nullptr);
        }
    }
    bool Hung() const { return !Overlapped() && !held_; }

  private:
    bool held_ = false;
};

void LogCall(CallKind kind) {
    ++gLine->calls;
    CriticalSectionLock hold(gQueueLock);
    gLine->log.push_back({kind, GetCurrentThreadId(), LinkMicroseconds()});
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

// A call that completes at once: on an overlapped handle (and on a
// synchronous one given an OVERLAPPED) its status block and event too.
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

// A call that the driver does not complete now. On a synchronous handle the
// caller's thread stays in it until the test releases it; on an overlapped
// one the call is pending and the caller goes on.
BOOL Hold(HANDLE h, CallKind kind, Stall stall, OVERLAPPED* ov, void* buffer, DWORD count) {
    if (!Overlapped() || !ov) {
        ++gLine->syncKept;
        WaitForSingleObject(gLine->released, INFINITE);
        --gLine->syncKept;
        SetLastError(ERROR_OPERATION_ABORTED);
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
        }
        EndHeld(c, 0, moved);
    }
    // On a synchronous handle: the threads in a held call leave it; one
    // ended inside it gives the handle's lock back only now.
    SetEvent(gLine->released);
    Sleep(20);
    if (gLine->syncKept.exchange(0) > 0) {
        ReleaseSemaphore(gLine->ioLock, 1, nullptr);
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
        if (it->stall == Stall::UntilCancel) {
            EndHeld(*it, StatusCancelled, 0);
            it = held.erase(it);
        } else {
            ++it; // the driver ignores it
        }
    }
    return found;
}

HANDLE WINAPI FakeCreateFile(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                             DWORD disposition, DWORD flags, HANDLE) {
    gLine->path = path;
    gLine->access = access;
    gLine->share = share;
    gLine->disposition = disposition;
    gLine->flags = flags;
    bool busy = false;
    {
        // A call the driver still holds keeps the port open, even after its
        // handle was closed: Windows refuses a second open of a port.
        CriticalSectionLock hold(gQueueLock);
        busy = !gLine->held.empty() || gLine->syncKept > 0;
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

BOOL WINAPI FakeSetCommState(HANDLE, LPDCB dcb) {
    ++gLine->setCalls;
    gLine->set = *dcb;
    if (gLine->setStateFails) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FakeSetCommTimeouts(HANDLE, LPCOMMTIMEOUTS timeouts) {
    ++gLine->timeoutCalls;
    gLine->timeouts = *timeouts;
    return TRUE;
}

// The driver's status request, the one ClearCommError makes.
BOOL WINAPI FakeDeviceIoControl(HANDLE h, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outSize,
                                LPDWORD returned, LPOVERLAPPED ov) {
    Serialised call;
    LogCall(CallKind::Count);
    ++gLine->counts;
    if (code != SerialGetCommStatus || outSize < sizeof(SerialStatus)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (gLine->countFails || call.Hung()) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    if (gLine->countStall != Stall::None && gLine->writesBegun > 0) {
        return Hold(h, CallKind::Count, gLine->countStall, ov, out, outSize);
    }
    SerialStatus status = {};
    status.errors = CE_FRAME; // line errors are reported here and must be dropped
    {
        CriticalSectionLock hold(gQueueLock);
        status.bytesInQueue = static_cast<ULONG>(gLine->queue.size());
    }
    std::memcpy(out, &status, sizeof(status));
    return Complete(ov, sizeof(status), returned);
}

BOOL WINAPI FakeReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD got, LPOVERLAPPED ov) {
    Serialised call;
    LogCall(CallKind::Read);
    if (call.Hung()) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    if (gLine->readStall != Stall::None) {
        return Hold(h, CallKind::Read, gLine->readStall, ov, buffer, count);
    }
    if (count > gLine->largestRead) {
        gLine->largestRead = count;
    }
    CriticalSectionLock hold(gQueueLock);
    DWORD n = count < gLine->queue.size() ? count : static_cast<DWORD>(gLine->queue.size());
    std::memcpy(buffer, gLine->queue.data(), n);
    gLine->queue.erase(gLine->queue.begin(), gLine->queue.begin() + n);
    return Complete(ov, n, got);
}

BOOL WINAPI FakeWriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD put, LPOVERLAPPED ov) {
    Serialised call;
    LogCall(CallKind::Write);
    ++gLine->writesBegun;
    if (call.Hung()) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    if (gLine->writeStall != Stall::None) {
        return Hold(h, CallKind::Write, gLine->writeStall, ov, const_cast<void*>(buffer), count);
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    {
        CriticalSectionLock hold(gQueueLock);
        gLine->written.assign(bytes, bytes + count);
        if (gLine->answer && count == FrameSize) {
            uint8_t reply[FrameSize];
            BuildFrame(reply, 0, HostAddress, DeviceAddress, FrameFixed, CmdReply,
                       bytes[ByteDirection], bytes[ByteMode]);
            gLine->queue.insert(gLine->queue.end(), reply, reply + FrameSize);
        }
    }
    return Complete(ov, count, put);
}

BOOL WINAPI FakeCancelIoEx(HANDLE h, LPOVERLAPPED ov) {
    if (CancelHeld(h, ov)) {
        return TRUE; // requested; whether the driver honours it is its own affair
    }
    SetLastError(ERROR_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI FakeCloseHandle(HANDLE h) {
    Serialised call;
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
    return CreateThread(security, stack, procedure, parameter, flags, id);
}

const SerialSystemCalls Fakes = {
    FakeCreateFile,      FakeSetupComm, FakeGetCommState, FakeSetCommState, FakeSetCommTimeouts,
    FakeDeviceIoControl, FakeReadFile,  FakeWriteFile,    FakeCancelIoEx,   FakeCloseHandle,
};
const WorkerSystemCalls WorkerFakes = {FakeCreateThread};

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
    d.XonLim = 3;
    d.XoffLim = 4;
    d.ByteSize = 7;
    d.Parity = MARKPARITY;
    d.StopBits = TWOSTOPBITS;
    d.XonChar = 0x21;
    d.XoffChar = 0x23;
    d.ErrorChar = 0x05;
    d.EofChar = 0x06;
    d.EvtChar = 0x07;
    return d;
}

class Seam : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitializeCriticalSection(&gQueueLock);
        ASSERT_TRUE(SerialTableCreate());
        ASSERT_TRUE(WorkerRegistryCreate());
        std::memset(gTxArea, FrameGuard, sizeof(gTxArea));
        std::memset(gRxArea, FrameGuard, sizeof(gRxArea));
        TxFrame = gTxArea + FrameGuardSize;
        RxFrame = gRxArea + FrameGuardSize;
    }
    void SetUp() override {
        saved_ = SerialSystem;
        savedWorker_ = WorkerSystem;
        line_.driver = DriverSettings();
        line_.released = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        line_.ioLock = CreateSemaphoreW(nullptr, 1, 1, nullptr);
        ASSERT_NE(line_.released, nullptr);
        ASSERT_NE(line_.ioLock, nullptr);
        gLine = &line_;
        SerialSystem = Fakes;
        WorkerSystem = WorkerFakes;
    }
    void TearDown() override {
        CompleteHeld(); // let every held call and stalled stand-in end
        Sleep(50);
        SerialCloseAll();
        SerialSystem = saved_;
        WorkerSystem = savedWorker_;
        CloseHandle(line_.released);
        CloseHandle(line_.ioLock);
    }
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
    SerialSystemCalls saved_{};
    WorkerSystemCalls savedWorker_{};
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
    EXPECT_EQ(d.XonChar, o.XonChar);
    EXPECT_EQ(d.XoffChar, o.XoffChar);
    EXPECT_EQ(d.ErrorChar, o.ErrorChar);
    EXPECT_EQ(d.EofChar, o.EofChar);
    EXPECT_EQ(d.EvtChar, o.EvtChar);
    EXPECT_EQ(d.XonLim, o.XonLim);
    EXPECT_EQ(d.XoffLim, o.XoffLim);
    // Queues and time-outs.
    EXPECT_EQ(line_.setupCalls, 1);
    EXPECT_EQ(line_.setupIn, 255u);
    EXPECT_EQ(line_.setupOut, 255u);
    EXPECT_EQ(line_.timeoutCalls, 1);
    EXPECT_EQ(line_.timeouts.ReadIntervalTimeout, 0u);
    EXPECT_EQ(line_.timeouts.ReadTotalTimeoutMultiplier, 0u);
    EXPECT_EQ(line_.timeouts.ReadTotalTimeoutConstant, 0u);
    EXPECT_EQ(line_.timeouts.WriteTotalTimeoutMultiplier, 100u);
    EXPECT_EQ(line_.timeouts.WriteTotalTimeoutConstant, 10u);
}

TEST_F(Seam, HandshakeModesChangeOnlyTheirOwnFields) {
    // Mode 0 turns off whatever another program left on (every such setting
    // is on in the driver's DCB); the other modes change only their own.
    struct Row {
        uint32_t mode;
        DWORD cts, rts, outX, inX;
        char xon, xoff;
        WORD xonLim, xoffLim;
        DWORD dsr, dsrSense, null, errorChar, abortOnError, binary;
    };
    const DCB o = DriverSettings();
    const Row rows[] = {
        {0, 0, RTS_CONTROL_DISABLE, 0, 0, o.XonChar, o.XoffChar, o.XonLim, o.XoffLim, 0, 0, 0, 0, 0,
         1},
        {1, 0, RTS_CONTROL_ENABLE, o.fOutX, o.fInX, o.XonChar, o.XoffChar, o.XonLim, o.XoffLim,
         o.fOutxDsrFlow, o.fDsrSensitivity, o.fNull, o.fErrorChar, o.fAbortOnError, o.fBinary},
        {2, 1, RTS_CONTROL_HANDSHAKE, o.fOutX, o.fInX, o.XonChar, o.XoffChar, o.XonLim, o.XoffLim,
         o.fOutxDsrFlow, o.fDsrSensitivity, o.fNull, o.fErrorChar, o.fAbortOnError, o.fBinary},
        // 255 / 10 = 25; 7 times that is 175.
        {3, o.fOutxCtsFlow, o.fRtsControl, 1, 1, 0x11, 0x13, 25, 175, o.fOutxDsrFlow,
         o.fDsrSensitivity, o.fNull, o.fErrorChar, o.fAbortOnError, o.fBinary},
        {4, o.fOutxCtsFlow, o.fRtsControl, o.fOutX, o.fInX, o.XonChar, o.XoffChar, o.XonLim,
         o.XoffLim, o.fOutxDsrFlow, o.fDsrSensitivity, o.fNull, o.fErrorChar, o.fAbortOnError,
         o.fBinary},
        {99, o.fOutxCtsFlow, o.fRtsControl, o.fOutX, o.fInX, o.XonChar, o.XoffChar, o.XonLim,
         o.XoffLim, o.fOutxDsrFlow, o.fDsrSensitivity, o.fNull, o.fErrorChar, o.fAbortOnError,
         o.fBinary},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "handshake mode " << r.mode);
        ASSERT_NE(Open(0, L"COM7", 1.0, r.mode), 0u);
        const DCB& d = line_.set;
        EXPECT_EQ(d.fOutxCtsFlow, r.cts);
        EXPECT_EQ(d.fRtsControl, r.rts);
        EXPECT_EQ(d.fOutX, r.outX);
        EXPECT_EQ(d.fInX, r.inX);
        EXPECT_EQ(d.XonChar, r.xon);
        EXPECT_EQ(d.XoffChar, r.xoff);
        EXPECT_EQ(d.XonLim, r.xonLim);
        EXPECT_EQ(d.XoffLim, r.xoffLim);
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
        bool getFails, setFails;
        size_t closes; // handles the failed open closes
    };
    const Case cases[] = {
        {"access denied", ERROR_ACCESS_DENIED, false, false, 0},
        {"no such port", ERROR_FILE_NOT_FOUND, false, false, 0},
        {"settings unreadable", 0, true, false, 1},
        {"settings refused", 0, false, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        line_.createError = c.createError;
        line_.getStateFails = c.getFails;
        line_.setStateFails = c.setFails;
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

// ---- The exchange's steps and timing ----------------------------------------

TEST_F(Seam, AResponsiveLineGivesOkWithTheWorkedRequest) {
    ASSERT_NE(Open(), 0u);
    uint8_t result = 0xFF;
    TimedWrite(result);
    EXPECT_EQ(result, ExchangeOk);
    const std::vector<uint8_t> slave9 = {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x09, 0x01, 0xF4};
    EXPECT_EQ(line_.written, slave9);
}

// On a silent line: one flush (a count that finds nothing), one write, the
// 12 ms pause, then exactly 30 polls 10 ms apart and no read. The counts and
// the lower bounds hold on every exchange; a busy machine can only stretch
// the times, so the upper bounds need to hold on one of three exchanges.
TEST_F(Seam, ASilentLineGetsOneFlushThePauseAndThirtyPollsTenMsApart) {
    ASSERT_NE(Open(), 0u);
    line_.answer = false;
    bool inTime = false;
    for (int attempt = 1; attempt <= 3 && !inTime; ++attempt) {
        SCOPED_TRACE(testing::Message() << "exchange " << attempt);
        {
            CriticalSectionLock hold(gQueueLock);
            line_.log.clear();
        }
        uint8_t result = 0xFF;
        TimedWrite(result);
        ASSERT_EQ(result, ExchangeBadReply);

        const std::vector<LoggedCall> log = Log();
        const DWORD gui = GetCurrentThreadId();
        size_t write = 0;
        while (write < log.size() && log[write].kind != CallKind::Write) {
            ++write;
        }
        ASSERT_LT(write, log.size());
        int guiCalls = 0, writes = 0, reads = 0;
        std::vector<uint64_t> polls;
        for (size_t i = 0; i < log.size(); ++i) {
            writes += log[i].kind == CallKind::Write;
            reads += log[i].kind == CallKind::Read;
            if (log[i].thread == gui) {
                ++guiCalls;
                EXPECT_LT(i, write) << "the exchange's own thread used the port after the write";
            } else if (log[i].kind == CallKind::Count) {
                polls.push_back(log[i].at);
            }
        }
        EXPECT_EQ(guiCalls, 1) << "one flush: a single count that finds nothing";
        EXPECT_EQ(writes, 1);
        EXPECT_EQ(reads, 0);
        ASSERT_EQ(polls.size(), 30u);
        // Write to first poll: the 12 ms pause and the reader's first 10 ms.
        const double firstPoll = static_cast<double>(polls[0] - log[write].at) / 1000.0;
        std::vector<double> steps;
        for (size_t i = 1; i < polls.size(); ++i) {
            steps.push_back(static_cast<double>(polls[i] - polls[i - 1]) / 1000.0);
        }
        EXPECT_GE(firstPoll, 21.0);
        EXPECT_GE(*std::min_element(steps.begin(), steps.end()), 9.0);
        std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
        const double median = steps[steps.size() / 2];
        EXPECT_GE(median, 9.5);
        std::printf("pause and first poll: %.1f ms, median step %.1f ms\n", firstPoll, median);
        inTime = firstPoll < 40.0 && median <= 11.5;
    }
    EXPECT_TRUE(inTime) << "three exchanges in a row took too long between the write and the "
                           "first poll (40 ms at most) or between polls (median 11.5 ms at most)";
}

// ---- Workers whose port call overruns the limit ------------------------------

// A worker's call that the driver does not complete in time: the exchange
// returns ExchangeTimeout at the 500 ms limit whether the driver honours the
// cancel or ignores it, the GUI thread never waits behind the call, and a
// call completed late into its abandoned memory harms nothing.
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
        // tried again, up to three exchanges in all.
        const uint64_t began = LinkMicroseconds();
        double best = 1e9;
        for (int attempt = 0; attempt < 3 && best > 520.0; ++attempt) {
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
        EXPECT_LE(best, 520.0) << "the limit is 500 ms, cancel honoured or not";
        EXPECT_EQ(RegisteredWorkers(), 0u) << "the stopped worker stays registered";
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
            CompleteHeld();
            Sleep(50);
            EXPECT_EQ(line_.corrupted, 0) << "an abandoned call's memory was reused or freed";
            EXPECT_EQ(line_.calls, callsBefore) << "the stopped worker acted on the late result";
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
