// Host tests of the 8-byte frame: the worked requests and replies, the
// checksum that wraps, and the reply acceptance rule. Run natively with the
// sanitizers.
#include "link/frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

using Frame = std::array<uint8_t, FrameSize>;

struct BuildCase {
    const char* what;
    uint32_t args[7];
    Frame expected;
};

const BuildCase kBuildCases[] = {
    {"write, direction 1, standalone",
     {0, 14, 11, 8, 201, 1, 2},
     {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x01, 0x02, 0xED}},
    {"write, direction 16, slave",
     {0, 14, 11, 8, 201, 16, 1},
     {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x10, 0x01, 0xFB}},
    {"read, direction 1, standalone",
     {0, 14, 11, 8, 202, 1, 2},
     {0x00, 0x0E, 0x0B, 0x08, 0xCA, 0x01, 0x02, 0xEE}},
    // Wider values contribute their low 8 bits only.
    {"wide arguments",
     {0x100, 0x10E, 0xFFFF0B, 0x80000008, 0x1C9, 0x201, 0xFFFFFF02},
     {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x01, 0x02, 0xED}},
    {"sum wraps", {0xFF, 0xFF, 0xFF, 0, 0, 0, 3}, {0xFF, 0xFF, 0xFF, 0, 0, 0, 3, 0x00}},
};

TEST(Frame, BuildsTheWorkedRequests) {
    for (const BuildCase& c : kBuildCases) {
        Frame f;
        f.fill(0xAA);
        BuildFrame(f.data(), c.args[0], c.args[1], c.args[2], c.args[3], c.args[4], c.args[5],
                   c.args[6]);
        EXPECT_EQ(f, c.expected) << c.what;
        EXPECT_EQ(ChecksumOf(f.data()), c.expected[ByteChecksum]) << c.what;
    }
}

TEST(Frame, ChecksumIgnoresByteSeven) {
    Frame a = {1, 2, 3, 4, 5, 6, 7, 0x00};
    Frame b = {1, 2, 3, 4, 5, 6, 7, 0xFF};
    EXPECT_EQ(ChecksumOf(a.data()), 28);
    EXPECT_EQ(ChecksumOf(b.data()), 28);
}

struct AcceptCase {
    const char* what;
    Frame frame;
    bool accepted;
};

const AcceptCase kAcceptCases[] = {
    {"reply, direction 5, slave", {0x00, 0x0B, 0x0E, 0x08, 0xCB, 0x05, 0x01, 0xF2}, true},
    {"reply with byte 0 = FF, sum wraps", {0xFF, 0x0B, 0x0E, 0x08, 0xCB, 0x10, 0x02, 0xFD}, true},
    {"direction and mode out of range still accepted",
     {0x00, 0x0B, 0x0E, 0x08, 0xCB, 0x63, 0x07, 0x56},
     true},
    {"all zero", {0, 0, 0, 0, 0, 0, 0, 0}, false},
    {"write request echoed", {0x00, 0x0E, 0x0B, 0x08, 0xC9, 0x01, 0x02, 0xED}, false},
    {"read request echoed", {0x00, 0x0E, 0x0B, 0x08, 0xCA, 0x01, 0x02, 0xEE}, false},
    {"wrong checksum", {0x00, 0x0B, 0x0E, 0x08, 0xCB, 0x05, 0x01, 0xF3}, false},
    {"wrong checksum, off by 256 would match",
     {0xFF, 0x0B, 0x0E, 0x08, 0xCB, 0x10, 0x02, 0xFC},
     false},
    {"command 201 with its own checksum", {0x00, 0x0B, 0x0E, 0x08, 0xC9, 0x05, 0x01, 0xF0}, false},
    {"fixed byte 9", {0x00, 0x0B, 0x0E, 0x09, 0xCB, 0x05, 0x01, 0xF3}, false},
    {"addresses swapped back", {0x00, 0x0E, 0x0B, 0x08, 0xCB, 0x05, 0x01, 0xF2}, false},
    {"five bytes padded with zeros", {0x00, 0x0B, 0x0E, 0x08, 0xCB, 0x00, 0x00, 0x00}, false},
};

TEST(Frame, AcceptsOnlyWellFormedReplies) {
    for (const AcceptCase& c : kAcceptCases) {
        EXPECT_EQ(AcceptReply(c.frame.data()), c.accepted) << c.what;
    }
}

TEST(Frame, ABuiltReplyIsAcceptedForEveryLeadAndSetting) {
    for (uint32_t lead = 0; lead < 256; ++lead) {
        for (uint32_t dir = 0; dir < 256; dir += 15) {
            Frame f;
            BuildFrame(f.data(), lead, HostAddress, DeviceAddress, FrameFixed, CmdReply, dir, 1);
            EXPECT_TRUE(AcceptReply(f.data())) << lead << " " << dir;
            f[ByteChecksum] ^= 1;
            EXPECT_FALSE(AcceptReply(f.data())) << lead << " " << dir;
        }
    }
}

} // namespace
