// Typed access to an audio buffer's samples by frame and channel, without a virtual call per
// sample: a view is taken once (through Read, Write or Modify) and then indexes the
// interleaved samples directly.
//
//     TSVSamples<16> samples = SVWriteSamples<16>(buffer);
//     samples(frame, channel) = 1000;
//
// The width is the buffer's container width, 8, 16, 24 or 32; what a sample of each width is
// comes from the sample traits (SVSampleTraits.h), which this header publishes with the views.
// A view holds no reference: like a pointer from Read or Write, it is valid while the buffer
// lives and keeps its store (until a Resize, a serialization read or a write through another
// path). Indices are checked in debug builds (ERangeError, as GetItem raises it).
#pragma once

#include <cstdint>
#include <type_traits>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera {

template <int32_t ABits> using TSVSampleValue = typename TSVSampleTraits<ABits>::TValue;

// A writable sample: reads as its value, takes a value by assignment.
template <int32_t ABits> class TSVSampleReference {
public:
    explicit TSVSampleReference(uint8_t* AAt) noexcept : FAt(AAt) {}
    operator TSVSampleValue<ABits>() const noexcept { return TSVSampleTraits<ABits>::Load(FAt); }
    TSVSampleReference& operator=(TSVSampleValue<ABits> AValue) noexcept {
        TSVSampleTraits<ABits>::Store(FAt, AValue);
        return *this;
    }
    TSVSampleReference& operator=(const TSVSampleReference& AOther) noexcept {
        return *this = static_cast<TSVSampleValue<ABits>>(AOther);
    }

private:
    uint8_t* FAt;
};

template <int32_t ABits, bool AWritable> class TSVSampleView {
    using TBytes = std::conditional_t<AWritable, uint8_t*, const uint8_t*>;

public:
    using TValue = TSVSampleValue<ABits>;

    // The samples at ASamples of AFrames frames of AChannels channels, AStep bytes apart.
    TSVSampleView(TBytes ASamples, uint32_t AFrames, uint32_t AChannels, uint32_t AStep) noexcept
        : FSamples(ASamples), FFrames(AFrames), FChannels(AChannels), FStep(AStep) {}

    uint32_t Frames() const noexcept { return FFrames; }
    uint32_t Channels() const noexcept { return FChannels; }

    TValue operator()(uint32_t AFrame, uint32_t AChannel) const {
        return TSVSampleTraits<ABits>::Load(At(AFrame, AChannel));
    }
    TSVSampleReference<ABits> operator()(uint32_t AFrame, uint32_t AChannel) requires AWritable {
        return TSVSampleReference<ABits>(At(AFrame, AChannel));
    }

private:
    TBytes At(uint32_t AFrame, uint32_t AChannel) const {
#ifndef NDEBUG
        if (AChannel >= FChannels)
            throw ERangeError(FormatMessage("Channel out of range = %u", AChannel));
        if (AFrame >= FFrames)
            throw ERangeError(FormatMessage("Index out of range = %u", AFrame));
#endif
        return FSamples + size_t{AFrame} * FStep + size_t{AChannel} * (ABits / 8);
    }

    TBytes FSamples;
    uint32_t FFrames;
    uint32_t FChannels;
    uint32_t FStep;
};

template <int32_t ABits> using TSVConstSamples = TSVSampleView<ABits, false>;
template <int32_t ABits> using TSVSamples = TSVSampleView<ABits, true>;

// A buffer of another container width is refused with EArgumentError.
inline void SVCheckSampleWidth(const ISVAudioBuffer& ABuffer, int32_t ABits) {
    if (ABuffer.GetSampleBitWidth() != ABits)
        throw EArgumentError(FormatMessage("Sample width differs = %d bits, expected %d",
                                           ABuffer.GetSampleBitWidth(), ABits));
}

template <int32_t ABits, bool AWritable, class TBytes>
TSVSampleView<ABits, AWritable> SVViewOf(const ISVAudioBuffer& ABuffer, TBytes ASamples) {
    return TSVSampleView<ABits, AWritable>(
        static_cast<std::conditional_t<AWritable, uint8_t*, const uint8_t*>>(ASamples),
        ABuffer.GetSize(), static_cast<uint32_t>(ABuffer.GetChannels()),
        static_cast<uint32_t>(ABuffer.GetDataStep()));
}

// The samples through Read: never copies.
template <int32_t ABits> TSVConstSamples<ABits> SVReadSamples(const TRef<ISVAudioBuffer>& ABuffer) {
    SVCheckSampleWidth(*ABuffer, ABits);
    return SVViewOf<ABits, false>(*ABuffer, ABuffer->Read());
}

// The samples through Write: a private store whose samples are to be overwritten, all of them.
template <int32_t ABits> TSVSamples<ABits> SVWriteSamples(const TRef<ISVAudioBuffer>& ABuffer) {
    SVCheckSampleWidth(*ABuffer, ABits);
    return SVViewOf<ABits, true>(*ABuffer, ABuffer->Write());
}

// The samples through Modify: a private store with the samples it had.
template <int32_t ABits> TSVSamples<ABits> SVModifySamples(const TRef<ISVAudioBuffer>& ABuffer) {
    SVCheckSampleWidth(*ABuffer, ABits);
    return SVViewOf<ABits, true>(*ABuffer, ABuffer->Modify());
}

} // namespace sonvera
