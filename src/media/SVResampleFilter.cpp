#include "sonvera/media/SVResampleFilter.h"

#include <vector>

#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/streams/SVStreamTime.h"

extern "C" {
#include <libswresample/swresample.h>
}

namespace sonvera {

namespace {

struct TSwrFree {
    void operator()(SwrContext* AContext) const noexcept { swr_free(&AContext); }
};

// The input's format at the new rate (float stays float).
TSVWaveFormatExtensible ResampledFormat(const TSVWaveFormatExtensible& AInput, int32_t ARate) {
    const TSVWaveFormatExtensible format =
        TPXStartWaveOperation::CreateFormatExObject(
            ARate, AInput.Samples.wValidBitsPerSample, AInput.Format.nChannels,
            TSVSpeakers::FromMask(AInput.dwChannelMask), false)
            ->GetWaveFormat();
    return SVIsFloatFormat(AInput) ? SVFloatFormatOf(format) : format;
}

} // namespace

// One stream's resampler: interleaved samples in, interleaved samples out, 24-bit samples
// through 32 bits (libswresample has no packed 24-bit format), floats as floats.
class TSVResampleFilter::TResampler {
public:
    TResampler(const TSVWaveFormatExtensible& AInput, int32_t AOutputRate)
        : FOutput(ResampledFormat(AInput, AOutputRate)) {
        const int32_t bits = FOutput.Samples.wValidBitsPerSample;
        const AVSampleFormat format = SVIsFloatFormat(FOutput) ? AV_SAMPLE_FMT_FLT
                                      : bits == 8              ? AV_SAMPLE_FMT_U8
                                      : bits == 16             ? AV_SAMPLE_FMT_S16
                                                               : AV_SAMPLE_FMT_S32;
        AVChannelLayout layout =
            SVChannelLayoutOf(TSVSpeakers::FromMask(AInput.dwChannelMask), AInput.Format.nChannels);
        SwrContext* context = nullptr;
        int error = swr_alloc_set_opts2(&context, &layout, format, AOutputRate, &layout, format,
                                        static_cast<int>(AInput.Format.nSamplesPerSec), 0, nullptr);
        av_channel_layout_uninit(&layout);
        FContext.reset(context);
        if (error >= 0)
            error = swr_init(context);
        if (error < 0)
            throw EArgumentError("cannot resample to " + std::to_string(AOutputRate) +
                                 " Hz: " + SVLAVErrorText(error));
        FClock.Restart(AOutputRate);
    }

    const TSVWaveFormatExtensible& GetOutputFormat() const noexcept { return FOutput; }

    // The samples ABuffer gives at the new rate, or what the resampler still holds for a null
    // ABuffer; null when there are none yet.
    TRef<ISVAudioBuffer> Convert(ISVAudioBuffer* ABuffer) {
        const int32_t frames = ABuffer ? static_cast<int32_t>(ABuffer->GetSize()) : 0;
        const int capacity = swr_get_out_samples(FContext.get(), frames);
        if (capacity <= 0)
            return nullptr;
        const TRef<TSVAudioBuffer> out = TSVAudioBuffer::CreateWaveFormatObject(&FOutput, capacity);
        const int produced =
            FOutput.Samples.wValidBitsPerSample == 24
                ? ConvertWide(ABuffer, frames, capacity, *out)
                : Run(ABuffer ? ABuffer->Read() : nullptr, frames, out->Write(), capacity);
        if (produced <= 0)
            return nullptr;
        out->Resize(static_cast<uint32_t>(produced), true);
        Stamp(ABuffer, *out);
        return out;
    }

private:
    int Run(const void* AInput, int32_t AFrames, void* AOutput, int ACapacity) {
        const auto* in = static_cast<const uint8_t*>(AInput);
        auto* out = static_cast<uint8_t*>(AOutput);
        const int produced = swr_convert(FContext.get(), &out, ACapacity, AInput ? &in : nullptr,
                                         AInput ? AFrames : 0);
        if (produced < 0)
            throw EArgumentError("resampling failed: " + SVLAVErrorText(produced));
        return produced;
    }

