// What sonvera analyze measures, for the analyze command and for convert's loudness
// normalisation: one pass of a file through the loudness and level meters (and the spectrum
// analyser when a picture is asked for) into a sink that only paces the stream.
#pragma once

#include <cstdint>
#include <string>

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

// Measures AFile; with APicture, also feeds it one level block and one spectrum per pixel
// column of its plots. Errors of the file raise an exception naming it.
TMeasurement MeasureFile(const std::string& AFile, TSVAnalysisPicture* APicture = nullptr);

// The channel names of a layout for tables and pictures: "L", "R", "C", ..., or numbers.
std::vector<std::string> ChannelNames(const TSVWaveFormatExtensible& AFormat);

} // namespace sonvera::tool
