#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <map>

#include "Commands.h"
#include "Conversion.h"
#include "Measurement.h"
#include "Options.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

namespace {

constexpr const char* KConvertUsage =
    "usage: sonvera convert IN OUT [--codec NAME] [--format NAME] [--bits 8|16|24|32] "
    "[--layout mono|stereo|5.1|7.1] [--rate HZ] [--gain DB] [--bitrate BPS] "
    "[--option NAME=VALUE]... [--normalize LUFS [--true-peak DBTP]] [--strict] "
    "[--allow NAME,...] [--quiet] (--help for more)";

TSVSpeakers ParseLayout(const std::string& AName) {
    static const std::map<std::string, TSVSpeakers> layouts = {
        {"mono", KSVSpeakersMono},
        {"stereo", KSVSpeakersStereo},
        {"5.1", KSVSpeakers5Point1},
        {"7.1", KSVSpeakers7Point1},
    };
    const auto found = layouts.find(AName);
    if (found == layouts.end())
        throw EArgumentError("unknown layout '" + AName + "' (mono, stereo, 5.1 or 7.1)");
    return found->second;
}

double ParseGainDb(const std::string& AText) {
    const double gain = ParseWithUnit("--gain", AText, {{"", 1}, {"db", 1}});
    if (std::fabs(gain) > 200)
        throw EArgumentError("--gain must lie from -200 to 200 dB, not '" + AText + "'");
    return gain;
}

// A level in decibels (or LUFS) from ALowest to AHighest: "-16", "-16LUFS", "-1dBTP".
double ParseLevel(const std::string& AOption, const std::string& AText, double ALowest,
                  double AHighest) {
    const double level =
        ParseWithUnit(AOption, AText, {{"", 1}, {"db", 1}, {"lufs", 1}, {"dbtp", 1}});
    if (level < ALowest || level > AHighest)
        throw EArgumentError(FormatMessage("%s must lie from %g to %g, not '%s'", AOption.c_str(),
                                           ALowest, AHighest, AText.c_str()));
    return level;
}

std::pair<std::string, std::string> ParseCodecOption(const std::string& AText) {
    const size_t equals = AText.find('=');
    if (equals == 0 || equals == std::string::npos)
        throw EArgumentError("--option must be NAME=VALUE, not '" + AText + "'");
    return {AText.substr(0, equals), AText.substr(equals + 1)};
}

struct TCommandLine {
    TConversionOptions Options;
    bool Quiet = false;
};

TCommandLine ParseConvertArguments(const std::vector<std::string>& AArguments) {
    TCommandLine line;
    TConversionOptions& options = line.Options;
    std::vector<std::string> files;
    for (size_t i = 0; i < AArguments.size(); ++i) {
        const std::string& argument = AArguments[i];
        if (argument.rfind("--", 0) != 0) {
            files.push_back(argument);
            continue;
        }
        if (argument == "--quiet" || argument == "--strict") {
            (argument == "--quiet" ? line.Quiet : options.Strict) = true;
            continue;
        }
        if (i + 1 >= AArguments.size())
            throw EArgumentError("option " + argument + " needs a value");
        const std::string& value = AArguments[++i];
        if (argument == "--codec")
            options.Codec = value;
        else if (argument == "--format")
            options.Format = value;
        else if (argument == "--bits")
            options.Bits = ParseBits(value);
        else if (argument == "--layout")
            options.Layout = ParseLayout(value);
        else if (argument == "--rate")
            options.Rate = ParseAmount(argument, value,
                                       {{"", 1}, {"hz", 1}, {"k", 1e3}, {"khz", 1e3}}, 1'000'000);
        else if (argument == "--gain")
            options.GainDb = ParseGainDb(value);
        else if (argument == "--bitrate")
            options.BitRate =
                ParseAmount(argument, value, {{"", 1}, {"k", 1e3}, {"m", 1e6}}, 100'000'000);
        else if (argument == "--option")
            options.CodecOptions.push_back(ParseCodecOption(value));
        else if (argument == "--allow")
            options.AllowedInputs += (options.AllowedInputs.empty() ? "" : ",") + value;
        else if (argument == "--normalize")
            options.NormalizeLufs = ParseLevel(argument, value, -70, 0);
        else if (argument == "--true-peak")
            options.TruePeakDb = ParseLevel(argument, value, -20, 0);
        else
            throw EArgumentError("unknown option " + argument);
    }
    if (files.size() != 2)
        throw EArgumentError(KConvertUsage);
    if (options.TruePeakDb && !options.NormalizeLufs)
        throw EArgumentError("--true-peak goes with --normalize");
    options.Input = files[0];
    options.Output = files[1];
    options.ShowProgress = !line.Quiet && isatty(STDERR_FILENO);
    return line;
}

} // namespace

