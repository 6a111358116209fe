// What sonvera analyze measures, for the analyze command and for convert's loudness
// normalisation: one pass of a file through the loudness and level meters (and the spectrum
// analyser when a picture is asked for) into a sink that only paces the stream.
#pragma once

#include <cstdint>
#include <string>

#include "Conversion.h"
#include "sonvera/analysis/SVAnalysisPicture.h"
#include "sonvera/analysis/SVLevelMeter.h"
#include "sonvera/analysis/SVLoudnessMeter.h"
#include "sonvera/format/GMDXTypes.h"

namespace sonvera::tool {

struct TMeasurement {
    std::string Codec;
    TSVWaveFormatExtensible Format{};
    uint64_t Frames = 0;
    TSVLoudness Loudness{};
    TSVLevels Levels; // of the whole file
};

// Measures AFile, reading beyond local files and pipes what AAllowedInputs names (as the file
// source's allow-list); with APicture, also feeds it one level block and one spectrum per pixel
// column of its plots. Errors of the file raise an exception naming it.
TMeasurement MeasureFile(const std::string& AFile, TSVAnalysisPicture* APicture = nullptr,
                         const std::string& AAllowedInputs = {});

// Convert with loudness normalisation to AOptions.NormalizeLufs, the true peak at or under
// AOptions.TruePeakDb (-1 dBTP): the input is measured, then converted with the gain that
// reaches the target, through a limiter whose ceiling on samples leaves room for the peaks
// between them. An output file that misses the target by more than 0.1 LU (limiting took
// loudness away) or peaks above the ceiling is converted again with the gain and the limiter's
// ceiling corrected, up to KNormalizePasses conversions in all. An input that cannot be read
// twice (a stream) and one with nothing loud enough to measure are refused with EArgumentError.
inline constexpr int KNormalizePasses = 5;
TConversionResult ConvertNormalized(TConversionOptions AOptions);

// The channel names of a layout for tables and pictures: "L", "R", "C", ..., or numbers.
std::vector<std::string> ChannelNames(const TSVWaveFormatExtensible& AFormat);

} // namespace sonvera::tool
