// sonvera record: the sound-server input into the file writer, until the duration is recorded
// or a signal (SIGINT, SIGTERM) ends the recording; either way the stream ends complete and
// the file is finished.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "Commands.h"
#include "Conversion.h"
#include "Options.h"
#include "SignalGuard.h"
#include "sonvera/devices/SVPulseAudioIn.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera::tool {

namespace {

constexpr const char* KRecordUsage =
    "usage: sonvera record OUT [--device NAME] [--duration SECONDS] [--rate HZ] "
    "[--channels N] [--bits 8|16|24|32] [--latency MS] [--quiet]";

struct TRecordOptions {
    std::string Output;
    std::string Device; // empty: the default source
    double Duration = 0;
    int32_t Rate = TSVPulseAudioIn::KDefaultSampleRate;
    int32_t Channels = 2;
    int32_t Bits = 16;
    int32_t Latency = TSVPulseAudioIn::KDefaultLatency;
    bool Quiet = false;
};

TRecordOptions ParseRecordArguments(const std::vector<std::string>& AArguments) {
    TRecordOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < AArguments.size(); ++i) {
        const std::string& argument = AArguments[i];
        if (argument.rfind("--", 0) != 0) {
            files.push_back(argument);
            continue;
        }
        if (argument == "--quiet") {
            options.Quiet = true;
            continue;
        }
        if (i + 1 >= AArguments.size())
            throw EArgumentError("option " + argument + " needs a value");
        const std::string& value = AArguments[++i];
        if (argument == "--device")
            options.Device = value;
        else if (argument == "--duration")
            options.Duration = ParseSeconds(argument, value, 7 * 24 * 3600.0);
        else if (argument == "--rate")
            options.Rate = ParseAmount(argument, value, {{"", 1}, {"k", 1e3}, {"khz", 1e3}},
                                       1'000'000);
        else if (argument == "--channels")
            options.Channels = ParseAmount(argument, value, {{"", 1}}, 32);
        else if (argument == "--bits")
            options.Bits = ParseBits(value);
        else if (argument == "--latency")
            options.Latency = ParseAmount(argument, value, {{"", 1}, {"ms", 1}}, 10'000);
        else
            throw EArgumentError("unknown option " + argument);
    }
    if (files.size() != 1)
        throw EArgumentError(KRecordUsage);
    options.Output = files[0];
    return options;
}

// The usual speakers of a channel count; the first speakers in mask order for the others.
TSVSpeakers LayoutOf(int32_t AChannels) {
    switch (AChannels) {
    case 1:
        return KSVSpeakersMono;
    case 2:
        return KSVSpeakersStereo;
    case 6:
        return KSVSpeakers5Point1;
    case 8:
        return KSVSpeakers7Point1;
    default:
        return TSVSpeakers::FromMask((uint32_t{1} << std::min(AChannels, KSVSpeakerCount)) - 1);
    }
}

void ConfigureInput(TSVPulseAudioIn& AInput, const TRecordOptions& AOptions) {
    AInput.SetDevice(AOptions.Device);
    AInput.SetDuration(AOptions.Duration);
    AInput.SetLatency(AOptions.Latency);
    AInput.SetStreamName(AOptions.Output);
    TSVAudioFormat& format = *AInput.GetAudioFormat();
    format.SetSampleRate(static_cast<uint32_t>(AOptions.Rate));
    format.SetCountChannels(static_cast<uint32_t>(AOptions.Channels));
    format.SetChannelMask(LayoutOf(AOptions.Channels));
    format.SetBits(static_cast<uint32_t>(AOptions.Bits));
    // Buffers of about 20 ms: short enough that an interrupt ends the file at once.
    format.SetBufferSize(static_cast<uint32_t>(std::max(AOptions.Rate / 50, 1)));
}

} // namespace

int RunRecord(const std::vector<std::string>& AArguments) {
    const TRecordOptions options = ParseRecordArguments(AArguments);
    TSVPulseAudioIn input(nullptr);
    ConfigureInput(input, options);

    TSVLAVFileWriter writer(nullptr);
    writer.SetFileName(options.Output);
    writer.Container(); // raises when there is none
    std::string refusal;
    const TSVWaveFormatExtensible format = *input.GetAudioFormat()->GetWaveFormat();
    if (!TSVLAVFileWriter::EncoderTakes(writer.Encoder(options.Bits), format, refusal))
        throw EArgumentError(refusal);
    if (!input.GetOutputPin()->Connect(writer.GetInputPin()))
        throw EAssertionFailed("Assertion failure (sonvera record)");

    input.Open(); // a missing server or source fails here, before anything is written
    const bool progress = !options.Quiet && isatty(STDERR_FILENO);
    {
        // A signal ends the recording as its end would: the recording so far is the file, and
        // the tool exits as for a recording that ran its duration.
        const TSignalGuard signals;
        input.Start();
        while (input.GetRunning()) {
            TMainThread::ProcessQueue(); // where the stream's end arrives
            if (TSignalGuard::Caught() != 0)
                input.Finish();
            if (progress)
                std::fprintf(stderr, "\r%s recorded  %llu overruns\033[K",
                             FormatStreamTime(input.GetPosition()).c_str(),
                             static_cast<unsigned long long>(input.GetOverruns()));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        TMainThread::ProcessQueue();
        if (progress)
            std::fputs("\r\033[K", stderr);
    }
    if (!input.GetError().empty())
        throw Exception(input.GetError());
    if (!writer.GetError().empty())
        throw Exception(writer.GetError());
    if (!options.Quiet)
        std::printf("%s: %s recorded, %d Hz %d-bit %d ch, latency granted %.1f ms, measured "
                    "%.1f ms, %llu overruns\n",
                    options.Output.c_str(), FormatStreamTime(input.GetPosition()).c_str(),
                    options.Rate, options.Bits, options.Channels, input.GetGrantedLatency(),
                    input.GetMeasuredLatency(),
                    static_cast<unsigned long long>(input.GetOverruns()));
    return 0;
}

} // namespace sonvera::tool
