// The table of numbered serial ports over the Win32 communications functions.
// Synchronous I/O only. Open and close from the GUI thread; count, read and
// write from whichever single thread is using the port at the time.
#pragma once

#include "link/port_gate.h"

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
// A worker passes its key: the Win32 call alone runs inside the gate, after
// the handle has been looked up, and a refused key makes the call return 0
// without touching the port.
uint32_t SerialInputCount(uint32_t port, GateKey key = {});
uint32_t SerialRead(uint32_t port, uint8_t* buffer, uint32_t count, GateKey key = {});
uint32_t SerialWrite(uint32_t port, const uint8_t* buffer, uint32_t count, GateKey key = {});

// Aborts a write or read pending on the port and clears its queues. On a
// synchronous handle Windows runs this only after the pending call has
// ended; Wine runs it at once and so releases a blocked call.
void SerialAbort(uint32_t port);
