#include "Conversion.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "ProgressLine.h"
#include "SignalGuard.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/effects/SVDynamicsFilters.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/media/SVResampleFilter.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

namespace {

using TClock = std::chrono::steady_clock;

void ConfigureWriter(TSVLAVFileWriter& AWriter, const TConversionOptions& AOptions) {
    if (!AOptions.Format.empty())
        AWriter.GetFileFormat()->SetName(AOptions.Format);
    if (!AOptions.Codec.empty())
        AWriter.GetCompression()->SetName(AOptions.Codec);
    if (AOptions.BitRate)
        AWriter.GetCompression()->SetBitRate(*AOptions.BitRate);
    for (const auto& [name, value] : AOptions.CodecOptions) {
        auto& option = AWriter.GetCompression()->GetOptions()->Add<TRVLAVCompressionOptionString>();
        option.SetName(name);
        option.SetValue(value);
    }
}

} // namespace

std::string FormatStreamTime(int64_t ATime) {
    const int64_t millis = std::max<int64_t>(ATime, 0) / 10'000;
    return FormatMessage("%lld:%02lld.%03lld", static_cast<long long>(millis / 60'000),
                         static_cast<long long>(millis / 1000 % 60),
                         static_cast<long long>(millis % 1000));
}

void StopChain(void* ARunning) noexcept {
    auto* running = static_cast<TRunningChain*>(ARunning);
    for (TSVLAVFileSource* source : running->Sources)
        source->Interrupt();
    running->Chain->Stop();
}

void RunPumped(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer,
               const std::function<void()>& AOnPumped) {
    // A caught signal stops the stream with a plain stop, so that the writers leave no file.
    const bool finished = AConsumer.Render(AGenerator, [&] {
        if (AOnPumped)
            AOnPumped();
        return TSignalGuard::Caught() == 0;
    });
    if (!finished)
        TSignalGuard::ThrowIfCaught();
}

namespace {

TConversionResult ConvertFrom(TSVLAVFileSource& ASource, const TConversionOptions& AOptions) {
    ASource.SetFileName(AOptions.Input);
    ASource.SetStrict(AOptions.Strict);
    ASource.SetAllowedInputs(AOptions.AllowedInputs);
    ASource.Open();
    const TSVWaveFormatExtensible input = ASource.GetWaveFormat();

    TSVLAVFileWriter writer(nullptr);
    writer.SetFileName(AOptions.Output);
    ConfigureWriter(writer, AOptions);
    writer.Container(); // raises when there is none
    const TSVWaveFormatExtensible format =
        writer.NegotiateFormat(input, {AOptions.Bits, AOptions.Rate, AOptions.Layout});

    // Only the filters that change something stand in the chain.
    TSVFormatFilter widthAndLayout(nullptr);
    TSVResampleFilter resample(nullptr);
    TSVGainFilter gain(nullptr);
    // Normalisation scales floats, so that nothing clips before the limiter.
    TSVFormatFilter toFloat(nullptr), fromFloat(nullptr);
    TSVLimiter limiter(nullptr);
    // Declared after every component it holds, so that it is destroyed (and stops them) first.
    TSVChain chain;
    std::string last = chain.NameOf(chain.Add(ASource));
    const auto append = [&](TPersistent& AComponent) {
        const std::string name = chain.NameOf(chain.Add(AComponent));
        chain.Connect(last, name);
        last = name;
    };
    if (format.Samples.wValidBitsPerSample != input.Samples.wValidBitsPerSample ||
        format.dwChannelMask != input.dwChannelMask ||
        SVIsFloatFormat(format) != SVIsFloatFormat(input)) {
        widthAndLayout.SetBits(format.Samples.wValidBitsPerSample);
        widthAndLayout.SetChannelMask(TSVSpeakers::FromMask(format.dwChannelMask));
        append(widthAndLayout);
    }
    if (format.Format.nSamplesPerSec != input.Format.nSamplesPerSec) {
        resample.SetSampleRate(format.Format.nSamplesPerSec);
        append(resample);
    }
    if (AOptions.LoudnessGainDb) {
        toFloat.SetFloat(true);
        append(toFloat);
    }
    if (AOptions.GainDb || AOptions.LoudnessGainDb) {
        gain.SetGainDB(AOptions.GainDb.value_or(0) + AOptions.LoudnessGainDb.value_or(0));
        append(gain);
    }
    if (AOptions.LoudnessGainDb) {
        limiter.SetCeiling(AOptions.LimiterCeilingDb.value_or(0));
        append(limiter);
        fromFloat.SetBits(format.Samples.wValidBitsPerSample);
        append(fromFloat);
    }
    append(writer);

    const TClock::time_point start = TClock::now();
    {
        TProgressLine progress(AOptions.ShowProgress);
        chain.SetOnProgress([&](const TSVChain::TProgress& AProgress) {
            progress.Update(AProgress.Position, AProgress.Duration);
        });
        TRunningChain running{&chain, {&ASource}};
        const TSignalGuard signals(StopChain, &running);
        try {
            chain.Run();
        } catch (const std::exception&) {
            // The components' own messages are said below, without the chain's names.
            if (writer.GetError().empty() && ASource.GetError().empty())
                throw;
        }
        if (chain.GetStopped())
            TSignalGuard::ThrowIfCaught();
    }
    if (!writer.GetError().empty())
        throw Exception(writer.GetError());
    if (!ASource.GetError().empty())
        throw Exception(ASource.GetError());

    TConversionResult result;
    const AVCodec& codec = writer.Encoder(format.Samples.wValidBitsPerSample);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.id);
    result.Codec = codec.name;
    result.Lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS);
    result.Format = format;
    result.Frames = writer.GetFramesWritten();
    result.FormatChanges = ASource.GetFormatChanges();
    result.DamagedFrames = ASource.GetDamagedFrames();
    result.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    return result;
}

} // namespace

TConversionResult Convert(const TConversionOptions& AOptions) {
    TSVLAVFileSource source(nullptr);
    // A signal also ends a read that waits on a stalled pipe.
    const TSignalGuard signals(
        [](void* ASource) noexcept { static_cast<TSVLAVFileSource*>(ASource)->Interrupt(); },
        &source);
    try {
        return ConvertFrom(source, AOptions);
    } catch (const EInterrupted&) {
        throw;
    } catch (...) {
        TSignalGuard::ThrowIfCaught(); // the signal is the cause, whatever failed after it
        throw;
    }
}

} // namespace sonvera::tool
