// The Write and Read commands behind the two buttons. GUI thread.
#pragma once

#include <cstdint>
#include <string>

void WriteCommand(uint32_t eventType);
void ReadCommand(uint32_t eventType);

// What the commands call outside themselves. The entries point at the real
// discovery, port, exchange and message functions; tests swap single entries
// to reach outcomes that a real line cannot produce (a port that closes under
// the exchange, say).
struct CommandServices {
    std::wstring (*findDevicePort)();
    bool (*serialIsOpen)(uint32_t port);
    void (*serialClose)(uint32_t port);
    uintptr_t (*serialOpen)(uint32_t port, const wchar_t* name, uint32_t baud, uint32_t parity,
                            uint32_t dataBits, double stopBits, uint32_t handshake,
                            uint32_t inQueue, uint32_t outQueue);
    uint8_t (*exchangeFrame)(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4,
                             uint32_t b5, uint32_t b6);
    int (*messageShow)(const wchar_t* caption, const wchar_t* text, uint32_t style);
    bool (*serialDriverHolds)();
};

extern CommandServices CommandLink;
