#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "Commands.h"
#include "Conversion.h"
#include "Options.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera::tool {

namespace {

constexpr const char* KConvertUsage =
    "usage: sonvera convert IN OUT [--codec NAME] [--format NAME] [--bits 8|16|24|32] "
    "[--layout mono|stereo|5.1|7.1] [--rate HZ] [--gain DB] [--bitrate BPS] "
    "[--option NAME=VALUE]... [--quiet]";

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
    char* end = nullptr;
    const double gain = std::strtod(AText.c_str(), &end);
    if (AText.empty() || *end != '\0' || !std::isfinite(gain) || std::fabs(gain) > 200)
        throw EArgumentError("--gain must be a number of decibels, not '" + AText + "'");
    return gain;
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
        if (argument == "--quiet") {
            line.Quiet = true;
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
            options.Rate = ParseCount(argument, value, 1'000'000);
        else if (argument == "--gain")
            options.GainDb = ParseGainDb(value);
        else if (argument == "--bitrate")
            options.BitRate = ParseCount(argument, value, 100'000'000);
        else if (argument == "--option")
            options.CodecOptions.push_back(ParseCodecOption(value));
        else
            throw EArgumentError("unknown option " + argument);
    }
    if (files.size() != 2)
        throw EArgumentError(KConvertUsage);
    options.Input = files[0];
    options.Output = files[1];
    options.ShowProgress = !line.Quiet && isatty(STDERR_FILENO);
    return line;
}

} // namespace

int RunConvert(const std::vector<std::string>& AArguments) {
    const TCommandLine line = ParseConvertArguments(AArguments);
    const TConversionResult result = Convert(line.Options);
    if (!line.Quiet) {
        const uint32_t rate = result.Format.Format.nSamplesPerSec;
        const double seconds = static_cast<double>(result.Frames) / rate;
        std::printf("%s: %llu frames, %s, %s %u Hz %d-bit %d ch, %.1fx real time\n",
                    line.Options.Output.c_str(), static_cast<unsigned long long>(result.Frames),
                    FormatStreamTime(static_cast<int64_t>(seconds * 10'000'000)).c_str(),
                    result.Codec.c_str(), rate, result.Format.Samples.wValidBitsPerSample,
                    result.Format.Format.nChannels,
                    result.Seconds > 0 ? seconds / result.Seconds : 0.0);
    }
    return 0;
}

} // namespace sonvera::tool
