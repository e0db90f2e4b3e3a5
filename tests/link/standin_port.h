// A stand-in for the Win32 communications and thread calls under the port
// table, modelled on Windows' serial driver: overlapped calls do not wait
// for each other, a driver may honour a cancel or ignore it and complete the
// call late or never, kernel32's open, settings and close may be kept for
// as long as the test likes, and the line settings are refused where Windows
// refuses them. Its clock models Windows' timer: a pause lasts whole ticks
// of 15.625 ms until the program asks for the 1 ms timer, and reads the same
// however busy the machine is. It counts the thread handles and events it
// gives and those closed. Wine shows none of this. The test thread and the
// link's workers both call it.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/frame.h"
#include "link/serial_calls.h"
#include "link/worker_calls.h"

namespace standin {

using Frame = std::array<uint8_t, FrameSize>;

// How a call that does not complete at once ends: at a cancel (CancelIoEx,
// or the close of its handle), or only when the driver completes it, which
// the test does late (CompleteHeld) or never; a write also at its own
// time-out (UntilTimeout), as the line's settings give it.
enum class Stall { None, UntilCancel, IgnoresCancel, UntilTimeout };
enum class CallKind { Count, Read, Write };

constexpr ULONG_PTR StatusPending = 0x103;        // STATUS_PENDING
constexpr ULONG_PTR StatusCancelled = 0xC0000120; // STATUS_CANCELLED
constexpr ULONG_PTR StatusTimeout = 0x102;        // STATUS_TIMEOUT, a success
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
    uint64_t at; // PausedMicroseconds()
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
    bool timeoutsFail = false;
    // kernel32 waits for these without a limit: each one blocks, when set,
    // until CompleteHeld, and then goes on as usual.
    bool blockOpen = false, blockSetState = false, blockClose = false;
    std::atomic<int> kernelKept{0}; // threads blocked in one of them
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
    int countExtra = 0;             // the count says this many bytes more than are waiting
    DWORD statusSize = 0;           // bytes in the count's answer; 0: the whole status
    DWORD goneError = 0;            // once set, every count, read and write fails with it
    bool goneAfterWrite = false;    // only from the first count or read after a write
    Stall countStall = Stall::None; // from the first count after a write
    Stall writeStall = Stall::None;
    Stall readStall = Stall::None;
    Stall guiStall = Stall::None; // every count and read of the thread that began the stand-in
    DWORD guiThread = 0;
    bool answer = true; // queue a reply to every write
    int silentFor = 0;  // but to none of the first this many
    // The reply, whatever was asked; none: the device stores and repeats
    // the request's direction and mode.
    std::optional<Frame> reply;
    std::vector<uint8_t> queue;
    std::vector<uint8_t> written;
    std::atomic<int> opens{0};     // CreateFile calls
    void (*onGuiCall)() = nullptr; // at each count and read of guiThread
    std::atomic<int> calls{0};     // every count, read and write
    std::atomic<int> counts{0};
    std::atomic<int> writesBegun{0};
    std::atomic<DWORD> largestRead{0};
    std::vector<HeldCall> held;    // under gQueueLock
    std::vector<LoggedCall> log;   // under gQueueLock
    std::atomic<int> onStack{0};   // overlapped calls with memory on the caller's stack
    std::atomic<int> corrupted{0}; // held calls whose memory was not left to the driver
    // Set when the test lets every kept open, setting and close go. A held
    // call keeps the port open, even after its handle was closed.
    HANDLE released = nullptr;
    // threads
    int failThreadAt = 0; // the nth thread asked for is refused; 0: none
    std::atomic<int> threadsAsked{0};
    std::atomic<uint64_t> lastThreadAt{0}; // when the last thread was asked for
    std::atomic<int> cancels{0};           // CancelIoEx calls that found a held call
    std::vector<HANDLE> timers;            // threads that end writes at their time-out
};

// The line the stand-ins act on, and the lock of its queue, held calls and log.
extern FakeLine* gLine;
extern CRITICAL_SECTION gQueueLock;

extern const SerialSystemCalls Fakes;
extern const WorkerSystemCalls WorkerFakes;

// Puts the stand-ins over `line` in place of the system's calls (false when
// its events cannot be made), and the system's back, every held call ended.
bool StandInBegin(FakeLine& line);
void StandInEnd(FakeLine& line);
// Microseconds that the program's pauses have lasted on the stand-in's
// clock, which nothing else moves: each pause as long as Windows makes it
// at the timer resolution the program has asked for (at first the default
// tick). A pause takes no real time.
uint64_t PausedMicroseconds();
// Thread handles and call events the stand-ins gave that are not closed yet.
int LiveThreads();
int LiveEvents();
// Completes every held call as the driver would, late, and lets every kept
// open, setting and close go.
void CompleteHeld();
// True when the port table answers another thread within a second.
bool TableAnswers();
// Milliseconds that `step` took on the calling thread.
double Took(const std::function<void()>& step);
// A driver's settings as another program may leave them.
DCB DriverSettings();

} // namespace standin
