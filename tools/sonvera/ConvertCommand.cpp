#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include "AudioFiles.h"
#include "Commands.h"

namespace sonvera::tool {

namespace {

struct TConvertOptions {
    std::string Input;
    std::string Output;
    std::optional<int32_t> Bits;
    std::optional<TSVSpeakers> Layout;
    std::optional<double> Gain;
};

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

int32_t ParseBits(const std::string& AText) {
    if (AText == "8" || AText == "16" || AText == "24" || AText == "32")
        return std::atoi(AText.c_str());
    throw EArgumentError("unsupported bits '" + AText + "' (8, 16, 24 or 32)");
}

double ParseGain(const std::string& AText) {
    char* end = nullptr;
    const double gain = std::strtod(AText.c_str(), &end);
    if (AText.empty() || *end != '\0' || !std::isfinite(gain) || gain < 0)
        throw EArgumentError("gain must be a non-negative number, not '" + AText + "'");
    return gain;
}

TConvertOptions ParseConvertOptions(const std::vector<std::string>& AArguments) {
    TConvertOptions options;
    std::vector<std::string> files;
    for (size_t i = 0; i < AArguments.size(); ++i) {
        const std::string& argument = AArguments[i];
        if (argument.rfind("--", 0) != 0) {
            files.push_back(argument);
            continue;
        }
        if (i + 1 >= AArguments.size())
            throw EArgumentError("option " + argument + " needs a value");
        const std::string& value = AArguments[++i];
        if (argument == "--bits")
            options.Bits = ParseBits(value);
        else if (argument == "--layout")
            options.Layout = ParseLayout(value);
        else if (argument == "--gain")
            options.Gain = ParseGain(value);
        else
            throw EArgumentError("unknown option " + argument);
    }
    if (files.size() != 2)
        throw EArgumentError("usage: sonvera convert IN.wav OUT.wav [--bits 8|16|24|32] "
                             "[--layout mono|stereo|5.1|7.1] [--gain X]");
    options.Input = files[0];
    options.Output = files[1];
    return options;
}

} // namespace

int RunConvert(const std::vector<std::string>& AArguments) {
    const TConvertOptions options = ParseConvertOptions(AArguments);
    const TRef<ISVAudioBuffer> source = LoadAudioBuffer(options.Input);
    const int32_t bits = options.Bits.value_or(source->GetSampleBitWidth());
    const TSVSpeakers layout = options.Layout.value_or(source->GetChannelMask());

    TRef<ISVAudioBuffer> result =
        TSVAudioBuffer::CreateSizeEx(source->GetSamplesPerSecond(), bits, layout.Count(),
                                     static_cast<int32_t>(source->GetSize()), layout);
    source->CopyTo(0, result, 0, source->GetSize());
    if (options.Gain)
        result->MultiplyByReal(*options.Gain);

    SaveAudioBuffer(options.Output, result);
    PrintBufferTableHeader();
    PrintBufferTableRow(options.Input, source);
    PrintBufferTableRow(options.Output, result);
    return 0;
}

} // namespace sonvera::tool
