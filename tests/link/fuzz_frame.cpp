// libFuzzer target of the frame code: any 8 bytes are judged without reading
// beyond the frame, and acceptance agrees with the builder: a frame is
// accepted exactly when its checksum is the one the builder gives its bytes 0
// to 6 and the rebuilt frame is accepted; an accepted reply's lead, direction
// and mode may be anything, any change of one of its bytes is refused, and
// any change of bytes 1 to 4 refuses it even with its checksum made good.
#include "link/frame.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

void Require(bool holds) {
    if (!holds) {
        std::abort();
    }
}

// `frame` with byte `at` changed by `delta` (not 0) and the checksum rebuilt.
bool AcceptedChanged(const uint8_t* frame, size_t at, uint8_t delta) {
    uint8_t b[FrameSize];
    std::memcpy(b, frame, FrameSize);
    b[at] = static_cast<uint8_t>(b[at] + delta);
    BuildFrame(b, b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
    return AcceptReply(b);
}

void CheckAccepted(const uint8_t* reply, uint8_t delta) {
    for (size_t at = 0; at < FrameSize; ++at) {
        uint8_t b[FrameSize];
        std::memcpy(b, reply, FrameSize);
        b[at] = static_cast<uint8_t>(b[at] + delta);
        Require(!AcceptReply(b)); // one changed byte breaks the checksum
    }
    for (size_t at : {ByteLead, ByteDirection, ByteMode}) {
        Require(AcceptedChanged(reply, at, delta));
    }
    for (size_t at : {ByteDest, ByteSrc, ByteFixed, ByteCommand}) {
        Require(!AcceptedChanged(reply, at, delta));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < FrameSize) {
        return 0;
    }
    const uint8_t delta =
        static_cast<uint8_t>(size > FrameSize && data[FrameSize] ? data[FrameSize] : 1);
    // An exact-size heap copy, so that a read past byte 7 shows up in ASan.
    uint8_t* frame = static_cast<uint8_t*>(std::malloc(FrameSize));
    std::memcpy(frame, data, FrameSize);
    const bool accepted = AcceptReply(frame);
    Require(std::memcmp(frame, data, FrameSize) == 0); // judged, not changed

    uint8_t* rebuilt = static_cast<uint8_t*>(std::malloc(FrameSize));
    BuildFrame(rebuilt, frame[0], frame[1], frame[2], frame[3], frame[4], frame[5], frame[6]);
    Require(std::memcmp(rebuilt, frame, 7) == 0);
    const bool rebuiltAccepted = AcceptReply(rebuilt);
    Require(accepted == (rebuiltAccepted && rebuilt[7] == frame[7]));
    if (rebuiltAccepted) {
        CheckAccepted(rebuilt, delta);
    }
    std::free(rebuilt);
    std::free(frame);
    return 0;
}
