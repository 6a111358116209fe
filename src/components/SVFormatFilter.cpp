#include "sonvera/components/SVFormatFilter.h"

namespace sonvera {

const TPropertyTableBase& TSVFormatFilter::ClassPropertyTable() {
    using T = TSVFormatFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVFormatFilter", TQXBasicThreadedEnableFilter::ClassPropertyTable())
            .Cardinal("Bits", 0, &T::GetBits, &T::SetBits)
            .Boolean("Float", false, &T::GetFloat, &T::SetFloat)
            .Set(
                "ChannelMask", EnumTypeInfo<TSVSpeaker>(), 0,
                [](const T& AFilter) { return AFilter.GetChannelMask().Mask(); },
                [](T& AFilter, uint32_t AMask) {
                    AFilter.SetChannelMask(TSVSpeakers::FromMask(AMask));
                });
    return table;
}

void TSVFormatFilter::SetBits(uint32_t AValue) {
    if (AValue != 0 && AValue != 8 && AValue != 16 && AValue != 24 && AValue != 32)
        throw EArgumentError(FormatMessage("Bits per sample out of range = %u", AValue));
    SetPropValue("Bits", FBits, AValue);
}

void TSVFormatFilter::SetFloat(bool AValue) {
    SetPropValue("Float", FFloat, AValue);
}

void TSVFormatFilter::SetChannelMask(TSVSpeakers AValue) {
    SetPropValue("ChannelMask", FChannelMask, AValue);
}

TSVWaveFormatExtensible TSVFormatFilter::OutputFormat(const TSVWaveFormatExtensible& AInput) const {
    const uint32_t bits = GetBits() ? GetBits() : AInput.Samples.wValidBitsPerSample;
    const TSVSpeakers mask = GetChannelMask();
    const int32_t channels = mask.IsEmpty() ? AInput.Format.nChannels : mask.Count();
    const TSVSpeakers outMask = mask.IsEmpty() ? TSVSpeakers::FromMask(AInput.dwChannelMask) : mask;
    const bool toFloat = GetFloat() || (GetBits() == 0 && SVIsFloatFormat(AInput));
    const TSVWaveFormatExtensible format =
        TPXStartWaveOperation::CreateFormatExObject(
            static_cast<int32_t>(AInput.Format.nSamplesPerSec),
            toFloat ? 32 : static_cast<int32_t>(bits), channels, outMask, false)
            ->GetWaveFormat();
    return toFloat ? SVFloatFormatOf(format) : format;
}

TRef<IPXNotifyOperation> TSVFormatFilter::OutputStartOperation(TPXStartWaveOperation& AOperation) {
    const TSVWaveFormatExtensible format = OutputFormat(AOperation.GetWaveFormat());
    {
        std::lock_guard<std::mutex> guard(FStreamLock);
        FStreamFormat = format;
    }
    return TPXStartWaveOperation::Create(format, AOperation.GetPaused());
}

void TSVFormatFilter::FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                              TRef<ISVAudioBuffer>& AOutBuffer, bool&) {
    TSVWaveFormatExtensible format;
    {
        std::lock_guard<std::mutex> guard(FStreamLock);
        format = FStreamFormat;
    }
    if (format.Format.nChannels == 0) // no start seen: the stream's format is unknown
        format = OutputFormat(AInBuffer->GetWaveFormat());
    const uint32_t frames = AInBuffer->GetSize();
    TRef<TSVAudioBuffer> out =
        TSVAudioBuffer::CreateWaveFormatObject(&format, static_cast<int32_t>(frames));
    TSVAudioBuffer::CreateUniversalObject(AInBuffer)->CopyToAudio(0, out, 0, frames);
    const TRef<IRVTimeStamp> from = AInBuffer->GetTimeStamp();
    const TRef<IRVTimeStamp> to = out->GetTimeStamp();
    to->SetBegin(from->GetBegin());
    to->SetEnd(from->GetEnd());
    to->SetAvailable(from->GetAvailable());
    AOutBuffer = out;
}

} // namespace sonvera
