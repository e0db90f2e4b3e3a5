// The table of numbered serial ports over the Win32 communications functions.
// Synchronous I/O only. Open and close from the GUI thread; count, read and
// write from whichever single thread is using the port at the time.
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
uint32_t SerialInputCount(uint32_t port);
uint32_t SerialRead(uint32_t port, uint8_t* buffer, uint32_t count);
uint32_t SerialWrite(uint32_t port, const uint8_t* buffer, uint32_t count);

// Aborts a write or read pending on the port and clears its queues; used to
// release a worker that overran its time limit.
void SerialAbort(uint32_t port);
