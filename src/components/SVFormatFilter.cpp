#include "sonvera/components/SVFormatFilter.h"

#include "sonvera/components/Categories.h"

namespace sonvera {

const TClassInfo& TSVFormatFilter::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVFormatFilter",
                                 .Category = &TSonveraConvertersToolbarCategory::ClassInfo(),
                                 .ShortName = "format",
                                 .Description = "changes the sample width and the speaker layout"};
    return info;
}

const TPropertyTableBase& TSVFormatFilter::ClassPropertyTable() {
    using T = TSVFormatFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVFormatFilter", TQXBasicThreadedEnableFilter::ClassPropertyTable())
            .Cardinal("Bits", 0, &T::GetBits, &T::SetBits)
            .About("8, 16, 24 or 32; 0 keeps the input's width")
            .Set(
                "ChannelMask", EnumTypeInfo<TSVSpeaker>(), 0,
                [](const T& AFilter) { return AFilter.GetChannelMask().Mask(); },
                [](T& AFilter, uint32_t AMask) {
                    AFilter.SetChannelMask(TSVSpeakers::FromMask(AMask));
                })
            .About("the output speakers; empty keeps the input's layout");
    return table;
}

void TSVFormatFilter::SetBits(uint32_t AValue) {
    if (AValue != 0 && AValue != 8 && AValue != 16 && AValue != 24 && AValue != 32)
        throw EArgumentError(FormatMessage("Bits per sample out of range = %u", AValue));
    SetPropValue("Bits", FBits, AValue);
}

void TSVFormatFilter::SetChannelMask(TSVSpeakers AValue) {
    SetPropValue("ChannelMask", FChannelMask, AValue);
}

TSVWaveFormatExtensible TSVFormatFilter::OutputFormat(const TSVWaveFormatExtensible& AInput) const {
    const uint32_t bits = GetBits() ? GetBits() : AInput.Samples.wValidBitsPerSample;
    const TSVSpeakers mask = GetChannelMask();
    const int32_t channels = mask.IsEmpty() ? AInput.Format.nChannels : mask.Count();
    const TSVSpeakers outMask = mask.IsEmpty() ? TSVSpeakers::FromMask(AInput.dwChannelMask) : mask;
    return TPXStartWaveOperation::CreateFormatExObject(
               static_cast<int32_t>(AInput.Format.nSamplesPerSec), static_cast<int32_t>(bits),
               channels, outMask, false)
        ->GetWaveFormat();
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
