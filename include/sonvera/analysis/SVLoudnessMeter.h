// A pass-through loudness meter: what passes is measured as broadcasters and streaming
// services measure loudness (K-weighted, gated; libebur128 does the measuring) and leaves
// unchanged. Each stream start begins a new measurement. The figures can be read at any time,
// and are sent to the main thread every Interval milliseconds of stream time.
//
// Threads and locks: those of every meter (SVMeterFilter.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sonvera/analysis/SVMeterFilter.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Loudness in LUFS, range in LU, peaks in dB of full scale; -infinity where nothing was (yet)
// loud enough to measure.
struct TSVLoudness {
    double Momentary;               // the last 400 ms
    double ShortTerm;               // the last 3 s
    double Integrated;              // the whole stream, gated
    double Range;                   // loudness range of the short-term values
    std::vector<double> SamplePeak; // per channel
    std::vector<double> TruePeak;   // per channel, 4x oversampled; -inf when off
    int64_t Time;                   // stream time measured so far, 100 ns units
};

class TSVLoudnessMeter : public TSVMeterFilter<TSVLoudness> {
public:
    using TOnLoudness = TOnResult;

    explicit TSVLoudnessMeter(TPersistent* AOwner);
    ~TSVLoudnessMeter() override;

    // Short name "loudness", in the palette category "Measurement".
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Interval: milliseconds of stream time between OnLoudness events (100); 0 sends none.
    // Whether true peaks are measured (true); the oversampling costs a good part of the
    // meter's time.
    // A change takes effect at the next stream start.
    bool GetTruePeak() const { return GetPropValue(FTruePeak); }
    void SetTruePeak(bool AValue);

    // Runs on the main thread with the figures at the end of each interval and once at the
    // stream's stop.
    void SetOnLoudness(TOnLoudness AHandler) { SetOnResult(std::move(AHandler)); }
    // The figures so far; all -infinity before a stream starts.
    TSVLoudness GetLoudness() const;

protected:
    void AudioStreamStart(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;
    void StreamStop() override;

private:
    struct TState;
    TSVLoudness Snapshot() const; // inside FMeterLock

    bool FTruePeak = true;
    std::unique_ptr<TState> FState; // under FMeterLock
};

} // namespace sonvera
