// A pass-through spectrum analyser: short-time power spectra of what passes, for analysis and
// pictures. Windows of Size frames (Hann-weighted, half a window apart, or closer when Interval
// is shorter) are transformed by libavutil's FFT; the power of all channels and of the windows
// centred in one interval is averaged into one spectrum, a column, sent to the main thread.
// Values are decibels relative to a full-scale sine at a bin's centre (0 dB); silence reads
// KSVFrequencyFloor.
//
// Threads and locks: those of every meter (SVMeterFilter.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sonvera/analysis/SVMeterFilter.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

inline constexpr float KSVFrequencyFloor = -200.0f;

struct TSVFrequencyColumn {
    int64_t Begin = 0;        // stream time of the interval's first frame, 100 ns units
    double BinWidth = 0;      // Hz between bins: rate / Size
    std::vector<float> Power; // Size / 2 + 1 bins, from 0 Hz to half the rate, in dB
};

class TSVFrequencyMeter : public TSVMeterFilter<TSVFrequencyColumn> {
public:
    using TOnSpectrum = TOnResult;

    explicit TSVFrequencyMeter(TPersistent* AOwner);
    ~TSVFrequencyMeter() override;

    // Short name "spectrum", in the palette category "Analysis".
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Frames per window (4096): a power of two from 64 to 65536, else EArgumentError. Read at
    // the stream start, like Interval.
    int32_t GetSize() const { return GetPropValue(FSize); }
    void SetSize(int32_t AValue);
    // Interval: milliseconds of stream time per column; 0 (the default): a column per window.

    // Runs on the main thread with each column; the stream's stop finishes the last one.
    void SetOnSpectrum(TOnSpectrum AHandler) { SetOnResult(std::move(AHandler)); }
    // The last finished column; empty before the first.
    TSVFrequencyColumn GetLatest() const;

protected:
    void AudioStreamStart(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;
    void StreamStop() override;

private:
    class TAnalyser;

    int32_t FSize = 4096;
    std::unique_ptr<TAnalyser> FAnalyser; // under FMeterLock
    std::vector<float> FSamples;          // under FMeterLock
};

} // namespace sonvera