const char* const KConvertHelp =
    "usage: sonvera convert IN OUT [options]\n"
    "Converts IN (a file FFmpeg reads) into OUT, whose container follows its name; either may\n"
    "be - (standard input or output). A file at OUT is replaced only when the conversion\n"
    "is complete, keeping its mode; a symlink's target is replaced; a device or FIFO is\n"
    "written as a stream.\n"
    "By default OUT keeps IN's rate, width and speakers where its codec takes them, and the\n"
    "nearest the codec takes where it does not.\n"
    "  --codec NAME         encoder (sonvera codecs --audio --encoders); default: the\n"
    "                       container's own\n"
    "  --format NAME        container (sonvera formats --audio); default: from OUT's name\n"
    "  --bits 8|16|24|32    sample width; widening is exact, narrowing rounds\n"
    "  --layout NAME        mono, stereo, 5.1 or 7.1\n"
    "  --rate HZ            sample rate: 48000, 48k, 44.1kHz\n"
    "  --gain DB            gain in decibels: -6, -6dB\n"
    "  --bitrate BPS        encoder bit rate: 192000, 192k, 1.5M\n"
    "  --option NAME=VALUE  an encoder option, as FFmpeg names it (repeatable)\n"
    "  --normalize LUFS     measure IN first, then scale it to this integrated loudness\n"
    "                       (-16, -23LUFS), a limiter keeping the true peak under the ceiling\n"
    "  --true-peak DBTP     the ceiling of --normalize: -1 unless given (-2, -1dBTP)\n"
    "  --strict             fail on a damaged frame or a format change in IN, which are\n"
    "                       otherwise skipped or followed (and counted in the summary)\n"
    "  --allow NAME,...     let IN read through these FFmpeg protocols and demuxers too\n"
    "                       (hls, concat, http, tcp, ...); by default only local files\n"
    "                       and pipes, and no playlist or list that names other files\n"
    "  --quiet              no progress line and no summary\n"
    "  --help               this text\n";

int RunConvert(const std::vector<std::string>& AArguments) {
    const TCommandLine line = ParseConvertArguments(AArguments);
    const TConversionResult result =
        line.Options.NormalizeLufs ? ConvertNormalized(line.Options) : Convert(line.Options);
    if (!line.Quiet) {
        const uint32_t rate = result.Format.Format.nSamplesPerSec;
        const double seconds = static_cast<double>(result.Frames) / rate;
        // A lossy file keeps no sample width of its own: only a lossless codec's is told.
        const std::string width =
            result.Lossless ? FormatMessage(" %d-bit", result.Format.Samples.wValidBitsPerSample)
                            : std::string();
        std::string input;
        if (result.FormatChanges > 0)
            input += FormatMessage(", %llu format changes followed",
                                   static_cast<unsigned long long>(result.FormatChanges));
        if (result.DamagedFrames > 0)
            input += FormatMessage(", %llu damaged frames skipped",
                                   static_cast<unsigned long long>(result.DamagedFrames));
        // Written to standard output, the audio keeps it to itself.
        std::fprintf(
            line.Options.Output == "-" ? stderr : stdout,
            "%s: %llu frames, %s, %s %u Hz%s %d ch, %.1fx real time%s\n",
            line.Options.Output.c_str(), static_cast<unsigned long long>(result.Frames),
            FormatStreamTime(SVFramesToUnits(static_cast<int64_t>(result.Frames), rate)).c_str(),
            result.Codec.c_str(), rate, width.c_str(), result.Format.Format.nChannels,
            result.Seconds > 0 ? seconds / result.Seconds : 0.0, input.c_str());
    }
    return 0;
}

} // namespace sonvera::tool
