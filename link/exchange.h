// One request/reply exchange with the device on port 0. Called on the GUI
// thread; runs its own writer and reader threads one after the other.
#pragma once

#include <cstdint>

// The request and the latest reply, 8 bytes each, allocated at start-up.
extern uint8_t* TxFrame;
extern uint8_t* RxFrame;

enum : uint8_t {
    ExchangeOk = 0,
    ExchangePortClosed = 1, // port 0 not open, or its device gone (the cable pulled)
    ExchangeTimeout = 2,
    ExchangeBadReply = 3,
};

uint8_t ExchangeFrame(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4, uint32_t b5,
                      uint32_t b6);
