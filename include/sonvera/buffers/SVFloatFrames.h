// Float samples of an audio buffer as interleaved frames: what an effect reads and writes.
//
//     TSVFloatFrames frames = SVModifyFloatFrames(buffer);
//     for (uint32_t i = 0; i < frames.Frames(); ++i)
//         frames(i, 0) *= 0.5f;
//
// Like a pointer from Read or Modify, a view holds no reference: it is valid while the buffer
// lives and keeps its store. Indices are checked in debug builds (ERangeError).
#pragma once

#include <cstdint>
#include <type_traits>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

template <bool AWritable> class TSVFloatFrameView {
    using TSample = std::conditional_t<AWritable, float, const float>;

public:
    TSVFloatFrameView(TSample* ASamples, uint32_t AFrames, uint32_t AChannels) noexcept
        : FSamples(ASamples), FFrames(AFrames), FChannels(AChannels) {}

    uint32_t Frames() const noexcept { return FFrames; }
    uint32_t Channels() const noexcept { return FChannels; }
    // All samples, frame after frame: Frames() * Channels() of them.
    TSample* Data() const noexcept { return FSamples; }
    size_t Count() const noexcept { return size_t{FFrames} * FChannels; }
    // The frame AFrame: Channels() samples.
    TSample* Frame(uint32_t AFrame) const { return &(*this)(AFrame, 0); }

    TSample& operator()(uint32_t AFrame, uint32_t AChannel) const {
#ifndef NDEBUG
        if (AChannel >= FChannels && !(AChannel == 0 && FChannels == 0))
            throw ERangeError(FormatMessage("Channel out of range = %u", AChannel));
        if (AFrame >= FFrames)
            throw ERangeError(FormatMessage("Index out of range = %u", AFrame));
#endif
        return FSamples[size_t{AFrame} * FChannels + AChannel];
    }

private:
    TSample* FSamples;
    uint32_t FFrames;
    uint32_t FChannels;
};

using TSVFloatFrames = TSVFloatFrameView<true>;
using TSVConstFloatFrames = TSVFloatFrameView<false>;

// A buffer whose samples are not floats is refused with EArgumentError.
inline void SVCheckFloatSamples(const ISVAudioBuffer& ABuffer) {
    if (!SVIsFloatBuffer(ABuffer))
        throw EArgumentError(FormatMessage("Float samples expected; the buffer holds %d-bit "
                                           "integers",
                                           ABuffer.GetSampleBitWidth()));
}

// The samples through Read: never copies.
inline TSVConstFloatFrames SVReadFloatFrames(const TRef<ISVAudioBuffer>& ABuffer) {
    SVCheckFloatSamples(*ABuffer);
    return {static_cast<const float*>(ABuffer->Read()), ABuffer->GetSize(),
            static_cast<uint32_t>(ABuffer->GetChannels())};
}

// The samples through Modify: a private store with the samples it had.
inline TSVFloatFrames SVModifyFloatFrames(const TRef<ISVAudioBuffer>& ABuffer) {
    SVCheckFloatSamples(*ABuffer);
    return {static_cast<float*>(ABuffer->Modify()), ABuffer->GetSize(),
            static_cast<uint32_t>(ABuffer->GetChannels())};
}

// The samples through Write: a private store whose samples are all to be overwritten.
inline TSVFloatFrames SVWriteFloatFrames(const TRef<ISVAudioBuffer>& ABuffer) {
    SVCheckFloatSamples(*ABuffer);
    return {static_cast<float*>(ABuffer->Write()), ABuffer->GetSize(),
            static_cast<uint32_t>(ABuffer->GetChannels())};
}

} // namespace sonvera
