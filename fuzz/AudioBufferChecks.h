// What the fuzz targets check of an audio buffer that a parser handed back, and what they do
// with it. The targets link the package area, whose loader starts the library before the first
// input.
#pragma once

#include <sanitizer/asan_interface.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"

namespace sonvera::fuzz {

// Buffers above this many sample bytes are checked but not worked on, so that an input asking
// for a large buffer costs no more than its allocation.
inline constexpr uint32_t KMaxWorkedBytes = 1u << 16;

// The buffer is whole: its header is an extensible PCM header of consistent sizes, the caches
// agree with it, the byte size is the frames times the block alignment, and every sample byte
// lies inside the store and is addressable.
inline void CheckAudioBuffer(const TSVAudioBuffer& ABuffer) {
    const TSVWaveFormatExtensible& header = *ABuffer.GetConstFormat();
    const tWAVEFORMATEX& format = header.Format;
    SONVERA_FUZZ_CHECK(format.wFormatTag == WAVE_FORMAT_EXTENSIBLE);
    SONVERA_FUZZ_CHECK(format.cbSize == SV_EXTENSIBLE_EXTRA_SIZE);
    SONVERA_FUZZ_CHECK(format.wBitsPerSample == (header.Samples.wValidBitsPerSample + 7) / 8 * 8);
    SONVERA_FUZZ_CHECK(format.nBlockAlign == format.wBitsPerSample / 8 * format.nChannels);
    SONVERA_FUZZ_CHECK(ABuffer.GetChannels() == format.nChannels);
    SONVERA_FUZZ_CHECK(ABuffer.GetBitsPerSample() == header.Samples.wValidBitsPerSample);
    SONVERA_FUZZ_CHECK(ABuffer.GetSampleBitWidth() == format.wBitsPerSample);
    SONVERA_FUZZ_CHECK(ABuffer.GetDataStep() == format.nBlockAlign);
    SONVERA_FUZZ_CHECK(ABuffer.GetChannelMask().Mask() == header.dwChannelMask);
    SONVERA_FUZZ_CHECK(static_cast<uint32_t>(ABuffer.GetSamplesPerSecond()) ==
                       format.nSamplesPerSec);
    SONVERA_FUZZ_CHECK(ABuffer.GetDataOffset() == QXStoreHeaderSize);

    const auto* store = static_cast<const uint8_t*>(ABuffer.GetDataContainer()->GetData());
    const auto* samples = static_cast<const uint8_t*>(ABuffer.Read());
    SONVERA_FUZZ_CHECK(reinterpret_cast<const uint8_t*>(&header) == store);
    SONVERA_FUZZ_CHECK(samples == store + QXStoreHeaderSize);
    SONVERA_FUZZ_CHECK(uint64_t{ABuffer.GetByteSize()} ==
                       uint64_t{ABuffer.GetSize()} * static_cast<uint64_t>(ABuffer.GetDataStep()));
    SONVERA_FUZZ_CHECK(uint64_t{ABuffer.GetByteSize()} + QXStoreHeaderSize ==
                       ABuffer.GetLogicalSize());
    SONVERA_FUZZ_CHECK(ABuffer.GetLogicalSize() <= ABuffer.GetDataContainer()->GetSize());
    SONVERA_FUZZ_CHECK(__asan_region_is_poisoned(const_cast<uint8_t*>(store),
                                                 ABuffer.GetLogicalSize()) == nullptr);
}

// Runs a small buffer through what a program does with one it has just read: channel
// extraction, conversion into stereo 16 bits, a gain. Refusals are fine; crashes are not.
inline void WorkOn(const TRef<TSVAudioBuffer>& ABuffer) {
    if (ABuffer->GetByteSize() > KMaxWorkedBytes)
        return;
    try {
        if (ABuffer->GetChannels() > 0)
            (void)ABuffer->GetChannelAsReal(0);
        const auto frames = static_cast<int32_t>(ABuffer->GetSize());
        TRef<TSVAudioBuffer> stereo = TSVAudioBuffer::CreateSizeObject(44100, 16, 2, frames);
        ABuffer->CopyTo(0, stereo, 0, ABuffer->GetSize());
        CheckAudioBuffer(*stereo);
        const auto* samples = static_cast<const uint8_t*>(ABuffer->Read());
        const std::vector<uint8_t> before(samples, samples + ABuffer->GetByteSize());
        TRef<TSVAudioBuffer> louder = TSVAudioBuffer::CreateExObject(ABuffer);
        louder->MultiplyByReal(1.5);
        CheckAudioBuffer(*louder);
        CheckAudioBuffer(*ABuffer);
        SONVERA_FUZZ_CHECK(ABuffer->Read() == samples);
        SONVERA_FUZZ_CHECK(std::equal(before.begin(), before.end(), samples));
    } catch (const Exception&) {
    }
}

} // namespace sonvera::fuzz
