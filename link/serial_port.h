// The table of numbered serial ports over the Win32 communications functions.
// Ports are opened for overlapped I/O, and every count, read and write waits
// for its call only until a given moment: a driver that never completes a
// call cannot hold the caller. Open and close from the GUI thread; count,
// read and write from the GUI thread or the exchange's workers.
#pragma once

#include <cstdint>

bool SerialTableCreate();
void SerialTableDestroy();

// Returns the port's Win32 handle value (non-zero) on success, 0 on failure.
uintptr_t SerialOpen(uint32_t port, const wchar_t* name, uint32_t baud, uint32_t parity,
                     uint32_t dataBits, double stopBits, uint32_t handshake, uint32_t inQueue,
                     uint32_t outQueue);
bool SerialIsOpen(uint32_t port);
void SerialClose(uint32_t port);
void SerialCloseAll();

// `until` is the moment on LinkMicroseconds() by which the call must be
// over: a call still pending then is cancelled and given a short grace to
// finish, and one that does not finish even then is left to the driver and
// counts as failed. 0 (the GUI thread's own calls, which find their bytes
// already waiting) gives the call a few milliseconds.
uint32_t SerialInputCount(uint32_t port, uint64_t until = 0);
uint32_t SerialRead(uint32_t port, uint8_t* buffer, uint32_t count, uint64_t until = 0);
uint32_t SerialWrite(uint32_t port, const uint8_t* buffer, uint32_t count, uint64_t until = 0);
