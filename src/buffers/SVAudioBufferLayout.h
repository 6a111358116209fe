// How an audio buffer lays out a format in its store: the sizes derived from a format, the
// channel mask it keeps and the header it writes. Shared by the constructors and the
// serialization reader, which must build exactly the same stores.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

inline constexpr int64_t KSVMaxSampleBits = 32;

struct TSVStoreLayout {
    uint32_t ContainerBits; // the bits rounded up to a multiple of 8
    uint16_t BlockAlign;    // bytes per frame
    uint32_t StoreSize;     // header and samples
};

// Raises TError "AWhat out of range = AValue". Out of line and cold, so that the layout below
// inlines into every buffer's creation with nothing but its comparisons.
template <class TError>
[[noreturn, gnu::noinline, gnu::cold]] void SVRefuseLayout(const char* AWhat, int64_t AValue) {
    throw TError(FormatMessage("%s out of range = %lld", AWhat, static_cast<long long>(AValue)));
}

// The layout of AFrames frames of AChannels channels of ABits bits, every number computed in
// 64 bits. A format the store cannot hold raises TError: negative numbers, more than 32 bits,
// more channels or a wider frame than the record's 16-bit fields hold, or a store longer than
// KSVMaxStoreSize.
template <class TError>
inline TSVStoreLayout SVStoreLayout(int64_t ARate, int64_t ABits, int64_t AChannels,
                                    int64_t AFrames) {
    if (ARate < 0)
        SVRefuseLayout<TError>("Sample rate", ARate);
    if (ABits < 0 || ABits > KSVMaxSampleBits)
        SVRefuseLayout<TError>("Bits per sample", ABits);
    if (AChannels < 0 || AChannels > UINT16_MAX)
        SVRefuseLayout<TError>("Channels", AChannels);
    // A bound far above any store, which keeps the product below inside 64 bits.
    if (AFrames < 0 || AFrames > int64_t{1} << 40)
        SVRefuseLayout<TError>("Size", AFrames);
    const uint64_t containerBits = (static_cast<uint64_t>(ABits) + 7) / 8 * 8;
    const uint64_t blockAlign = containerBits / 8 * static_cast<uint64_t>(AChannels);
    if (blockAlign > UINT16_MAX)
        SVRefuseLayout<TError>("Channels", AChannels);
    const uint64_t storeSize = blockAlign * static_cast<uint64_t>(AFrames) + QXStoreHeaderSize;
    if (storeSize > KSVMaxStoreSize)
        SVRefuseLayout<TError>("Store size", static_cast<int64_t>(storeSize));
    return {static_cast<uint32_t>(containerBits), static_cast<uint16_t>(blockAlign),
            static_cast<uint32_t>(storeSize)};
}

// Every channel its own speaker, from front left up: (1 shl AChannels) - 1, all 32 bits from
// 32 channels on. A negative count, refused later with the other numbers, gives none.
constexpr TSVSpeakers SVDefaultChannelMask(int32_t AChannels) noexcept {
    if (AChannels <= 0)
        return {};
    return TSVSpeakers::FromMask(AChannels >= 32 ? UINT32_MAX : (uint32_t{1} << AChannels) - 1);
}

// The mask a sized buffer keeps: the default for an empty request; otherwise the request with
// everything above its lowest AChannels speakers cleared, where only positions 0 to 16 are
// counted, so that a request that needs position 16 or beyond stays as it was.
constexpr TSVSpeakers SVKeptChannelMask(int32_t AChannels, TSVSpeakers ARequested) noexcept {
    if (ARequested.IsEmpty())
        return SVDefaultChannelMask(AChannels);
    constexpr uint32_t KCountedPositions = 17;
    int32_t counted = 0;
    for (uint32_t position = 0; position < KCountedPositions; ++position) {
        if (counted == AChannels)
            return TSVSpeakers::FromMask(ARequested.Mask() & ((uint32_t{1} << position) - 1));
        if ((ARequested.Mask() >> position) & 1u)
            ++counted;
    }
    return ARequested;
}

// Writes the extensible header of the layout at the start of AStore: integer PCM, or IEEE float
// when AFloat is set. The fields go straight into the store: a record assembled on the stack
// and copied over is read back in wide loads before its narrow stores have landed, which stalls
// every buffer's creation.
inline void SVWriteHeader(void* AStore, const TSVStoreLayout& ALayout, int32_t ARate, int32_t ABits,
                          int32_t AChannels, TSVSpeakers AMask, bool AFloat = false) noexcept {
    auto& header = *::new (AStore) TSVWaveFormatExtensible{};
    header.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    header.Format.nChannels = static_cast<uint16_t>(AChannels);
    header.Format.nSamplesPerSec = static_cast<uint32_t>(ARate);
    header.Format.nAvgBytesPerSec = uint32_t{ALayout.BlockAlign} * static_cast<uint32_t>(ARate);
    header.Format.nBlockAlign = ALayout.BlockAlign;
    header.Format.wBitsPerSample = static_cast<uint16_t>(ALayout.ContainerBits);
    header.Format.cbSize = SV_EXTENSIBLE_EXTRA_SIZE;
    header.Samples.wValidBitsPerSample = static_cast<uint16_t>(ABits);
    header.dwChannelMask = AMask.Mask();
    header.SubFormat = AFloat ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
}

} // namespace sonvera
