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

namespace sonvera::tool {

namespace {

using TClock = std::chrono::steady_clock;

constexpr int64_t KUnitsPerSecond = 10'000'000;

std::atomic<bool> GInterrupted{false};

void OnInterrupt(int) {
    GInterrupted = true;
}

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

TSVWaveFormatExtensible StreamFormat(int32_t ARate, int32_t ABits, TSVSpeakers ALayout) {
    return TPXStartWaveOperation::CreateFormatExObject(ARate, ABits, ALayout.Count(), ALayout,
                                                       false)
        ->GetWaveFormat();
}

// The input's width first, then the nearest wider ones, then the narrower ones.
std::vector<int32_t> WidthsToTry(int32_t AInput) {
    std::vector<int32_t> widths{AInput};
    for (int32_t bits : {8, 16, 24, 32})
        if (bits > AInput)
            widths.push_back(bits);
    for (int32_t bits : {32, 24, 16, 8})
        if (bits < AInput)
            widths.push_back(bits);
    return widths;
}

bool TakesRate(const AVCodec& ACodec, int32_t ARate) {
    if (!ACodec.supported_samplerates)
        return true;
    for (const int* rate = ACodec.supported_samplerates; *rate != 0; ++rate)
        if (*rate == ARate)
            return true;
    return false;
}

// The lowest rate the codec takes at or above ARate, else its highest.
int32_t NearestRate(const AVCodec& ACodec, int32_t ARate) {
    int32_t above = 0, highest = 0;
    for (const int* rate = ACodec.supported_samplerates; *rate != 0; ++rate) {
        highest = std::max(highest, *rate);
        if (*rate >= ARate && (above == 0 || *rate < above))
            above = *rate;
    }
    return above ? above : highest;
}

bool TakesLayout(const AVCodec& ACodec, TSVSpeakers ALayout) {
    if (!ACodec.ch_layouts)
        return true;
    AVChannelLayout layout = SVChannelLayoutOf(ALayout, ALayout.Count());
    bool found = false;
    for (const AVChannelLayout* known = ACodec.ch_layouts; known->nb_channels != 0 && !found;
         ++known)
        found = av_channel_layout_compare(known, &layout) == 0;
    av_channel_layout_uninit(&layout);
    return found;
}

// The format the chain delivers to the writer: the options' rate, width and layout, else the
// input's where the encoder takes them and the nearest it takes where it does not.
TSVWaveFormatExtensible ChooseFormat(const TConversionOptions& AOptions,
                                     const TSVWaveFormatExtensible& AInput,
                                     const TSVLAVFileWriter& AWriter) {
    const TSVSpeakers layout =
        AOptions.Layout.value_or(TSVSpeakers::FromMask(AInput.dwChannelMask));
    const std::vector<int32_t> widths = AOptions.Bits
                                            ? std::vector<int32_t>{*AOptions.Bits}
                                            : WidthsToTry(AInput.Samples.wValidBitsPerSample);
    std::string refusal;
    for (const int32_t bits : widths) {
        const AVCodec* codec = &AWriter.Encoder(bits);
        if (!TakesLayout(*codec, layout))
            throw EArgumentError(
                FormatMessage("codec '%s' cannot take %d channels", codec->name, layout.Count()) +
                (AOptions.Layout ? "" : " (choose one with --layout)"));
        int32_t rate = AOptions.Rate.value_or(static_cast<int32_t>(AInput.Format.nSamplesPerSec));
        if (!TakesRate(*codec, rate)) {
            if (AOptions.Rate)
                throw EArgumentError(
                    FormatMessage("codec '%s' cannot take %d Hz", codec->name, rate));
            rate = NearestRate(*codec, rate);
        }
        const TSVWaveFormatExtensible format = StreamFormat(rate, bits, layout);
        std::string why;
        if (TSVLAVFileWriter::EncoderTakes(*codec, format, why))
            return format;
        if (refusal.empty())
            refusal = why;
    }
    throw EArgumentError(refusal);
}

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

TInterruptGuard::TInterruptGuard() {
    GInterrupted = false;
    FInt = std::signal(SIGINT, OnInterrupt);
    FTerm = std::signal(SIGTERM, OnInterrupt);
}

TInterruptGuard::~TInterruptGuard() {
    std::signal(SIGINT, FInt);
    std::signal(SIGTERM, FTerm);
}

bool TInterruptGuard::Interrupted() const {
    return GInterrupted;
}

TTemporaryOutput::TTemporaryOutput(const std::filesystem::path& AOutput) : FOutput(AOutput) {
    // Built by appending: g++ 12 at -O3 misreads `"." + std::string&&` as an overlapping copy.
    std::string name = ".";
    name += AOutput.stem().string();
    name += ".part-" + std::to_string(getpid());
    name += AOutput.extension().string();
    FPath = AOutput.parent_path() / name;
}

TTemporaryOutput::~TTemporaryOutput() {
    std::error_code ignored;
    if (!FCommitted)
        std::filesystem::remove(FPath, ignored);
}

void TTemporaryOutput::Commit() {
    std::error_code error;
    std::filesystem::rename(FPath, FOutput, error);
    if (error)
        throw Exception(FOutput.string() + ": " + error.message());
    FCommitted = true;
}

std::string TTemporaryOutput::Named(std::string AMessage) const {
    const std::string path = GetPath();
    for (size_t at; (at = AMessage.find(path)) != std::string::npos;)
        AMessage.replace(at, path.size(), FOutput.string());
    return AMessage;
}

std::string FormatStreamTime(int64_t ATime) {
    const int64_t millis = std::max<int64_t>(ATime, 0) / 10'000;
    return FormatMessage("%lld:%02lld.%03lld", static_cast<long long>(millis / 60'000),
                         static_cast<long long>(millis / 1000 % 60),
                         static_cast<long long>(millis % 1000));
}

void RunPumped(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer,
               const std::function<void()>& AOnPumped) {
    const TInterruptGuard interrupts;
    AConsumer.GetMasterPumping()->SetEnabled(true);
    AGenerator.Start();
    const TRef<IPXNotifyOperation> request = TPXPumpRequestOperation::Create();
    while (AGenerator.GetRunning()) {
        AConsumer.GetInputPin()->Notify(request);
        TMainThread::ProcessQueue(); // where the stream's end arrives
        if (AOnPumped)
            AOnPumped();
        if (interrupts.Interrupted()) {
            AGenerator.Stop();
            throw Exception("interrupted");
        }
    }
}

TConversionResult Convert(const TConversionOptions& AOptions) {
    TSVLAVFileSource source(nullptr);
    source.SetFileName(AOptions.Input);
    source.Open();
    const TSVWaveFormatExtensible input = source.GetWaveFormat();

    TTemporaryOutput output(AOptions.Output);
    TSVLAVFileWriter writer(nullptr);
    // The container is chosen by the output's name; the temporary name keeps its extension.
    writer.SetFileName(AOptions.Output);
    ConfigureWriter(writer, AOptions);
    writer.Container(); // raises when there is none
    const TSVWaveFormatExtensible format = ChooseFormat(AOptions, input, writer);
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
    if (!writer.GetError().empty())
        throw Exception(output.Named(writer.GetError()));
    if (!source.GetError().empty())
        throw Exception(source.GetError());
    output.Commit();

    TConversionResult result;
    result.Codec = writer.Encoder(format.Samples.wValidBitsPerSample).name;
    result.Format = format;
    result.Frames = writer.GetFramesWritten();
    result.Seconds = std::chrono::duration<double>(TClock::now() - start).count();
    return result;
}

} // namespace sonvera::tool
