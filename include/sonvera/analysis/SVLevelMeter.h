// A pass-through level meter: per channel the peak, the lowest and highest sample, the RMS, the
// DC offset and the count of clipped samples (samples at the most negative or most positive
// value of their width), of each block and of the whole stream. A block is a buffer as it
// arrives, or Interval milliseconds of stream time; each finished block is sent to the main
// thread. Levels are fractions of full scale (1.0 = 0 dBFS).
//
// Threads and locks: those of every meter (SVMeterFilter.h).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sonvera/analysis/SVMeterFilter.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

struct TSVChannelLevels {
    double Peak = 0; // the largest magnitude
    double Minimum = 0;
    double Maximum = 0;
    double Rms = 0;
    double Dc = 0; // the mean
    uint64_t Clipped = 0;
};

struct TSVLevels {
    int64_t Begin = 0; // stream time of the block's first frame, 100 ns units
    uint64_t Frames = 0;
    std::vector<TSVChannelLevels> Channels;
};

class TSVLevelMeter : public TSVMeterFilter<TSVLevels> {
public:
    using TOnLevels = TOnResult;

    explicit TSVLevelMeter(TPersistent* AOwner);
    ~TSVLevelMeter() override;

    // Short name "levels", in the palette category "Measurement".
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Interval: milliseconds of stream time per block; 0 (the default): each buffer is a block.

    // Runs on the main thread with each finished block; the block cut short by the stream's
    // stop is sent too.
    void SetOnLevels(TOnLevels AHandler) { SetOnResult(std::move(AHandler)); }
    // The whole stream so far.
    TSVLevels GetTotal() const;

protected:
    void AudioStreamStart(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;
    void StreamStop() override;

private:
    struct TState;

    std::unique_ptr<TState> FState; // under FMeterLock
};

} // namespace sonvera
