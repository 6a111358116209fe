#include "sonvera/components/SVFormatFilter.h"

#include "sonvera/components/Categories.h"
#include "sonvera/primitives/SVFloatKernels.h"
#include "sonvera/primitives/SVSampleTraits.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

const TClassInfo& TSVFormatFilter::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVFormatFilter",
                                 .Category = &TSonveraConvertersToolbarCategory::ClassInfo(),
                                 .ShortName = "format",
                                 .Description = "Changes the sample width and the speaker layout"};
    return info;
}

template <> const TEnumTypeInfo& EnumTypeInfo<TSVWidthRule>() {
    static const TEnumTypeInfo info(
        "TSVWidthRule", {{"wrBitTransparent", wrBitTransparent}, {"wrFullRange", wrFullRange}});
    return info;
}

namespace {

// Sets the columns of the speakers AOutput has and AInput lacks to the 8-bit silence
// (CopyToAudio silences with the byte 0).
void SilenceAddedSpeakers8(ISVAudioBuffer& ABuffer, TSVSpeakers AInput, TSVSpeakers AOutput) {
    auto* bytes = static_cast<uint8_t*>(ABuffer.Modify());
    const int32_t channels = ABuffer.GetChannels();
    int32_t column = 0;
    for (int32_t speaker = 0; speaker < 32 && column < channels; ++speaker) {
        const uint32_t bit = uint32_t{1} << speaker;
        if (!(AOutput.Mask() & bit))
            continue;
        if (!(AInput.Mask() & bit))
            for (uint32_t frame = 0; frame < ABuffer.GetSize(); ++frame)
                bytes[size_t{frame} * static_cast<size_t>(channels) + static_cast<size_t>(column)] =
                    TSVSampleTraits<8>::KSilence;
        ++column;
    }
}

} // namespace

const TPropertyTableBase& TSVFormatFilter::ClassPropertyTable() {
    using T = TSVFormatFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVFormatFilter", TQXBasicThreadedEnableFilter::ClassPropertyTable())
            .Cardinal("Bits", 0, &T::GetBits, &T::SetBits)
            .About("8, 16, 24 or 32; 0 keeps the input's width")
            .Boolean("Float", false, &T::GetFloat, &T::SetFloat)
            .About("32-bit float samples instead of integers")
            .Set(
                "ChannelMask", EnumTypeInfo<TSVSpeaker>(), 0,
                [](const T& AFilter) { return AFilter.GetChannelMask().Mask(); },
                [](T& AFilter, uint32_t AMask) {
                    AFilter.SetChannelMask(TSVSpeakers::FromMask(AMask));
                })
            .About("the output speakers; empty keeps the input's layout")
            .Enumeration("Rule", wrBitTransparent, &T::GetRule, &T::SetRule)
            .About("how widths change: wrBitTransparent (exact widening, rounded narrowing) or "
                   "wrFullRange")
            .Boolean("Dither", false, &T::GetDither, &T::SetDither)
            .About("TPDF dither when narrowing");
    return table;
}

void TSVFormatFilter::SetBits(uint32_t AValue) {
    if (AValue != 0 && AValue != 8 && AValue != 16 && AValue != 24 && AValue != 32)
        throw EArgumentError(FormatMessage("Bits per sample out of range = %u", AValue));
    SetPropValue("Bits", FBits, AValue);
}

void TSVFormatFilter::SetRule(TSVWidthRule AValue) {
    if (AValue != wrBitTransparent && AValue != wrFullRange)
        throw EArgumentError(FormatMessage("Rule out of range = %u", unsigned{AValue}));
    SetPropValue("Rule", FRule, AValue);
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
        FDitherState = {};
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
    if (SVIsFloatFormat(format) || SVIsFloatBuffer(*AInBuffer)) {
        AOutBuffer = ConvertFloat(AInBuffer, format);
        return;
    }
    if (GetRule() == wrBitTransparent) {
        AOutBuffer = ConvertTransparently(AInBuffer, format);
        return;
    }
    const uint32_t frames = AInBuffer->GetSize();
    TRef<TSVAudioBuffer> out =
        TSVAudioBuffer::CreateWaveFormatObject(&format, static_cast<int32_t>(frames));
    TSVAudioBuffer::CreateUniversalObject(AInBuffer)->CopyToAudio(0, out, 0, frames);
    SVCopyStamp(*AInBuffer, *out);
    AOutBuffer = out;
}

