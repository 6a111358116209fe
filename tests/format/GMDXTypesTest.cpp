#include "sonvera/format/GMDXTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace sonvera;

TEST(WaveFormatRecords, StereoSixteenBitRecordHasThePlatformBytes) {
    TSVWaveFormatExtensible record{};
    record.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    record.Format.nChannels = 2;
    record.Format.nSamplesPerSec = 44100;
    record.Format.nAvgBytesPerSec = 44100 * 4;
    record.Format.nBlockAlign = 4;
    record.Format.wBitsPerSample = 16;
    record.Format.cbSize = SV_EXTENSIBLE_EXTRA_SIZE;
    record.Samples.wValidBitsPerSample = 16;
    record.dwChannelMask = 3;
    record.SubFormat = TGUID::FromString("{00000001-0000-0010-8000-00AA00389B71}");

    const std::vector<uint8_t> expected = {
        0xFE, 0xFF, 0x02, 0x00, 0x44, 0xAC, 0x00, 0x00, 0x10, 0xB1, 0x02, 0x00, 0x04, 0x00,
        0x10, 0x00, 0x16, 0x00, 0x10, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    std::vector<uint8_t> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    EXPECT_EQ(bytes, expected);
    // The three readings of the word at offset 18 are one word.
    EXPECT_EQ(record.Samples.wSamplesPerBlock, 16);
    EXPECT_EQ(record.Samples.wReserved, 16);
}
