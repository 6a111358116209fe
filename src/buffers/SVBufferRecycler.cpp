#include "sonvera/buffers/SVBufferRecycler.h"

namespace sonvera {

TRef<TSVAudioBuffer> TSVBufferRecycler::SizeEx(int32_t ARate, int32_t ABits, int32_t AChannels,
                                               int32_t ASize, TSVSpeakers ASpeakerMask) {
    if (!FLast || !FLast->RenewSizeEx(ARate, ABits, AChannels, ASize, ASpeakerMask))
        FLast = TSVAudioBuffer::CreateSizeExObject(ARate, ABits, AChannels, ASize, ASpeakerMask);
    return FLast;
}

TRef<TSVAudioBuffer> TSVBufferRecycler::FloatSizeEx(int32_t ARate, int32_t AChannels, int32_t ASize,
                                                    TSVSpeakers ASpeakerMask) {
    if (!FLast || !FLast->RenewSizeEx(ARate, 32, AChannels, ASize, ASpeakerMask, true))
        FLast = TSVAudioBuffer::CreateFloatSizeExObject(ARate, AChannels, ASize, ASpeakerMask);
    return FLast;
}

} // namespace sonvera
