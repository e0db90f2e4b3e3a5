// The table of numbered serial ports over the Win32 communications
// functions. Ports are opened for overlapped I/O: each count, read and write
// has its own event, waits for its call only until the caller's moment, then
// cancels it, and leaves a call that the driver never completes to it,
// with memory of its own that outlives the caller. The table lock is held
// only to look a handle up, change a slot or keep the list of such calls.
#include "link/serial_port.h"

#include "common/holders.h"
#include "link/clock.h"
#include "link/serial_calls.h"

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

SerialSystemCalls SerialSystem = {
    CreateFileW,     SetupComm, GetCommState, SetCommState, SetCommTimeouts,
    DeviceIoControl, ReadFile,  WriteFile,    CancelIoEx,   CloseHandle,
};

namespace {

// What the GUI thread's own calls are given: they ask only for bytes that
// are already waiting, so a healthy driver answers at once.
constexpr uint64_t GuiCallLimit = 20000; // us
// How long a cancelled call is given to finish. A driver that honours the
// cancel finishes in well under this; one that does not keeps the call.
constexpr DWORD CancelGrace = 10; // ms

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

CRITICAL_SECTION gTableLock;
bool gTableReady;
std::vector<HANDLE> gPorts; // one slot per port number; nullptr when closed
PortCall* gAbandoned;       // calls left to their driver; under gTableLock

HANDLE Lookup(uint32_t port) {
    if (!gTableReady) {
        return nullptr;
    }
    CriticalSectionLock hold(gTableLock);
    return port < gPorts.size() ? gPorts[port] : nullptr;
}

// Takes the handle out of its slot; the caller closes it.
HANDLE Take(uint32_t port) {
    if (!gTableReady) {
        return nullptr;
    }
    CriticalSectionLock hold(gTableLock);
    HANDLE h = nullptr;
    if (port < gPorts.size()) {
        h = gPorts[port];
        gPorts[port] = nullptr;
    }
    return h;
}

PortCall* NewCall(DWORD size) {
    const SIZE_T bytes = offsetof(PortCall, data) + (size > 0 ? size : 1);
    auto* call = static_cast<PortCall*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
    if (!call) {
        return nullptr;
    }
    call->size = size;
    call->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!call->overlapped.hEvent) {
        HeapFree(GetProcessHeap(), 0, call);
        return nullptr;
    }
    return call;
}

void FreeCall(PortCall* call) {
    CloseHandle(call->overlapped.hEvent);
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
bool Perform(HANDLE h, PortCall* call, CallKind kind, uint64_t until, DWORD& moved) {
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
        moved = 0;
    }
    return true;
}

uint64_t Deadline(uint64_t until) {
    return until != 0 ? until : LinkMicroseconds() + GuiCallLimit;
}

} // namespace

bool SerialTableCreate() {
    if (gTableReady) {
        return true;
    }
    InitializeCriticalSection(&gTableLock);
    gPorts.assign(16, nullptr);
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

uintptr_t SerialOpen(uint32_t port, const wchar_t* name, uint32_t baud, uint32_t parity,
                     uint32_t dataBits, double stopBits, uint32_t handshake, uint32_t inQueue,
                     uint32_t outQueue) {
    if (!gTableReady || !name || !*name) {
        return 0;
    }
    // "\\.\" in front, so that COM10 and above open like COM1.
    wchar_t path[64] = L"\\\\.\\";
    size_t at = 4;
    for (size_t i = 0; name[i] && i < 59; ++i) {
        path[at++] = name[i];
    }
    path[at] = L'\0';

    HANDLE h = SerialSystem.createFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return 0;
    }
    if (inQueue > 0 && outQueue > 0) {
        SerialSystem.setupComm(h, inQueue, outQueue);
    }

    DCB dcb = {};
    dcb.DCBlength = sizeof(dcb);
    if (!SerialSystem.getCommState(h, &dcb)) {
        SerialSystem.closeHandle(h);
        return 0;
    }
    dcb.BaudRate = baud;
    dcb.Parity = static_cast<BYTE>(parity);
    dcb.ByteSize = static_cast<BYTE>(dataBits);
    dcb.fParity = TRUE;
    dcb.StopBits = stopBits == 1.0 ? ONESTOPBIT : stopBits == 2.0 ? TWOSTOPBITS : ONE5STOPBITS;
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
        dcb.XonChar = 0x11;
        dcb.XoffChar = 0x13;
        dcb.XonLim = static_cast<WORD>(inQueue / 10);
        dcb.XoffLim = static_cast<WORD>(7 * (inQueue / 10));
        break;
    default:
        break;
    }
    if (!SerialSystem.setCommState(h, &dcb)) {
        SerialSystem.closeHandle(h);
        return 0;
    }
    // Reads return only what is asked for; callers ask only for what is
    // waiting. A write of n bytes is given 100 n + 10 ms.
    COMMTIMEOUTS timeouts = {0, 0, 0, 100, 10};
    SerialSystem.setCommTimeouts(h, &timeouts);

    HANDLE old = nullptr;
    {
        CriticalSectionLock hold(gTableLock);
        if (port >= gPorts.size()) {
            gPorts.resize(port + 16, nullptr);
        }
        old = gPorts[port];
        gPorts[port] = h;
        SweepAbandoned();
    }
    if (old) {
        SerialSystem.closeHandle(old);
    }
    return reinterpret_cast<uintptr_t>(h);
}

bool SerialIsOpen(uint32_t port) {
    return Lookup(port) != nullptr;
}

void SerialClose(uint32_t port) {
    HANDLE h = Take(port);
    if (h) {
        SerialSystem.closeHandle(h);
    }
}

void SerialCloseAll() {
    if (!gTableReady) {
        return;
    }
    std::vector<HANDLE> open;
    {
        CriticalSectionLock hold(gTableLock);
        for (HANDLE& h : gPorts) {
            if (h) {
                open.push_back(h);
            }
            h = nullptr;
        }
    }
    for (HANDLE h : open) {
        SerialSystem.closeHandle(h);
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
    if (!call || !Perform(h, call, CallKind::Status, Deadline(until), moved)) {
        return 0;
    }
    SerialStatus status = {};
    if (moved == sizeof(status)) {
        std::memcpy(&status, call->data, sizeof(status));
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
    if (!call || !Perform(h, call, CallKind::Read, Deadline(until), moved)) {
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
    if (!Perform(h, call, CallKind::Write, Deadline(until), moved)) {
        return 0;
    }
    FreeCall(call);
    return moved;
}
