// The table of numbered serial ports over the Win32 communications
// functions, synchronous I/O only. The table lock is held only to look a
// handle up or change a slot; the I/O calls run outside it.
#include "link/serial_port.h"

#include "common/holders.h"
#include "link/serial_calls.h"

#include <windows.h>

#include <vector>

SerialSystemCalls SerialSystem = {
    CreateFileW,    SetupComm, GetCommState, SetCommState, SetCommTimeouts,
    ClearCommError, ReadFile,  WriteFile,    PurgeComm,    CloseHandle,
};

namespace {

CRITICAL_SECTION gTableLock;
bool gTableReady;
std::vector<HANDLE> gPorts; // one slot per port number; nullptr when closed

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
                                       OPEN_EXISTING, 0, nullptr);
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

uint32_t SerialInputCount(uint32_t port, GateKey key) {
    HANDLE h = Lookup(port);
    if (!h || !key.Enter()) {
        return 0;
    }
    DWORD errors = 0;
    COMSTAT stat = {};
    BOOL ok = SerialSystem.clearCommError(h, &errors, &stat);
    key.Leave();
    return ok ? stat.cbInQue : 0;
}

uint32_t SerialRead(uint32_t port, uint8_t* buffer, uint32_t count, GateKey key) {
    HANDLE h = Lookup(port);
    if (!h || count == 0 || !key.Enter()) {
        return 0;
    }
    DWORD got = 0;
    BOOL ok = SerialSystem.readFile(h, buffer, count, &got, nullptr);
    key.Leave();
    return ok ? got : 0;
}

uint32_t SerialWrite(uint32_t port, const uint8_t* buffer, uint32_t count, GateKey key) {
    HANDLE h = Lookup(port);
    if (!h || count == 0 || !key.Enter()) {
        return 0;
    }
    DWORD put = 0;
    BOOL ok = SerialSystem.writeFile(h, buffer, count, &put, nullptr);
    key.Leave();
    return ok ? put : 0;
}

void SerialAbort(uint32_t port) {
    HANDLE h = Lookup(port);
    if (h) {
        SerialSystem.purgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
    }
}
