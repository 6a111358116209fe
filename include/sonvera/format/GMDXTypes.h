// The platform's wave-format records, bit for bit: packed, little-endian, so that they can be
// handed to audio interfaces and stored in files unchanged.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "sonvera/platform/runtime/Interfaces.h"

namespace sonvera {

static_assert(std::endian::native == std::endian::little,
              "the records are little-endian and mapped directly onto memory");

#pragma pack(push, 1)

struct tWAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};

struct TSVWaveFormatExtensible {
    tWAVEFORMATEX Format;
    // One 16-bit word with three readings; this library reads and writes only the first.
    union {
        uint16_t wValidBitsPerSample;
        uint16_t wSamplesPerBlock;
        uint16_t wReserved;
    } Samples;
    uint32_t dwChannelMask;
    TGUID SubFormat;
};

#pragma pack(pop)

using PSVWaveFormatExtensible = TSVWaveFormatExtensible*;

static_assert(sizeof(tWAVEFORMATEX) == 18);
static_assert(offsetof(tWAVEFORMATEX, nAvgBytesPerSec) == 8);
static_assert(offsetof(tWAVEFORMATEX, nBlockAlign) == 12);
static_assert(offsetof(tWAVEFORMATEX, cbSize) == 16);
static_assert(sizeof(TSVWaveFormatExtensible) == 40);
static_assert(offsetof(TSVWaveFormatExtensible, Samples) == 18);
static_assert(offsetof(TSVWaveFormatExtensible, dwChannelMask) == 20);
static_assert(offsetof(TSVWaveFormatExtensible, SubFormat) == 24);

// The format tag of the extensible record, and its extension size.
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;
inline constexpr uint16_t SV_EXTENSIBLE_EXTRA_SIZE = 22;

// The sample encodings of a wave-format record's sub-format.
inline constexpr TGUID KSDATAFORMAT_SUBTYPE_PCM{
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr TGUID KSDATAFORMAT_SUBTYPE_IEEE_FLOAT{
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

} // namespace sonvera
