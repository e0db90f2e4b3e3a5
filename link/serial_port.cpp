// The table of numbered serial ports over the Win32 communications
// functions. Ports are opened for overlapped I/O: each count, read and write
// has its own event, waits for its call only until the caller's moment, then
// cancels it, and leaves a call that the driver never completes to it,
// with memory of its own that outlives the caller. Open, the line settings
// and close, which kernel32 waits for without a limit, run as port jobs on
// a worker of their own. The table lock is held only to look a handle up,
// change a slot or keep the list of abandoned calls.
#include "link/serial_port.h"

#include "common/holders.h"
#include "link/clock.h"
#include "link/port_job.h"
#include "link/serial_calls.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

SerialSystemCalls SerialSystem = {
    CreateFileW, SetupComm, GetCommState, SetCommState, SetCommTimeouts, DeviceIoControl,
    ReadFile,    WriteFile, CancelIoEx,   CreateEventW, CloseHandle,
};

namespace {

// What the GUI thread's own calls are given: they ask only for bytes that
// are already waiting, so a healthy driver answers at once.
constexpr uint64_t GuiCallLimit = 20000; // us
// How long a cancelled call is given to finish. A driver that honours the
// cancel finishes in well under this; one that does not keeps the call.
constexpr DWORD CancelGrace = 10; // ms
// The open with its line settings: a few USB control transfers, done in
// tens of milliseconds by a healthy cable, so a second means a wedged one,
// and a press still gets its message in well under the time a technician
// waits for one.
constexpr uint32_t OpenLimit = 1000; // ms
// The close: one transfer or none. Short, since the window takes no input
// until it is over, and Exit waits for it too.
constexpr uint32_t CloseLimit = 300; // ms
// Reads return at once with what is waiting, even nothing, so that a
// healthy driver never needs a cancel. A write of n bytes is given
// 10 n + 100 ms by the driver itself: 180 ms for a frame, which takes 9 ms
// on the line, and well inside a worker's 500 ms.
constexpr COMMTIMEOUTS LineTimeouts = {MAXDWORD, 0, 0, 10, 100};
// Flow-control characters that every driver accepts (SetCommState refuses
// equal ones, and some drivers report 0 and 0).
constexpr char XonCharacter = 0x11;
constexpr char XoffCharacter = 0x13;
// No such device (STATUS_NO_SUCH_DEVICE), which the headers here lack.
constexpr DWORD ErrorNoSuchDevice = 433;

// One call on the port: its OVERLAPPED, its event and its bytes, on the
// process heap, never on a caller's stack. The driver owns the block while
// the call is pending, which may be long after the caller has given up on
// it, so an abandoned block is freed only once its event says the driver is
// done, and never before the process ends otherwise. The process heap
// outlives the program's own heap, which shutdown destroys.
struct PortCall {
    OVERLAPPED overlapped;
    PortCall* next; // in the list of abandoned calls
    DWORD size;
    uint8_t data[1]; // `size` bytes
};

enum class CallKind { Status, Read, Write };

struct Slot {
    HANDLE handle; // nullptr when closed
    bool gone;     // its driver said the device is gone
};

CRITICAL_SECTION gTableLock;
bool gTableReady;
std::vector<Slot> gPorts; // one slot per port number
PortCall* gAbandoned;     // calls left to their driver; under gTableLock

HANDLE Lookup(uint32_t port) {
    if (!gTableReady) {
        return nullptr;
    }
    CriticalSectionLock hold(gTableLock);
    return port < gPorts.size() ? gPorts[port].handle : nullptr;
}

// Takes the handle out of its slot; the caller closes it.
HANDLE Take(uint32_t port) {
    if (!gTableReady) {
        return nullptr;
    }
    CriticalSectionLock hold(gTableLock);
    HANDLE h = nullptr;
    if (port < gPorts.size()) {
        h = gPorts[port].handle;
        gPorts[port] = {nullptr, false};
    }
    return h;
}

// What drivers answer once the cable is pulled: the device removed or no
// longer connected, or no such device (the USB stack), a request the device
// no longer takes in its state (22) or one refused while its removal is
// pending (5), and a device not ready (21, also what a line whose far end
// hung up gives). A cancel (995) is ours and never means gone; a general
// failure (31) may pass, and counts as nothing moved.
bool DeviceGoneError(DWORD error) {
    switch (error) {
    case ERROR_DEVICE_REMOVED:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ErrorNoSuchDevice:
    case ERROR_BAD_COMMAND:
    case ERROR_ACCESS_DENIED:
    case ERROR_NOT_READY:
        return true;
    default:
        return false;
    }
}

// Marks the port gone when a call on its handle failed with such an error.
void NoteFailure(uint32_t port, HANDLE h, DWORD error) {
    if (!DeviceGoneError(error) || !gTableReady) {
        return;
    }
    CriticalSectionLock hold(gTableLock);
    if (port < gPorts.size() && gPorts[port].handle == h) {
        gPorts[port].gone = true;
    }
}

PortCall* NewCall(DWORD size) {
    const SIZE_T bytes = offsetof(PortCall, data) + (size > 0 ? size : 1);
    auto* call = static_cast<PortCall*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
    if (!call) {
        return nullptr;
    }
    call->size = size;
    call->overlapped.hEvent = SerialSystem.createEvent(nullptr, TRUE, FALSE, nullptr);
    if (!call->overlapped.hEvent) {
        HeapFree(GetProcessHeap(), 0, call);
        return nullptr;
    }
    return call;
}

void FreeCall(PortCall* call) {
    SerialSystem.closeHandle(call->overlapped.hEvent);
    HeapFree(GetProcessHeap(), 0, call);
}

// Frees the abandoned calls that their driver has finished with since.
// Under gTableLock.
void SweepAbandoned() {
    PortCall** link = &gAbandoned;
    while (*link) {
        PortCall* call = *link;
        if (WaitForSingleObject(call->overlapped.hEvent, 0) == WAIT_OBJECT_0) {
            *link = call->next;
            FreeCall(call);
        } else {
            link = &call->next;
        }
    }
}

void Abandon(PortCall* call) {
    if (!gTableReady) {
        return; // never freed: the driver may still write into it
    }
    CriticalSectionLock hold(gTableLock);
    SweepAbandoned();
    call->next = gAbandoned;
    gAbandoned = call;
}

// Starts the call and waits on its event until `until`; a call still
// pending then is cancelled and given CancelGrace. Returns true when the
// call has finished, with the bytes it moved in `moved` (0 when it failed or
// was cancelled); false when it could not start or was abandoned, and then
// the block is no longer the caller's.
bool Perform(uint32_t port, HANDLE h, PortCall* call, CallKind kind, uint64_t until, DWORD& moved) {
    OVERLAPPED* ov = &call->overlapped;
    BOOL started = FALSE;
    switch (kind) {
    case CallKind::Status:
        started = SerialSystem.deviceIoControl(h, SerialGetCommStatus, nullptr, 0, call->data,
                                               call->size, nullptr, ov);
        break;
    case CallKind::Read:
        started = SerialSystem.readFile(h, call->data, call->size, nullptr, ov);
        break;
    case CallKind::Write:
        started = SerialSystem.writeFile(h, call->data, call->size, nullptr, ov);
        break;
    }
    if (!started && GetLastError() != ERROR_IO_PENDING) {
        NoteFailure(port, h, GetLastError());
        FreeCall(call);
        return false;
    }
    // Finished at once or pending: either way the event is set when it is done.
    if (WaitForSingleObject(ov->hEvent, MillisecondsUntil(until)) != WAIT_OBJECT_0) {
        SerialSystem.cancelIoEx(h, ov);
        if (WaitForSingleObject(ov->hEvent, CancelGrace) != WAIT_OBJECT_0) {
            Abandon(call);
            return false;
        }
    }
    if (!GetOverlappedResult(h, ov, &moved, FALSE)) {
        NoteFailure(port, h, GetLastError());
        moved = 0;
    }
    return true;
}

uint64_t Deadline(uint64_t until) {
    return until != 0 ? until : LinkMicroseconds() + GuiCallLimit;
}

// The line as the caller asks for it, over what the driver reported: the
// other fields stay as they were.
void SetLine(DCB& dcb, uint32_t baud, uint32_t parity, uint32_t dataBits, double stopBits,
             uint32_t handshake, uint32_t inQueue) {
    dcb.BaudRate = baud;
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.fParity = TRUE;
    dcb.StopBits = stopBits == 1.0 ? ONESTOPBIT : stopBits == 2.0 ? TWOSTOPBITS : ONE5STOPBITS;
    // Characters and limits that every driver accepts, whatever it reported
    // or another program left: a refused SetCommState would read as a busy
    // port, and limits beyond the queue have made drivers stall for seconds.
    // No character is special to us.
    dcb.XonChar = XonCharacter;
    dcb.XoffChar = XoffCharacter;
    dcb.XonLim = static_cast<WORD>(inQueue / 10);
    dcb.XoffLim = static_cast<WORD>(7 * (inQueue / 10));
    dcb.ErrorChar = 0;
    dcb.EofChar = 0;
    dcb.EvtChar = 0;
    switch (handshake) {
    case 0:
        // No flow control of any kind, and every byte delivered as it came:
        // Windows keeps a port's settings across opens, so DSR flow, XON/XOFF
        // or null stripping left by another program would make a healthy
        // device look silent (the reply starts with a zero byte). DTR stays
        // as the driver has it: a device may be powered or reset by it.
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        dcb.fNull = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fAbortOnError = FALSE;
        dcb.fBinary = TRUE;
        break;
    case 1:
        dcb.fOutxCtsFlow = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        break;
    case 2:
        dcb.fOutxCtsFlow = TRUE;
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    case 3:
        dcb.fOutX = TRUE;
        dcb.fInX = TRUE;
        break;
    default:
        break;
    }
}

// The open and the line settings, on a worker: every one of these calls can
// be kept by a wedged driver.
struct OpenJob : PortJob {
    wchar_t path[64];
    uint32_t baud, parity, dataBits, handshake, inQueue, outQueue;
    double stopBits;
    HANDLE handle; // the open port, INVALID_HANDLE_VALUE when the open failed
};

void OpenWork(PortJob* base) {
    auto* job = static_cast<OpenJob*>(base);
    job->handle = INVALID_HANDLE_VALUE;
    HANDLE h = SerialSystem.createFile(job->path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return;
    }
    if (job->inQueue > 0 && job->outQueue > 0) {
        SerialSystem.setupComm(h, job->inQueue, job->outQueue);
    }
    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    bool set = SerialSystem.getCommState(h, &dcb) != 0;
    if (set) {
        SetLine(dcb, job->baud, job->parity, job->dataBits, job->stopBits, job->handshake,
                job->inQueue);
        set = SerialSystem.setCommState(h, &dcb) != 0;
    }
    // The reads rely on their time-outs: a port without them fails as a
    // refused setting does.
    COMMTIMEOUTS timeouts = LineTimeouts;
    if (!set || !SerialSystem.setCommTimeouts(h, &timeouts)) {
        SerialSystem.closeHandle(h);
        return;
    }
    job->handle = h;
}

// A port that opened after the GUI thread gave up on it is nobody's.
void OpenUndo(PortJob* base) {
    auto* job = static_cast<OpenJob*>(base);
    if (job->handle != INVALID_HANDLE_VALUE) {
        SerialSystem.closeHandle(job->handle);
    }
}

struct CloseJob : PortJob {
    HANDLE handle;
};

void CloseWork(PortJob* base) {
    SerialSystem.closeHandle(static_cast<CloseJob*>(base)->handle);
}

// Closes a handle taken out of its slot, waiting for it until `until` at
// most; a close the driver keeps longer is left to finish on its worker.
void CloseBounded(HANDLE h, uint64_t until) {
    auto* job = NewPortJob<CloseJob>();
    if (!job) {
        SerialSystem.closeHandle(h); // no memory for a job: close it here
        return;
    }
    job->work = CloseWork;
    job->handle = h;
    if (RunPortJob(job, MillisecondsUntil(until))) {
        FreePortJob(job);
    }
}

uint64_t CloseDeadline() {
    return LinkMicroseconds() + CloseLimit * 1000;
}

} // namespace

