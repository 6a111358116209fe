#include "Conversion.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "ProgressLine.h"
#include "SignalStop.h"
#include "sonvera/chain/SVChain.h"
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
    TSVChain chain;
    std::string last = chain.NameOf(chain.Add(source));
    const auto append = [&](TPersistent& AComponent) {
        const std::string name = chain.NameOf(chain.Add(AComponent));
        chain.Connect(last, name);
        last = name;
    };
    if (format.Samples.wValidBitsPerSample != input.Samples.wValidBitsPerSample ||
        format.dwChannelMask != input.dwChannelMask) {
        widthAndLayout.SetBits(format.Samples.wValidBitsPerSample);
        widthAndLayout.SetChannelMask(TSVSpeakers::FromMask(format.dwChannelMask));
        append(widthAndLayout);
    }
    if (format.Format.nSamplesPerSec != input.Format.nSamplesPerSec) {
        resample.SetSampleRate(format.Format.nSamplesPerSec);
        append(resample);
    }
    if (AOptions.GainDb) {
        gain.SetGainDB(*AOptions.GainDb);
        append(gain);
    }
    append(writer);

    const TClock::time_point start = TClock::now();
    {
        TProgressLine progress(AOptions.ShowProgress);
        chain.SetOnProgress([&](const TSVChain::TProgress& AProgress) {
            progress.Update(AProgress.Position, AProgress.Duration);
        });
        const TSignalStop signals(chain);
        try {
            chain.Run();
        } catch (const std::exception&) {
            // The components' own messages are said below, without the chain's names.
            if (writer.GetError().empty() && source.GetError().empty())
                throw;
        }
        if (chain.GetStopped())
            throw Exception("interrupted");
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
