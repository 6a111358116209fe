#include "sonvera/effects/SVEffectFilter.h"

#include <algorithm>
#include <cstring>

#include "sonvera/components/Categories.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

TSVWaveFormatExtensible TSVEffectFilter::GetEffectFormat() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FEffectFormat;
}

uint32_t TSVEffectFilter::GetSampleRate() const {
    return GetEffectFormat().Format.nSamplesPerSec;
}

void TSVEffectFilter::ResetState(const TSVWaveFormatExtensible&) {}

void TSVEffectFilter::ProcessFrames(TSVFloatFrames) {}

TSVWaveFormatExtensible
TSVEffectFilter::OutputFormatOf(const TSVWaveFormatExtensible& AInput) const {
    return AInput;
}

TRef<ISVAudioBuffer> TSVEffectFilter::ProcessBuffer(const TRef<ISVAudioBuffer>& AFloats) {
    ProcessFrames(SVModifyFloatFrames(AFloats));
    return AFloats;
}

void TSVEffectFilter::AudioStreamStart(TPXStartWaveOperation& AOperation) {
    TChangeNotifyLockGuard guard(*GetLock());
    FEffectFormat = SVFloatFormatOf(AOperation.GetWaveFormat());
    ResetState(FEffectFormat);
    FLatencyToSkip = LatencyFrames();
    FRunning = true;
    TSVCommonFilter::AudioStreamStart(AOperation);
}

TRef<IPXNotifyOperation> TSVEffectFilter::OutputStartOperation(TPXStartWaveOperation& AOperation) {
    const TSVWaveFormatExtensible format =
        OutputFormatOf(SVFloatFormatOf(AOperation.GetWaveFormat()));
    const TSVWaveFormatExtensible input = AOperation.GetWaveFormat();
    if (std::memcmp(&format, &input, sizeof format) == 0)
        return TSVCommonFilter::OutputStartOperation(AOperation);
    return TPXStartWaveOperation::Create(&format, AOperation.GetPaused());
}

TRef<ISVAudioBuffer> TSVEffectFilter::FloatBufferOf(const TRef<ISVAudioBuffer>& AInBuffer) {
    if (SVIsFloatBuffer(*AInBuffer))
        return AInBuffer;
    const TRef<TSVAudioBuffer> source = TSVAudioBuffer::CreateUniversalObject(AInBuffer);
    const uint32_t frames = source->GetSize();
    const TRef<TSVAudioBuffer> out = TSVAudioBuffer::CreateFloatSizeExObject(
        source->GetSamplesPerSecond(), source->GetChannels(), static_cast<int32_t>(frames),
        source->GetChannelMask());
    source->CopyToAudio(0, out, 0, frames);
    SVCopyStamp(*source, *out);
    return out;
}

void TSVEffectFilter::FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                              TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) {
    AOutBuffer = ProcessBuffer(FloatBufferOf(AOutBuffer ? AOutBuffer : AInBuffer));
    if (FLatencyToSkip > 0 && SkipLatency(AOutBuffer) == 0)
        ASend = false;
}

uint32_t TSVEffectFilter::SkipLatency(const TRef<ISVAudioBuffer>& ABuffer) {
    const uint32_t frames = ABuffer->GetSize();
    const uint32_t skipped = std::min(FLatencyToSkip, frames);
    FLatencyToSkip -= skipped;
    const uint32_t left = frames - skipped;
    if (left == 0)
        return 0;
    auto* samples = static_cast<uint8_t*>(ABuffer->Modify());
    const size_t step = static_cast<size_t>(ABuffer->GetDataStep());
    std::memmove(samples, samples + step * skipped, step * left);
    ABuffer->Resize(left, true);
    return left;
}

void TSVEffectFilter::StreamStop() {
    // The processing thread drains first, so that the held frames come after every buffer.
    const int64_t end = GetCurrentTime();
    TSVCommonFilter::StreamStop();
    if (FRunning)
        FlushLatency(end);
    FRunning = false;
}

void TSVEffectFilter::FlushLatency(int64_t ABegin) {
    const uint32_t held = LatencyFrames() - FLatencyToSkip;
    const TSVWaveFormatExtensible format = GetEffectFormat();
    if (held == 0 || format.Format.nChannels == 0 || !GetAudioOutputPin()->IsConnected())
        return;
    const TRef<ISVAudioBuffer> tail =
        TSVAudioBuffer::CreateWaveFormat(&format, static_cast<int32_t>(held));
    tail->Zero();
    SVStampBuffer(*tail, ABegin, ABegin + SVFramesToUnits(held, format.Format.nSamplesPerSec));
    GetAudioOutputPin()->SubmitBuffer(ProcessBuffer(tail));
}

TClassInfo SVEffectClassInfo(const char* AClassName, const char* AShortName,
                             const char* ADescription) {
    return {.ClassName = AClassName,
            .Category = &TSonveraFiltersToolbarCategory::ClassInfo(),
            .ShortName = AShortName,
            .Description = ADescription};
}

} // namespace sonvera