bool SerialTableCreate() {
    if (gTableReady) {
        return true;
    }
    InitializeCriticalSection(&gTableLock);
    gPorts.assign(16, {nullptr, false});
    gTableReady = true;
    return true;
}

void SerialTableDestroy() {
    if (!gTableReady) {
        return;
    }
    // Calls still abandoned then stay with their driver until the process ends.
    SerialCloseAll();
    gTableReady = false;
    DeleteCriticalSection(&gTableLock);
}

bool SerialDriverHolds() {
    if (PortJobsHeld()) {
        return true;
    }
    if (!gTableReady) {
        return false;
    }
    CriticalSectionLock hold(gTableLock);
    SweepAbandoned();
    return gAbandoned != nullptr;
}

uintptr_t SerialOpen(uint32_t port, const wchar_t* name, uint32_t baud, uint32_t parity,
                     uint32_t dataBits, double stopBits, uint32_t handshake, uint32_t inQueue,
                     uint32_t outQueue) {
    if (!gTableReady || !name || !*name) {
        return 0;
    }
    // A driver that still keeps a call of ours keeps the port too (Windows
    // refuses a second open of it), and a wedged one would only keep the
    // next call as well.
    if (SerialDriverHolds()) {
        return 0;
    }
    auto* job = NewPortJob<OpenJob>();
    if (!job) {
        return 0;
    }
    job->work = OpenWork;
    job->undo = OpenUndo;
    // "\\.\" in front, so that COM10 and above open like COM1.
    const wchar_t prefix[] = L"\\\\.\\";
    size_t at = 0;
    for (size_t i = 0; prefix[i]; ++i) {
        job->path[at++] = prefix[i];
    }
    for (size_t i = 0; name[i] && i < 59; ++i) {
        job->path[at++] = name[i];
    }
    job->path[at] = L'\0';
    job->baud = baud;
    job->parity = parity;
    job->dataBits = dataBits;
    job->stopBits = stopBits;
    job->handshake = handshake;
    job->inQueue = inQueue;
    job->outQueue = outQueue;
    if (!RunPortJob(job, OpenLimit)) {
        return 0; // the job is its worker's now
    }
    HANDLE h = job->handle;
    FreePortJob(job);
    if (h == INVALID_HANDLE_VALUE) {
        return 0;
    }

    HANDLE old = nullptr;
    {
        CriticalSectionLock hold(gTableLock);
        if (port >= gPorts.size()) {
            gPorts.resize(port + 16, {nullptr, false});
        }
        old = gPorts[port].handle;
        gPorts[port] = {h, false};
        SweepAbandoned();
    }
    if (old) {
        CloseBounded(old, CloseDeadline());
    }
    return reinterpret_cast<uintptr_t>(h);
}

