// Buffers for a producer that makes one buffer after another in a steady format, as a decoder
// does: the buffer it made last comes back, made over in place, once everything downstream has
// let it go, instead of a new one. That spares each buffer its object, its store, the store's
// block and their atomic steps, a third of what decoding a frame costs. A buffer still held
// downstream is never touched: the producer then gets a new one, which it keeps in its place.
//
// One producer thread at a time; the buffers themselves go wherever the stream takes them.
#pragma once

#include <cstdint>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"

namespace sonvera {

class TSVBufferRecycler {
public:
    // What TSVAudioBuffer::CreateSizeExObject and CreateFloatSizeExObject give, raising as
    // they raise.
    TRef<TSVAudioBuffer> SizeEx(int32_t ARate, int32_t ABits, int32_t AChannels, int32_t ASize,
                                TSVSpeakers ASpeakerMask);
    TRef<TSVAudioBuffer> FloatSizeEx(int32_t ARate, int32_t AChannels, int32_t ASize,
                                     TSVSpeakers ASpeakerMask);

    // Lets the last buffer go; whoever holds it downstream keeps it.
    void Clear() noexcept { FLast = nullptr; }

private:
    TRef<TSVAudioBuffer> RenewedLast();

    TRef<TSVAudioBuffer> FLast;
};

} // namespace sonvera
