// What sonvera convert does, for the convert and demo commands: a chain of the library's own
// components (file source, format filter, resample filter, gain filter, file writer) built for
// the options given, run until the input ends; the writer puts the output in place only once it
// is complete.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sonvera/format/GMDXTypes.h"
#include "sonvera/format/SVSpeakers.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"

namespace sonvera {
class TSVBasicAudioOut;
}

namespace sonvera::tool {

struct TConversionOptions {
    std::string Input;
    std::string Output;
    std::string Codec;  // empty: the container's default audio codec
    std::string Format; // empty: guessed from the output's name
    std::optional<int32_t> Bits;
    std::optional<TSVSpeakers> Layout;
    std::optional<int32_t> Rate;
    std::optional<double> GainDb;
    std::optional<double> NormalizeLufs; // ConvertNormalized's target loudness
    std::optional<double> TruePeakDb;    // and its true-peak ceiling (-1 dBTP)
    // Loudness normalisation's stage: floats scaled by the gain, then the limiter's ceiling on
    // samples.
    std::optional<double> LoudnessGainDb;
    std::optional<double> LimiterCeilingDb;
    std::optional<int32_t> BitRate;
    std::vector<std::pair<std::string, std::string>> CodecOptions;
    std::string AllowedInputs; // protocols and demuxers read beyond local files and pipes
    bool ShowProgress = false; // a progress line on standard error
    bool Strict = false;       // a damaged frame or a format change midway ends the conversion
};

struct TConversionResult {
    std::string Codec;
    bool Lossless = false;            // the codec keeps every sample (and so their width)
    TSVWaveFormatExtensible Format{}; // as written
    uint64_t Frames = 0;
    uint64_t FormatChanges = 0; // of the input, followed
    uint64_t DamagedFrames = 0; // of the input, skipped
    double Seconds = 0; // wall-clock time taken
};

// Converts AOptions.Input into AOptions.Output. Anything that stops it raises an exception with
// a one-line message, and then no output file is left behind; a signal that ends the tool
// (see SignalGuard.h) raises EInterrupted, also while the input is being opened.
TConversionResult Convert(const TConversionOptions& AOptions);

// AConsumer's Render of the chain from AGenerator; AOnPumped runs after each buffer. A signal
// caught by a TSignalGuard stops the stream (a plain stop: writers leave no file) and raises
// EInterrupted.
void RunPumped(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer,
               const std::function<void()>& AOnPumped = nullptr);

// "m:ss.mmm" for a stream time in 100 ns units.
std::string FormatStreamTime(int64_t ATime);

} // namespace sonvera::tool
