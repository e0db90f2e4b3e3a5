// The 8-byte frame: checksum, building a request, accepting a reply.
// Portable byte code, used by the exchange and by the device simulator.
#include "link/frame.h"

uint8_t ChecksumOf(const uint8_t* frame) {
    unsigned sum = 0;
    for (size_t i = 0; i < ByteChecksum; ++i) {
        sum += frame[i];
    }
    return static_cast<uint8_t>(sum & 0xFF);
}

void BuildFrame(uint8_t* frame, uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4,
                uint32_t b5, uint32_t b6) {
    const uint32_t values[7] = {b0, b1, b2, b3, b4, b5, b6};
    for (size_t i = 0; i < 7; ++i) {
        frame[i] = static_cast<uint8_t>(values[i] & 0xFF);
    }
    frame[ByteChecksum] = ChecksumOf(frame);
}

bool AcceptReply(const uint8_t* frame) {
    if (ChecksumOf(frame) != frame[ByteChecksum]) {
        return false;
    }
    return frame[ByteDest] == HostAddress && frame[ByteSrc] == DeviceAddress &&
           frame[ByteFixed] == FrameFixed && frame[ByteCommand] == CmdReply;
}
