// libFuzzer target of the frame code: any 8 bytes are judged without reading
// beyond the frame, and a frame rebuilt from its own bytes 0 to 6 keeps them
// and is accepted exactly when its fixed bytes say so.
#include "link/frame.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < FrameSize) {
        return 0;
    }
    // An exact-size heap copy, so that a read past byte 7 shows up in ASan.
    uint8_t* frame = static_cast<uint8_t*>(std::malloc(FrameSize));
    std::memcpy(frame, data, FrameSize);
    bool accepted = AcceptReply(frame);
    unsigned sum = 0;
    for (size_t i = 0; i < 7; ++i) {
        sum += frame[i];
    }
    bool expected = (sum & 0xFF) == frame[7] && frame[1] == 11 && frame[2] == 14 && frame[3] == 8 &&
                    frame[4] == 203;
    if (accepted != expected) {
        std::abort();
    }

    uint8_t rebuilt[FrameSize];
    BuildFrame(rebuilt, frame[0], frame[1], frame[2], frame[3], frame[4], frame[5], frame[6]);
    if (std::memcmp(rebuilt, frame, 7) != 0 || rebuilt[7] != (sum & 0xFF)) {
        std::abort();
    }
    bool fixedOk = frame[1] == 11 && frame[2] == 14 && frame[3] == 8 && frame[4] == 203;
    if (AcceptReply(rebuilt) != fixedOk) {
        std::abort();
    }
    std::free(frame);
    return 0;
}
