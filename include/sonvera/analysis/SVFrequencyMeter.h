// A pass-through spectrum analyser: short-time power spectra of what passes, for analysis and
// pictures. Windows of Size frames (Hann-weighted, half a window apart, or closer when Interval
// is shorter) are transformed by libavutil's FFT; the power of all channels and of the windows
// centred in one interval is averaged into one spectrum, a column, sent to the main thread.
// Values are decibels relative to a full-scale sine at a bin's centre (0 dB); silence reads
// KSVFrequencyFloor.
//
// Threads and locks: as the level meter: the component lock, then the analyser's own lock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

inline constexpr float KSVFrequencyFloor = -200.0f;

struct TSVFrequencyColumn {
    int64_t Begin = 0;        // stream time of the interval's first frame, 100 ns units
    double BinWidth = 0;      // Hz between bins: rate / Size
    std::vector<float> Power; // Size / 2 + 1 bins, from 0 Hz to half the rate, in dB
};

class TSVFrequencyMeter : public TSVCommonFilter {
public:
    using TOnSpectrum = std::function<void(const TSVFrequencyColumn&)>;

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
    // Milliseconds of stream time per column; 0 (the default): a column per window.
    double GetInterval() const { return GetPropValue(FInterval); }
    void SetInterval(double AValue);

    // Runs on the main thread with each column; the stream's stop finishes the last one.
    void SetOnSpectrum(TOnSpectrum AHandler);
    // The last finished column; empty before the first.
    TSVFrequencyColumn GetLatest() const;

protected:
    void AudioStreamStart(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;
    bool NeedsOutput() override { return false; }
    void StreamStop() override;

private:
    class TAnalyser;
    void Send(std::vector<TSVFrequencyColumn> AColumns);

    int32_t FSize = 4096;
    double FInterval = 0;
    mutable std::mutex FAnalyserLock;
    std::unique_ptr<TAnalyser> FAnalyser; // under FAnalyserLock
    TOnSpectrum FOnSpectrum;              // under FAnalyserLock
    std::vector<float> FSamples;          // under FAnalyserLock
};

void RegisterSVFrequencyMeter();
void UnregisterSVFrequencyMeter();

} // namespace sonvera
