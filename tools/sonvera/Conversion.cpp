#include "Conversion.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>

#include "SignalGuard.h"

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

// Percent of the input, speed and time left on one line of standard error, redrawn at most a
// few times a second.
class TProgressLine {
public:
    TProgressLine(int64_t ADuration, bool AEnabled) : FDuration(ADuration), FEnabled(AEnabled) {}
    ~TProgressLine() {
        if (FDrawn)
            std::fputs("\r\033[K", stderr);
    }

    void Update(int64_t APosition) {
        if (!FEnabled)
            return;
        const TClock::time_point now = TClock::now();
        if (now < FNextDraw)
            return;
        FNextDraw = now + std::chrono::milliseconds(250);
        const double elapsed = std::chrono::duration<double>(now - FStart).count();
        const double done = static_cast<double>(APosition) / KUnitsPerSecond;
        const double speed = elapsed > 0 ? done / elapsed : 0;
        if (FDuration > 0) {
            const double total = static_cast<double>(FDuration) / KUnitsPerSecond;
            const double left = speed > 0 ? std::max(0.0, total - done) / speed : 0;
            std::fprintf(stderr, "\r%5.1f%%  %6.1fx real time  %s left\033[K",
                         std::min(100.0, 100.0 * done / total), speed,
                         FormatStreamTime(static_cast<int64_t>(left * KUnitsPerSecond)).c_str());
        } else {
            std::fprintf(stderr, "\r%s  %6.1fx real time\033[K",
                         FormatStreamTime(APosition).c_str(), speed);
        }
        std::fflush(stderr);
        FDrawn = true;
    }

private:
    int64_t FDuration;
    bool FEnabled;
    bool FDrawn = false;
    TClock::time_point FStart = TClock::now();
    TClock::time_point FNextDraw = FStart;
};

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

void Connect(TPXPin* AOutput, TPXPin* AInput) {
    if (!AOutput->Connect(AInput))
        throw EAssertionFailed("Assertion failure (sonvera convert)");
}

} // namespace

std::string FormatStreamTime(int64_t ATime) {
    const int64_t millis = std::max<int64_t>(ATime, 0) / 10'000;
    return FormatMessage("%lld:%02lld.%03lld", static_cast<long long>(millis / 60'000),
                         static_cast<long long>(millis / 1000 % 60),
                         static_cast<long long>(millis % 1000));
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
    TPXPin* last = ASource.GetOutputPin();
    const auto append = [&last](TPXPin* AInput, TPXPin* AOutput) {
        Connect(last, AInput);
        last = AOutput;
    };
    if (format.Samples.wValidBitsPerSample != input.Samples.wValidBitsPerSample ||
        format.dwChannelMask != input.dwChannelMask ||
        SVIsFloatFormat(format) != SVIsFloatFormat(input)) {
        widthAndLayout.SetBits(format.Samples.wValidBitsPerSample);
        widthAndLayout.SetChannelMask(TSVSpeakers::FromMask(format.dwChannelMask));
        append(widthAndLayout.GetInputPin(), widthAndLayout.GetOutputPin());
    }
    if (format.Format.nSamplesPerSec != input.Format.nSamplesPerSec) {
        resample.SetSampleRate(format.Format.nSamplesPerSec);
        append(resample.GetInputPin(), resample.GetOutputPin());
    }
    // Normalisation scales floats, so that nothing clips before the limiter.
    TSVFormatFilter toFloat(nullptr), fromFloat(nullptr);
    TSVLimiter limiter(nullptr);
    if (AOptions.LoudnessGainDb) {
        toFloat.SetFloat(true);
        append(toFloat.GetInputPin(), toFloat.GetOutputPin());
    }
    if (AOptions.GainDb || AOptions.LoudnessGainDb) {
        gain.SetGainDB(AOptions.GainDb.value_or(0) + AOptions.LoudnessGainDb.value_or(0));
        append(gain.GetInputPin(), gain.GetOutputPin());
    }
    if (AOptions.LoudnessGainDb) {
        limiter.SetCeiling(AOptions.LimiterCeilingDb.value_or(0));
        append(limiter.GetInputPin(), limiter.GetOutputPin());
        fromFloat.SetBits(format.Samples.wValidBitsPerSample);
        append(fromFloat.GetInputPin(), fromFloat.GetOutputPin());
    }
    Connect(last, writer.GetInputPin());

    const TClock::time_point start = TClock::now();
    {
        TProgressLine progress(ASource.GetDuration(), AOptions.ShowProgress);
        RunPumped(ASource, writer, [&] { progress.Update(ASource.GetPosition()); });
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
