// What sonvera convert does, for the convert and demo commands: a chain of the library's own
// components (file source, format filter, resample filter, gain filter, file writer) built for
// the options given, run until the input ends, with the output written under a temporary name
// in its folder and renamed only when it is complete.
#pragma once

#include <cstdint>
#include <filesystem>
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

// Catches SIGINT and SIGTERM while it lives, so that a running stream can stop and clean up.
class TInterruptGuard {
public:
    TInterruptGuard();
    ~TInterruptGuard();
    TInterruptGuard(const TInterruptGuard&) = delete;
    TInterruptGuard& operator=(const TInterruptGuard&) = delete;
    // Whether a signal came since the guard was set.
    bool Interrupted() const;

private:
    void (*FInt)(int);
    void (*FTerm)(int);
};

// An output file under a name of its own in the output's folder (keeping the extension, from
// which the container may be guessed); removed unless Commit renames it to the output's name.
class TTemporaryOutput {
public:
    explicit TTemporaryOutput(const std::filesystem::path& AOutput);
    ~TTemporaryOutput();
    TTemporaryOutput(const TTemporaryOutput&) = delete;
    TTemporaryOutput& operator=(const TTemporaryOutput&) = delete;
    std::string GetPath() const { return FPath.string(); }
    void Commit();
    // AMessage with the temporary name replaced by the output's: the user knows that one.
    std::string Named(std::string AMessage) const;

private:
    std::filesystem::path FOutput;
    std::filesystem::path FPath;
    bool FCommitted = false;
};

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
    bool ShowProgress = false; // a progress line on standard error
};

struct TConversionResult {
    std::string Codec;
    TSVWaveFormatExtensible Format{}; // as written
    uint64_t Frames = 0;
    double Seconds = 0; // wall-clock time taken
};

// Converts AOptions.Input into AOptions.Output. Anything that stops it raises an exception with
// a one-line message, and then no output file is left behind.
TConversionResult Convert(const TConversionOptions& AOptions);

// Starts AGenerator's stream with AConsumer pacing it (master pumping: a consumer that sends the
// master-pump operation upstream when its stream starts) and pumps it from AConsumer's input, on
// this thread, until the generator stops; AOnPumped runs after each buffer. An
// interrupt (SIGINT, SIGTERM) stops the stream and raises.
void RunPumped(TQXBasicCommonGen& AGenerator, TSVBasicAudioOut& AConsumer,
               const std::function<void()>& AOnPumped = nullptr);

// "m:ss.mmm" for a stream time in 100 ns units.
std::string FormatStreamTime(int64_t ATime);

} // namespace sonvera::tool