bool SerialIsOpen(uint32_t port) {
    return Lookup(port) != nullptr;
}

bool SerialIsGone(uint32_t port) {
    if (!gTableReady) {
        return false;
    }
    CriticalSectionLock hold(gTableLock);
    return port < gPorts.size() && gPorts[port].handle && gPorts[port].gone;
}

void SerialClose(uint32_t port) {
    HANDLE h = Take(port);
    if (h) {
        CloseBounded(h, CloseDeadline());
    }
}

void SerialCloseAll() {
    if (!gTableReady) {
        return;
    }
    std::vector<HANDLE> open;
    {
        CriticalSectionLock hold(gTableLock);
        for (Slot& slot : gPorts) {
            if (slot.handle) {
                open.push_back(slot.handle);
            }
            slot = {nullptr, false};
        }
    }
    // One limit for all of them: a close kept by its driver leaves the rest
    // no time to wait for, though each is still made.
    const uint64_t until = CloseDeadline();
    for (HANDLE h : open) {
        CloseBounded(h, until);
    }
}

uint32_t SerialInputCount(uint32_t port, uint64_t until) {
    HANDLE h = Lookup(port);
    if (!h) {
        return 0;
    }
    // ClearCommError's own request, made overlapped so that it has a limit
    // too; the line errors it reports (and clears) are not the caller's
    // concern.
    PortCall* call = NewCall(sizeof(SerialStatus));
    DWORD moved = 0;
    if (!call || !Perform(port, h, call, CallKind::Status, Deadline(until), moved)) {
        return 0;
    }
    // Any answer long enough to hold the input count will do: drivers differ
    // in what they return after it.
    SerialStatus status = {};
    if (moved >= offsetof(SerialStatus, bytesInQueue) + sizeof(status.bytesInQueue)) {
        std::memcpy(&status, call->data, moved < sizeof(status) ? moved : sizeof(status));
    }
    FreeCall(call);
    return status.bytesInQueue;
}

uint32_t SerialRead(uint32_t port, uint8_t* buffer, uint32_t count, uint64_t until) {
    HANDLE h = Lookup(port);
    if (!h || count == 0) {
        return 0;
    }
    PortCall* call = NewCall(count);
    DWORD moved = 0;
    if (!call || !Perform(port, h, call, CallKind::Read, Deadline(until), moved)) {
        return 0;
    }
    if (moved > count) {
        moved = count;
    }
    std::memcpy(buffer, call->data, moved);
    FreeCall(call);
    return moved;
}

uint32_t SerialWrite(uint32_t port, const uint8_t* buffer, uint32_t count, uint64_t until) {
    HANDLE h = Lookup(port);
    if (!h || count == 0) {
        return 0;
    }
    // The bytes go into the call's own block: the caller may change its
    // buffer (TxFrame) while a write it gave up on is still pending.
    PortCall* call = NewCall(count);
    if (!call) {
        return 0;
    }
    std::memcpy(call->data, buffer, count);
    DWORD moved = 0;
    if (!Perform(port, h, call, CallKind::Write, Deadline(until), moved)) {
        return 0;
    }
    FreeCall(call);
    return moved;
}
