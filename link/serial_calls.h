// The Win32 communications calls under the port table, gathered in one
// table of function pointers. The program uses the system's own; the link's
// unit tests put stand-ins in their place to cause what a real line cannot
// (a call the driver never completes, a refused setting), to see the DCB as
// set and to count the handles given and closed.
#pragma once

#include <windows.h>

#include <winioctl.h>

// The serial driver's status request, the one ClearCommError makes, and
// what it returns (ntddser.h, which declares both, needs the driver kit).
constexpr DWORD SerialGetCommStatus =
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 27, METHOD_BUFFERED, FILE_ANY_ACCESS);
struct SerialStatus {
    ULONG errors;
    ULONG holdReasons;
    ULONG bytesInQueue;
    ULONG bytesOutQueue;
    BOOLEAN eofReceived;
    BOOLEAN waitForImmediate;
};

struct SerialSystemCalls {
    decltype(&CreateFileW) createFile;
    decltype(&SetupComm) setupComm;
    decltype(&GetCommState) getCommState;
    decltype(&SetCommState) setCommState;
    decltype(&SetCommTimeouts) setCommTimeouts;
    decltype(&DeviceIoControl) deviceIoControl; // the line's status: bytes waiting
    decltype(&ReadFile) readFile;
    decltype(&WriteFile) writeFile;
    decltype(&CancelIoEx) cancelIoEx;
    decltype(&CreateEventW) createEvent; // each count's, read's and write's own
    decltype(&CloseHandle) closeHandle;  // a port's handle or a call's event
};

// Replace only while no port is open and no worker runs.
extern SerialSystemCalls SerialSystem;
