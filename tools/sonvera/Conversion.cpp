#include "Conversion.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/media/SVResampleFilter.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

namespace {

using TClock = std::chrono::steady_clock;

std::atomic<bool> GInterrupted{false};

void OnInterrupt(int) {
    GInterrupted = true;
}

// Catches SIGINT and SIGTERM while a stream runs, so that it can stop and clean up.
class TInterruptGuard {
public:
    TInterruptGuard() {
        GInterrupted = false;
        FInt = std::signal(SIGINT, OnInterrupt);
        FTerm = std::signal(SIGTERM, OnInterrupt);
    }
    ~TInterruptGuard() {
        std::signal(SIGINT, FInt);
        std::signal(SIGTERM, FTerm);
    }

private:
    void (*FInt)(int);
    void (*FTerm)(int);
};

// The output under a name of its own in the output's folder (keeping the extension, from which
// the container may be guessed); removed unless Commit renames it to the output's name.
class TTemporaryOutput {
public:
    explicit TTemporaryOutput(const std::filesystem::path& AOutput) : FOutput(AOutput) {
        // Built by appending: g++ 12 at -O3 misreads `"." + std::string&&` as an overlapping copy.
        std::string name = ".";
        name += AOutput.stem().string();
        name += ".part-" + std::to_string(getpid());
        name += AOutput.extension().string();
        FPath = AOutput.parent_path() / name;
    }
    ~TTemporaryOutput() {
        std::error_code ignored;
        if (!FCommitted)
            std::filesystem::remove(FPath, ignored);
    }
    std::string GetPath() const { return FPath.string(); }
    void Commit() {
        std::error_code error;
        std::filesystem::rename(FPath, FOutput, error);
        if (error)
            throw Exception(FOutput.string() + ": " + error.message());
        FCommitted = true;
    }

private:
    std::filesystem::path FOutput;
    std::filesystem::path FPath;
    bool FCommitted = false;
};

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
    const TInterruptGuard interrupts;
    const bool finished = AConsumer.Render(AGenerator, [&] {
        if (AOnPumped)
            AOnPumped();
        return !GInterrupted;
    });
    if (!finished)
        throw Exception("interrupted");
}

TConversionResult Convert(const TConversionOptions& AOptions) {
    TSVLAVFileSource source(nullptr);
    source.SetFileName(AOptions.Input);
    source.SetStrict(AOptions.Strict);
    source.Open();
    const TSVWaveFormatExtensible input = source.GetWaveFormat();

    TTemporaryOutput output(AOptions.Output);
    TSVLAVFileWriter writer(nullptr);
    // The container is chosen by the output's name; the temporary name keeps its extension.
    writer.SetFileName(AOptions.Output);
    ConfigureWriter(writer, AOptions);
    writer.Container(); // raises when there is none
    const TSVWaveFormatExtensible format =
        writer.NegotiateFormat(input, {AOptions.Bits, AOptions.Rate, AOptions.Layout});
    writer.SetFileName(output.GetPath());

    // Only the filters that change something stand in the chain.
    TSVFormatFilter widthAndLayout(nullptr);
    TSVResampleFilter resample(nullptr);
    TSVGainFilter gain(nullptr);
    TPXPin* last = source.GetOutputPin();
    const auto append = [&last](TPXPin* AInput, TPXPin* AOutput) {
        Connect(last, AInput);
        last = AOutput;
    };
    if (format.Samples.wValidBitsPerSample != input.Samples.wValidBitsPerSample ||
        format.dwChannelMask != input.dwChannelMask) {
        widthAndLayout.SetBits(format.Samples.wValidBitsPerSample);
        widthAndLayout.SetChannelMask(TSVSpeakers::FromMask(format.dwChannelMask));
        append(widthAndLayout.GetInputPin(), widthAndLayout.GetOutputPin());
    }
    if (format.Format.nSamplesPerSec != input.Format.nSamplesPerSec) {
        resample.SetSampleRate(format.Format.nSamplesPerSec);
        append(resample.GetInputPin(), resample.GetOutputPin());
    }
    if (AOptions.GainDb) {
        gain.SetGainDB(*AOptions.GainDb);
        append(gain.GetInputPin(), gain.GetOutputPin());
    }
    Connect(last, writer.GetInputPin());

    const TClock::time_point start = TClock::now();
    {
        TProgressLine progress(source.GetDuration(), AOptions.ShowProgress);
        RunPumped(source, writer, [&] { progress.Update(source.GetPosition()); });
    }
    // The writer names the temporary file; the user knows the output's name.
    const auto named = [&](std::string AMessage) {
        for (size_t at; (at = AMessage.find(output.GetPath())) != std::string::npos;)
            AMessage.replace(at, output.GetPath().size(), AOptions.Output);
        return AMessage;
    };
    if (!writer.GetError().empty())
        throw Exception(named(writer.GetError()));
    if (!source.GetError().empty())
        throw Exception(source.GetError());
    output.Commit();

    TConversionResult result;
    const AVCodec& codec = writer.Encoder(format.Samples.wValidBitsPerSample);
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec.id);
    result.Codec = codec.name;
    result.Lossless = descriptor && (descriptor->props & AV_CODEC_PROP_LOSSLESS);
    result.Format = format;
    result.Frames = writer.GetFramesWritten();
    result.FormatChanges = source.GetFormatChanges();
    result.DamagedFrames = source.GetDamagedFrames();
    result.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    return result;
}

} // namespace sonvera::tool