// Between float and integers: CopyToAudio pairs the speakers and converts in one pass, unless the
// narrowing is dithered, which then runs over the arranged floats.
TRef<ISVAudioBuffer> TSVFormatFilter::ConvertFloat(const TRef<ISVAudioBuffer>& AInBuffer,
                                                   const TSVWaveFormatExtensible& AFormat) {
    const auto frames = static_cast<int32_t>(AInBuffer->GetSize());
    const TRef<TSVAudioBuffer> source = TSVAudioBuffer::CreateUniversalObject(AInBuffer);
    const bool toFloat = SVIsFloatFormat(AFormat);
    const bool dither = !toFloat && GetDither(); // the component lock, never inside FStreamLock
    const TSVWaveFormatExtensible staging = dither ? SVFloatFormatOf(AFormat) : AFormat;
    TRef<TSVAudioBuffer> out = TSVAudioBuffer::CreateWaveFormatObject(&staging, frames);
    source->CopyToAudio(0, out, 0, static_cast<uint32_t>(frames));
    if (dither) {
        const TRef<TSVAudioBuffer> narrowed =
            TSVAudioBuffer::CreateWaveFormatObject(&AFormat, frames);
        std::lock_guard<std::mutex> guard(FStreamLock);
        SVFloatToIntegerDithered(static_cast<const float*>(out->Read()), sizeof(float),
                                 static_cast<uint8_t*>(narrowed->Write()),
                                 AFormat.Samples.wValidBitsPerSample,
                                 AFormat.Samples.wValidBitsPerSample / 8u,
                                 size_t(frames) * AFormat.Format.nChannels, FDitherState.Seed);
        out = narrowed;
    }
    if (!toFloat && AFormat.Samples.wValidBitsPerSample == 8)
        SilenceAddedSpeakers8(*out, AInBuffer->GetChannelMask(),
                              TSVSpeakers::FromMask(AFormat.dwChannelMask));
    SVCopyStamp(*AInBuffer, *out);
    return out;
}

// The speakers first, at the input's width (CopyToAudio between equal widths copies bytes),
// then every sample of every channel in one run.
TRef<ISVAudioBuffer> TSVFormatFilter::ConvertTransparently(const TRef<ISVAudioBuffer>& AInBuffer,
                                                           const TSVWaveFormatExtensible& AFormat) {
    const TSVWaveFormatExtensible input = AInBuffer->GetWaveFormat();
    const int32_t frames = static_cast<int32_t>(AInBuffer->GetSize());
    const int32_t inBits = AInBuffer->GetSampleBitWidth();
    TRef<ISVAudioBuffer> arranged = AInBuffer;
    if (input.dwChannelMask != AFormat.dwChannelMask ||
        input.Format.nChannels != AFormat.Format.nChannels) {
        const TSVWaveFormatExtensible layout =
            TPXStartWaveOperation::CreateFormatExObject(
                static_cast<int32_t>(AFormat.Format.nSamplesPerSec), inBits,
                AFormat.Format.nChannels, TSVSpeakers::FromMask(AFormat.dwChannelMask), false)
                ->GetWaveFormat();
        TRef<TSVAudioBuffer> staged = TSVAudioBuffer::CreateWaveFormatObject(&layout, frames);
        TSVAudioBuffer::CreateUniversalObject(AInBuffer)->CopyToAudio(
            0, staged, 0, static_cast<uint32_t>(frames));
        if (inBits == 8)
            SilenceAddedSpeakers8(*staged, TSVSpeakers::FromMask(input.dwChannelMask),
                                  TSVSpeakers::FromMask(AFormat.dwChannelMask));
        arranged = staged;
    }
    const int32_t outBits = AFormat.Samples.wValidBitsPerSample;
    if (outBits == inBits) {
        SVCopyStamp(*AInBuffer, *arranged);
        return arranged;
    }
    TRef<TSVAudioBuffer> out = TSVAudioBuffer::CreateWaveFormatObject(&AFormat, frames);
    const bool dither = GetDither(); // the component lock, never inside FStreamLock
    std::lock_guard<std::mutex> guard(FStreamLock);
    SVConvertBitsTransparent(arranged->Read(), inBits, inBits / 8, out->Write(), outBits,
                             outBits / 8, int64_t{frames} * AFormat.Format.nChannels,
                             dither ? &FDitherState : nullptr);
    SVCopyStamp(*AInBuffer, *out);
    return out;
}

} // namespace sonvera
