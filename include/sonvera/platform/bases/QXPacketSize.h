// Below the elements of a structure record: the packet-size encoding of unsigned numbers and
// the byte and bit cursor that records are written through.
//
// The packet-size encoding writes an unsigned 64-bit value in 1 to 9 bytes. The number n of
// leading 1 bits of the first byte (0 to 8) is the number of bytes that follow it. The value is
// the 7 - n bits of the first byte below its leading 1s and the 0 that ends them (no bits for
// n = 7 and 8), followed by the n bytes, most significant bits first:
//
//     first byte   length   value bits   largest value
//     0xxxxxxx        1          7        127
//     10xxxxxx        2         14        16383
//     110xxxxx        3         21        2097151
//     1110xxxx        4         28        2^28 - 1
//     11110xxx        5         35        2^35 - 1
//     111110xx        6         42        2^42 - 1
//     1111110x        7         49        2^49 - 1
//     11111110        8         56        2^56 - 1
//     11111111        9         64        2^64 - 1
//
// For example 100 is 0x64; 1024 is 0x84 0x00; 44100 (0xAC44) is 0xC0 0xAC 0x44. Writers always
// use the shortest form; readers take any form. The first byte alone gives the field's length,
// so a reader knows at once how many bytes to wait for, no field runs on past 9 bytes, and no
// field holds more than 64 bits.
#pragma once

#include <cstdint>

#include "sonvera/platform/bases/QXBufferAccumulator.h"

namespace sonvera {

inline constexpr uint32_t KMaxPacketByteLength = 9;

// The length in bytes of AValue's shortest form.
uint32_t GetPacketByteLength(uint64_t AValue) noexcept;

// Writes AValue at ACursor in its shortest form and moves ACursor past it.
void WritePacketSize(uint8_t*& ACursor, uint64_t AValue) noexcept;

// Reads the field at the start of the AAvailable bytes at ABytes: its value and its length in
// bytes. False, with AValue and ALength as they were, when the field does not end within them.
bool DecodePacketSize(const uint8_t* ABytes, uint64_t AAvailable, uint64_t& AValue,
                      uint32_t& ALength) noexcept;

// Reads the field that starts at ABitPosition of AAccumulator's bytes (a byte boundary, else
// EAssertionFailed): its value and its length in bytes. False, with AValue and ALength as they
// were, while the accumulator does not hold the whole field.
bool ExtractPacketSize(const IBufferAccumulator& AAccumulator, uint64_t ABitPosition,
                       uint64_t& AValue, uint32_t& ALength);

// The cursor of a record being written is a byte pointer and a bit offset (0 to 7) into the
// byte it points at. A section that starts on a byte boundary moves the cursor to the next
// whole byte first, leaving the rest of a byte that bits were written into unused.
void AlignRecordCursor(uint8_t*& ACursor, uint32_t& ABitOffset) noexcept;

} // namespace sonvera
