// The table of numbered serial ports over the Win32 communications functions.
// Ports are opened for overlapped I/O, and every count, read and write waits
// for its call only until a given moment; open and close wait for their
// worker only until a limit: a driver that never completes a call cannot
// hold the caller. Open and close from the GUI thread; count, read and write
// from the GUI thread or the exchange's workers.
#pragma once

#include <cstdint>

bool SerialTableCreate();
void SerialTableDestroy();

// Returns the port's Win32 handle value (non-zero) on success, 0 on failure:
// the port could not be opened or set, its driver kept the open past the
// limit, or a driver still holds a call of ours (SerialDriverHolds).
uintptr_t SerialOpen(uint32_t port, const wchar_t* name, uint32_t baud, uint32_t parity,
                     uint32_t dataBits, double stopBits, uint32_t handshake, uint32_t inQueue,
                     uint32_t outQueue);
bool SerialIsOpen(uint32_t port);
// True once a call on the open port has failed in a way that means its
// device is gone (the cable pulled); false again after the next open.
bool SerialIsGone(uint32_t port);
// A close kept by its driver past the limit is left to finish on its own;
// the slot is free at once either way.
void SerialClose(uint32_t port);
void SerialCloseAll();
// True while a driver still holds a call that this program gave up on (an
// open, a close, or a cancelled count, read or write): until it lets go, the
// port is the driver's and no port is opened.
bool SerialDriverHolds();

// `until` is the moment on LinkMicroseconds() by which the call must be
// over: a call still pending then is cancelled and given a short grace to
// finish, and one that does not finish even then is left to the driver and
// counts as failed. 0 (the GUI thread's own calls, which find their bytes
// already waiting) gives the call a few milliseconds.
uint32_t SerialInputCount(uint32_t port, uint64_t until = 0);
uint32_t SerialRead(uint32_t port, uint8_t* buffer, uint32_t count, uint64_t until = 0);
uint32_t SerialWrite(uint32_t port, const uint8_t* buffer, uint32_t count, uint64_t until = 0);
