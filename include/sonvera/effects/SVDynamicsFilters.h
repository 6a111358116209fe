// Dynamics: the compressor, the limiter and the gate. Levels are taken per frame as the largest
// magnitude of its channels, and one gain applies to every channel, so that the stereo image
// stays where it was. Times are in milliseconds, levels and gains in decibels (0 dB = full
// scale, 1.0).
#pragma once

#include <vector>

#include "sonvera/effects/SVEffectFilter.h"

namespace sonvera {

// The compressor's static curve: the output level, in dB, of a steady input at ALevel dB,
// with a soft knee of AKnee dB centred on the threshold (0: a hard knee).
double SVCompressorCurve(double ALevel, double AThreshold, double ARatio, double AKnee);

// The one-pole smoothing of an envelope: each frame moves it from where it is towards a target
// by the attack coefficient while attacking and by the release coefficient otherwise (0: at
// once; near 1: slowly).
struct TSVEnvelopeTimes {
    float Attack = 0, Release = 0;

    float Follow(float ACurrent, float ATarget, bool AAttacking) const {
        return ATarget + (ACurrent - ATarget) * (AAttacking ? Attack : Release);
    }
};

// What the compressor and the gate share: a threshold and the attack and release times of the
// envelope that follows the level. Each keeps its own defaults.
class TSVEnvelopeFilter : public TSVEffectFilter {
public:
    // -90 to 0 dB.
    double GetThreshold() const { return GetPropValue(FThreshold); }
    void SetThreshold(double AValue);
    // 0.01 to 2000 ms.
    double GetAttack() const { return GetPropValue(FAttack); }
    void SetAttack(double AValue);
    double GetRelease() const { return GetPropValue(FRelease); }
    void SetRelease(double AValue);

protected:
    TSVEnvelopeFilter(TPersistent* AOwner, double AThreshold, double AAttack, double ARelease)
        : TSVEffectFilter(AOwner), FThreshold(AThreshold), FAttack(AAttack), FRelease(ARelease) {}
    // The attack and release coefficients at the running stream's rate.
    TSVEnvelopeTimes EnvelopeTimes() const;

private:
    double FThreshold, FAttack, FRelease;
};

// Lowers what rises above the threshold by the ratio: 4 means 4 dB in give 1 dB out. Threshold
// -18 dB, attack 20 ms and release 250 ms by default.
class TSVCompressor : public TSVEnvelopeFilter {
public:
    explicit TSVCompressor(TPersistent* AOwner) : TSVEnvelopeFilter(AOwner, -18, 20, 250) {}
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // 1 to 100; 2.
    double GetRatio() const { return GetPropValue(FRatio); }
    void SetRatio(double AValue);
    // 0 to 24 dB; 6.
    double GetKnee() const { return GetPropValue(FKnee); }
    void SetKnee(double AValue);
    // -24 to 48 dB after compression; 0.
    double GetMakeup() const { return GetPropValue(FMakeup); }
    void SetMakeup(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    double FRatio = 2, FKnee = 6, FMakeup = 0;
    double FReduction = 0; // the smoothed gain reduction, dB (0 or below)
};

// Keeps every sample at or below the ceiling: the gain falls ahead of a peak over the
// look-ahead (the output lags the input by it) and recovers over the release time. The
// look-ahead in force is the one of the stream's start.
class TSVLimiter : public TSVEffectFilter {
public:
    using TSVEffectFilter::TSVEffectFilter;
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // -60 to 0 dB; -1.
    double GetCeiling() const { return GetPropValue(FCeiling); }
    void SetCeiling(double AValue);
    // 1 to 5000 ms; 50.
    double GetRelease() const { return GetPropValue(FRelease); }
    void SetRelease(double AValue);
    // 0 to 100 ms; 5.
    double GetLookahead() const { return GetPropValue(FLookahead); }
    void SetLookahead(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    uint32_t LatencyFrames() const override { return FWindow - 1; }
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    // The gain of the frame leaving the delay, given the gain the entering frame requires and
    // the one the leaving frame does: never above the latter.
    float NextGain(float ARequired, float ALeaving, float ARelease);
    // The queue's ring slot AOffset places after its head (AOffset up to FWindow).
    size_t QueueSlot(size_t AOffset) const;

    double FCeiling = -1, FRelease = 50, FLookahead = 5;
    uint32_t FWindow = 1;       // look-ahead frames, at least 1
    std::vector<float> FDelay;  // the delayed frames, FWindow - 1 of them, a ring
    std::vector<float> FNeeded; // per delayed frame: the gain that keeps it under the ceiling
                                // (a ring beside FDelay)
    std::vector<float> FMinima; // the look-ahead minima of FNeeded, for the moving average
    // The ascending minima of the window (monotonic queue of positions and gains).
    std::vector<uint64_t> FQueuePositions;
    std::vector<float> FQueueGains;
    size_t FQueueHead = 0, FQueueSize = 0;
    size_t FMinimaAt = 0, FDelayAt = 0; // the next slots of FMinima and of FDelay and FNeeded
    double FMinimaSum = 0;
    uint64_t FPosition = 0;
    float FGain = 1;
};

// Lets the signal through while it is above the threshold and lowers it by the range when it
// is not: opening over the attack time, closing over the release time. Threshold -50 dB, attack
// 1 ms and release 100 ms by default.
class TSVGate : public TSVEnvelopeFilter {
public:
    explicit TSVGate(TPersistent* AOwner) : TSVEnvelopeFilter(AOwner, -50, 1, 100) {}
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // -120 to 0 dB, the gain of the closed gate; -24.
    double GetRange() const { return GetPropValue(FRange); }
    void SetRange(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    double FRange = -24;
    float FEnvelope = 0, FGain = 0;
};

} // namespace sonvera
