// The 8-byte request and reply frames: layout constants, the checksum and the
// reply acceptance rule. Portable: no Win32, runs in the host tests.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t FrameSize = 8;

constexpr uint8_t DeviceAddress = 14;
constexpr uint8_t HostAddress = 11;
constexpr uint8_t FrameFixed = 8;
constexpr uint8_t CmdWrite = 201;
constexpr uint8_t CmdRead = 202;
constexpr uint8_t CmdReply = 203;
constexpr uint8_t ModeSlave = 1;
constexpr uint8_t ModeStandalone = 2;

// Byte positions within a frame.
constexpr size_t ByteLead = 0, ByteDest = 1, ByteSrc = 2, ByteFixed = 3, ByteCommand = 4,
                 ByteDirection = 5, ByteMode = 6, ByteChecksum = 7;

// Sum of bytes 0 to 6, modulo 256.
uint8_t ChecksumOf(const uint8_t* frame);

// Stores the low 8 bits of the seven values in bytes 0 to 6 and their checksum
// in byte 7.
void BuildFrame(uint8_t* frame, uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4,
                uint32_t b5, uint32_t b6);

// True when the reply's checksum holds and bytes 1 to 4 are 11, 14, 8, 203.
bool AcceptReply(const uint8_t* frame);
