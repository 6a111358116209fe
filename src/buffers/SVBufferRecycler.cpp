#include "sonvera/buffers/SVBufferRecycler.h"

namespace sonvera {

// Renewal found the recycler's reference the only one, so the reference handed out is counted
// without a locked step: a decoded frame's buffer then costs one atomic step, its release.
TRef<TSVAudioBuffer> TSVBufferRecycler::RenewedLast() {
    FLast->AddRefHeldAlone();
    return TRef<TSVAudioBuffer>::Adopt(FLast.get());
}

TRef<TSVAudioBuffer> TSVBufferRecycler::SizeEx(int32_t ARate, int32_t ABits, int32_t AChannels,
                                               int32_t ASize, TSVSpeakers ASpeakerMask) {
    if (FLast && FLast->RenewSizeEx(ARate, ABits, AChannels, ASize, ASpeakerMask))
        return RenewedLast();
    FLast = TSVAudioBuffer::CreateSizeExObject(ARate, ABits, AChannels, ASize, ASpeakerMask);
    return FLast;
}

TRef<TSVAudioBuffer> TSVBufferRecycler::FloatSizeEx(int32_t ARate, int32_t AChannels, int32_t ASize,
                                                    TSVSpeakers ASpeakerMask) {
    if (FLast && FLast->RenewSizeEx(ARate, 32, AChannels, ASize, ASpeakerMask, true))
        return RenewedLast();
    FLast = TSVAudioBuffer::CreateFloatSizeExObject(ARate, AChannels, ASize, ASpeakerMask);
    return FLast;
}

} // namespace sonvera
