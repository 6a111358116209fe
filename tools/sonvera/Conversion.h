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
    std::optional<int32_t> BitRate;
    std::vector<std::pair<std::string, std::string>> CodecOptions;
    std::string AllowedInputs; // protocols and demuxers read beyond local files and pipes
    bool ShowProgress = false; // a progress line on standard error
};

struct TConversionResult {
    std::string Codec;
    TSVWaveFormatExtensible Format{}; // as written
    uint64_t Frames = 0;
    double Seconds = 0; // wall-clock time taken
};

// Converts AOptions.Input into AOptions.Output. Anything that stops it raises an exception with
// a one-line message, and then no output file is left behind; a signal that ends the tool
// (see SignalGuard.h) raises EInterrupted, also while the input is being opened.
TConversionResult Convert(const TConversionOptions& AOptions);

// Starts AGenerator's stream with AConsumer pacing it (master pumping: a consumer that sends the
// master-pump operation upstream when its stream starts) and pumps it from AConsumer's input, on
// this thread, until the generator stops; AOnPumped runs after each buffer. A signal caught by
// a TSignalGuard stops the stream (a plain stop, so that writers leave no file) and raises
// EInterrupted.
void RunPumped(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer,
               const std::function<void()>& AOnPumped = nullptr);

// "m:ss.mmm" for a stream time in 100 ns units.
std::string FormatStreamTime(int64_t ATime);

} // namespace sonvera::tool
