#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "Commands.h"
#include "Conversion.h"
#include "Measurement.h"
#include "sonvera/media/SVOutputFile.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

namespace {

constexpr const char* KAnalyzeUsage =
    "usage: sonvera analyze FILE [--json] [--png OUT.png] [--size WIDTHxHEIGHT]";

struct TAnalyzeLine {
    std::string File;
    bool Json = false;
    std::string Png;
    int32_t Width = 1280, Height = 720;
};

void ParseSize(const std::string& AText, TAnalyzeLine& ALine) {
    char* end = nullptr;
    const long width = std::strtol(AText.c_str(), &end, 10);
    const long height = *end == 'x' ? std::strtol(end + 1, &end, 10) : 0;
    if (*end != '\0' || width <= 0 || height <= 0 || width > TSVAnalysisPicture::KMaxSide ||
        height > TSVAnalysisPicture::KMaxSide)
        throw EArgumentError("--size must be WIDTHxHEIGHT in pixels, not '" + AText + "'");
    ALine.Width = static_cast<int32_t>(width);
    ALine.Height = static_cast<int32_t>(height);
}

TAnalyzeLine ParseAnalyzeArguments(const std::vector<std::string>& AArguments) {
    TAnalyzeLine line;
    std::vector<std::string> files;
    for (size_t i = 0; i < AArguments.size(); ++i) {
        const std::string& argument = AArguments[i];
        if (argument == "--json") {
            line.Json = true;
        } else if (argument == "--png" || argument == "--size") {
            if (i + 1 >= AArguments.size())
                throw EArgumentError("option " + argument + " needs a value");
            if (argument == "--png")
                line.Png = AArguments[++i];
            else
                ParseSize(AArguments[++i], line);
        } else if (argument.rfind("--", 0) == 0) {
            throw EArgumentError("unknown option " + argument);
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 1)
        throw EArgumentError(KAnalyzeUsage);
    line.File = files[0];
    return line;
}

double Decibels(double ALinear) {
    return ALinear > 0 ? 20 * std::log10(ALinear) : -INFINITY;
}

double Highest(const std::vector<double>& AValues) {
    double highest = -INFINITY;
    for (const double value : AValues)
        highest = std::max(highest, value);
    return highest;
}

// Figures with one decimal; "-inf" where nothing was measurable.
std::string Figure(double AValue) {
    return std::isfinite(AValue) ? FormatMessage("%.1f", AValue) : "-inf";
}

nlohmann::json JsonFigure(double AValue, int ADecimals = 2) {
    if (!std::isfinite(AValue))
        return nullptr;
    const double scale = std::pow(10.0, ADecimals);
    return std::round(AValue * scale) / scale;
}

std::string Title(const std::string& AFile, const TMeasurement& AMeasurement) {
    const TSVLoudness& loudness = AMeasurement.Loudness;
    return std::filesystem::path(AFile).filename().string() + "    " + Figure(loudness.Integrated) +
           " LUFS integrated    LRA " + Figure(loudness.Range) + " LU    true peak " +
           Figure(Highest(loudness.TruePeak)) + " dBTP";
}

void PrintText(FILE* AOut, const TAnalyzeLine& ALine, const TMeasurement& AMeasurement) {
    const TSVWaveFormatExtensible& format = AMeasurement.Format;
    std::fprintf(AOut, "%s: %s, %u Hz, %d-bit, %u channels\n", ALine.File.c_str(),
                 AMeasurement.Codec.c_str(), format.Format.nSamplesPerSec,
                 format.Samples.wValidBitsPerSample, format.Format.nChannels);
    std::fprintf(AOut, "duration            %s (%llu frames)\n",
                 FormatStreamTime(SVFramesToUnits(static_cast<int64_t>(AMeasurement.Frames),
                                                  format.Format.nSamplesPerSec))
                     .c_str(),
                 static_cast<unsigned long long>(AMeasurement.Frames));
    const TSVLoudness& loudness = AMeasurement.Loudness;
    std::fprintf(AOut, "integrated loudness %s LUFS\n", Figure(loudness.Integrated).c_str());
    std::fprintf(AOut, "loudness range      %s LU\n", Figure(loudness.Range).c_str());
    std::fprintf(AOut, "true peak           %s dBTP\n", Figure(Highest(loudness.TruePeak)).c_str());
    std::fprintf(AOut, "%-8s %10s %10s %11s %9s %10s\n", "channel", "peak dBFS", "RMS dBFS",
                 "DC offset", "clipped", "true peak");
    const std::vector<std::string> names = ChannelNames(format);
    for (size_t channel = 0; channel < AMeasurement.Levels.Channels.size(); ++channel) {
        const TSVChannelLevels& levels = AMeasurement.Levels.Channels[channel];
        std::fprintf(AOut, "%-8s %10s %10s %11.6f %9llu %10s\n", names[channel].c_str(),
                     Figure(Decibels(levels.Peak)).c_str(), Figure(Decibels(levels.Rms)).c_str(),
                     levels.Dc, static_cast<unsigned long long>(levels.Clipped),
                     Figure(loudness.TruePeak[channel]).c_str());
    }
}

void PrintJson(FILE* AOut, const TAnalyzeLine& ALine, const TMeasurement& AMeasurement) {
    const TSVWaveFormatExtensible& format = AMeasurement.Format;
    const TSVLoudness& loudness = AMeasurement.Loudness;
    nlohmann::json channels = nlohmann::json::array();
    const std::vector<std::string> names = ChannelNames(format);
    for (size_t channel = 0; channel < AMeasurement.Levels.Channels.size(); ++channel) {
        const TSVChannelLevels& levels = AMeasurement.Levels.Channels[channel];
        channels.push_back({{"name", names[channel]},
                            {"peak_dbfs", JsonFigure(Decibels(levels.Peak))},
                            {"rms_dbfs", JsonFigure(Decibels(levels.Rms))},
                            {"dc_offset", JsonFigure(levels.Dc, 8)},
                            {"clipped_samples", levels.Clipped},
                            {"true_peak_dbtp", JsonFigure(loudness.TruePeak[channel])}});
    }
    const nlohmann::json document = {
        {"file", ALine.File},
        {"codec", AMeasurement.Codec},
        {"sample_rate", format.Format.nSamplesPerSec},
        {"bits", format.Samples.wValidBitsPerSample},
        {"channel_count", format.Format.nChannels},
        {"frames", AMeasurement.Frames},
        {"duration_seconds",
         JsonFigure(static_cast<double>(AMeasurement.Frames) / format.Format.nSamplesPerSec, 6)},
        {"integrated_lufs", JsonFigure(loudness.Integrated)},
        {"loudness_range_lu", JsonFigure(loudness.Range)},
        {"true_peak_dbtp", JsonFigure(Highest(loudness.TruePeak))},
        {"channels", channels}};
    std::fprintf(AOut, "%s\n", document.dump(2).c_str());
}

// The picture goes where the library's writers put files: a regular file is replaced whole, a
// symlink's target is written, a device or FIFO is written in place, "-" is standard output.
void WritePicture(const std::string& AName, const std::string& APng) {
    if (AName == "-") {
        if (std::fwrite(APng.data(), 1, APng.size(), stdout) != APng.size() || std::fflush(stdout))
            throw Exception("standard output: cannot write the picture");
        return;
    }
    TSVOutputFile output(AName);
    std::ofstream out(output.GetPath(), std::ios::binary | std::ios::trunc);
    out.write(APng.data(), static_cast<std::streamsize>(APng.size()));
    out.close();
    if (!out)
        throw Exception(AName + ": cannot write the picture");
    output.Commit();
}

} // namespace

int RunAnalyze(const std::vector<std::string>& AArguments) {
    const TAnalyzeLine line = ParseAnalyzeArguments(AArguments);
    std::unique_ptr<TSVAnalysisPicture> picture;
    if (!line.Png.empty())
        picture = std::make_unique<TSVAnalysisPicture>(line.Width, line.Height);
    const TMeasurement measurement = MeasureFile(line.File, picture.get());
    if (picture) {
        picture->SetTitle(Title(line.File, measurement));
        picture->SetDuration(static_cast<double>(measurement.Frames) /
                             measurement.Format.Format.nSamplesPerSec);
        picture->SetChannelNames(ChannelNames(measurement.Format));
        WritePicture(line.Png, picture->EncodePng());
    }
    // With the picture on standard output, the figures go to standard error.
    FILE* report = line.Png == "-" ? stderr : stdout;
    if (line.Json)
        PrintJson(report, line, measurement);
    else
        PrintText(report, line, measurement);
    return 0;
}

} // namespace sonvera::tool