    int ConvertWide(ISVAudioBuffer* ABuffer, int32_t AFrames, int ACapacity, TSVAudioBuffer& AOut) {
        const size_t channels = FOutput.Format.nChannels;
        FWideIn.resize(static_cast<size_t>(AFrames) * channels);
        FWideOut.resize(static_cast<size_t>(ACapacity) * channels);
        if (ABuffer)
            SVUnpackS24ToS32(static_cast<const uint8_t*>(ABuffer->Read()), FWideIn.data(),
                             FWideIn.size());
        const int produced =
            Run(ABuffer ? FWideIn.data() : nullptr, AFrames, FWideOut.data(), ACapacity);
        if (produced > 0)
            SVPackS32ToS24(FWideOut.data(), static_cast<uint8_t*>(AOut.Write()),
                           static_cast<size_t>(produced) * channels);
        return produced;
    }

    // On the new rate's clock, from the first stamp the stream brought.
    void Stamp(ISVAudioBuffer* ABuffer, TSVAudioBuffer& AOut) {
        if (!FStarted && ABuffer) {
            const TRef<IRVTimeStamp> stamp = ABuffer->GetTimeStamp();
            FClock.Restart(FOutput.Format.nSamplesPerSec,
                           stamp->GetAvailable() ? stamp->GetBegin() : 0);
            FStarted = true;
        }
        FClock.Stamp(AOut);
    }

    TSVWaveFormatExtensible FOutput;
    std::unique_ptr<SwrContext, TSwrFree> FContext;
    std::vector<int32_t> FWideIn, FWideOut;
    bool FStarted = false;
    TSVStreamClock FClock;
};

TSVResampleFilter::TSVResampleFilter(TPersistent* AOwner) : TSVCommonFilter(AOwner) {}

TSVResampleFilter::~TSVResampleFilter() = default;

const TPropertyTableBase& TSVResampleFilter::ClassPropertyTable() {
    using T = TSVResampleFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVResampleFilter", TQXBasicThreadedEnableFilter::ClassPropertyTable())
            .Cardinal("SampleRate", 0, &T::GetSampleRate, &T::SetSampleRate);
    return table;
}

void TSVResampleFilter::SetSampleRate(uint32_t AValue) {
    if (AValue > KMaxSampleRate)
        throw EArgumentError(FormatMessage("Sample rate out of range = %u", AValue));
    SetPropValue("SampleRate", FSampleRate, AValue);
}

TRef<IPXNotifyOperation>
TSVResampleFilter::OutputStartOperation(TPXStartWaveOperation& AOperation) {
    const TSVWaveFormatExtensible& input = AOperation.GetWaveFormat();
    const uint32_t rate = GetSampleRate();
    std::unique_ptr<TResampler> resampler;
    if (GetEnabled() && rate != 0 && rate != input.Format.nSamplesPerSec)
        resampler = std::make_unique<TResampler>(input, static_cast<int32_t>(rate));
    TRef<ISVAudioBuffer> tail;
    {
        std::lock_guard<std::mutex> guard(FResamplerLock);
        // A start midway (the stream's format changed): what the old resampler holds back
        // still belongs to the stream, in the format announced before.
        if (FResampler)
            tail = FResampler->Convert(nullptr);
        FResampler = std::move(resampler);
    }
    if (tail && GetAudioOutputPin()->IsConnected())
        GetAudioOutputPin()->SubmitBuffer(tail);
    std::lock_guard<std::mutex> guard(FResamplerLock);
    if (!FResampler)
        return TSVCommonFilter::OutputStartOperation(AOperation);
    return TPXStartWaveOperation::Create(FResampler->GetOutputFormat(), AOperation.GetPaused());
}

void TSVResampleFilter::FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                                TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) {
    std::lock_guard<std::mutex> guard(FResamplerLock);
    if (!FResampler)
        return; // the same rate: the buffer passes as it is
    AOutBuffer = FResampler->Convert(AInBuffer.get());
    ASend = AOutBuffer != nullptr;
}

void TSVResampleFilter::StreamStop() {
    TSVCommonFilter::StreamStop(); // what waits for the processing thread is resampled first
    TRef<ISVAudioBuffer> tail;
    {
        std::lock_guard<std::mutex> guard(FResamplerLock);
        if (FResampler)
            tail = FResampler->Convert(nullptr);
        FResampler.reset();
    }
    if (tail && GetAudioOutputPin()->IsConnected())
        GetAudioOutputPin()->SubmitBuffer(tail);
}

} // namespace sonvera
