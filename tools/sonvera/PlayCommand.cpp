// sonvera play: a file through the file source into the sound-server output, which paces the
// chain on the device's clock.
#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "Commands.h"
#include "Conversion.h"
#include "Options.h"
#include "SignalGuard.h"
#include "sonvera/devices/SVPulseAudioOut.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVResampleFilter.h"

namespace sonvera::tool {

namespace {

constexpr const char* KPlayUsage = "usage: sonvera play FILE [--device NAME] [--latency MS] [--quiet]";

struct TPlayOptions {
    std::string File;
    std::string Device; // empty: the default sink
    int32_t Latency = TSVPulseAudioOut::KDefaultLatency;
    bool Quiet = false;
};

TPlayOptions ParsePlayArguments(const std::vector<std::string>& AArguments) {
    TPlayOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < AArguments.size(); ++i) {
        const std::string& argument = AArguments[i];
        if (argument.rfind("--", 0) != 0) {
            files.push_back(argument);
        } else if (argument == "--quiet") {
            options.Quiet = true;
        } else if (i + 1 >= AArguments.size()) {
            throw EArgumentError("option " + argument + " needs a value");
        } else if (argument == "--device") {
            options.Device = AArguments[++i];
        } else if (argument == "--latency") {
            options.Latency = ParseAmount(argument, AArguments[++i], {{"", 1}, {"ms", 1}}, 10'000);
        } else {
            throw EArgumentError("unknown option " + argument);
        }
    }
    if (files.size() != 1)
        throw EArgumentError(KPlayUsage);
    options.File = files[0];
    return options;
}

// Position, duration and underruns on one line of standard error, redrawn a few times a second.
class TPlayProgress {
public:
    TPlayProgress(int64_t ADuration, bool AEnabled) : FDuration(ADuration), FEnabled(AEnabled) {}
    ~TPlayProgress() {
        if (FDrawn)
            std::fputs("\r\033[K", stderr);
    }
    void Update(int64_t APosition, uint64_t AUnderruns) {
        const auto now = std::chrono::steady_clock::now();
        if (!FEnabled || now < FNextDraw)
            return;
        FNextDraw = now + std::chrono::milliseconds(200);
        std::fprintf(stderr, "\r%s / %s  %llu underruns\033[K", FormatStreamTime(APosition).c_str(),
                     FDuration > 0 ? FormatStreamTime(FDuration).c_str() : "?",
                     static_cast<unsigned long long>(AUnderruns));
        std::fflush(stderr);
        FDrawn = true;
    }

private:
    int64_t FDuration;
    bool FEnabled;
    bool FDrawn = false;
    std::chrono::steady_clock::time_point FNextDraw{};
};

} // namespace

int RunPlay(const std::vector<std::string>& AArguments) {
    const TPlayOptions options = ParsePlayArguments(AArguments);
    TSVLAVFileSource source(nullptr);
    source.SetFileName(options.File);
    source.Open();
    TSVPulseAudioOut output(nullptr);
    output.SetDevice(options.Device);
    output.SetLatency(options.Latency);
    output.SetStreamName(options.File);

    // The server takes every width and speaker layout the source gives, and rates up to its
    // own limit; a higher rate is brought down to one it takes.
    TSVResampleFilter resample(nullptr);
    TPXPin* last = source.GetOutputPin();
    if (source.GetWaveFormat().Format.nSamplesPerSec > PA_RATE_MAX) {
        resample.SetSampleRate(192'000);
        if (!last->Connect(resample.GetInputPin()))
            throw EAssertionFailed("Assertion failure (sonvera play)");
        last = resample.GetOutputPin();
    }
    if (!last->Connect(output.GetInputPin()))
        throw EAssertionFailed("Assertion failure (sonvera play)");

    {
        // A signal stops the sound at once: the output drops what it has queued.
        const TSignalGuard signals;
        TPlayProgress progress(source.GetDuration(), !options.Quiet && isatty(STDERR_FILENO));
        RunPumped(source, output,
                  [&] { progress.Update(source.GetPosition(), output.GetUnderruns()); });
    }
    if (!output.GetError().empty())
        throw Exception(output.GetError());
    if (!source.GetError().empty())
        throw Exception(source.GetError());
    if (!options.Quiet)
        std::printf("%s: %s played on %s, latency asked %d ms, granted %.1f ms, measured "
                    "%.1f ms, %llu underruns\n",
                    options.File.c_str(), FormatStreamTime(source.GetPosition()).c_str(),
                    output.GetDeviceName().c_str(), options.Latency, output.GetGrantedLatency(),
                    output.GetMeasuredLatency(),
                    static_cast<unsigned long long>(output.GetUnderruns()));
    return 0;
}

} // namespace sonvera::tool
