// Effects over time: delay (an echo with feedback) and fade (in at the start, out at the end).
#pragma once

#include <vector>

#include "sonvera/effects/SVEffectFilter.h"

namespace sonvera {

// Each output sample is (1 - Mix) x + Mix d, where d is what entered Time ms earlier and what
// enters is x + Feedback d. The time in force is the one of the stream's start.
class TSVDelayFilter : public TSVEffectFilter {
public:
    using TSVEffectFilter::TSVEffectFilter;
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // 1 to 5000 ms; 500.
    double GetTime() const { return GetPropValue(FTime); }
    void SetTime(double AValue);
    // 0 to 0.95; 0.3.
    double GetFeedback() const { return GetPropValue(FFeedback); }
    void SetFeedback(double AValue);
    // 0 (dry) to 1 (the echo alone); 0.5.
    double GetMix() const { return GetPropValue(FMix); }
    void SetMix(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    double FTime = 500, FFeedback = 0.3, FMix = 0.5;
    std::vector<float> FRing; // delayed frames, interleaved
    size_t FAt = 0;           // the ring's frame that leaves next
};

// Linear fades: the gain rises from 0 over the first In seconds of the stream and falls to 0
// over the last Out seconds of it. Fading out needs the stream's length: Duration (seconds)
// where it is set, else the length the generators upstream announced (a file's, a tone's
// Duration); a stream started with Out set and neither is refused with EArgumentError.
class TSVFadeFilter : public TSVEffectFilter {
public:
    using TSVEffectFilter::TSVEffectFilter;
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // 0 to 86400 s; 0 (no fade).
    double GetIn() const { return GetPropValue(FIn); }
    void SetIn(double AValue);
    double GetOut() const { return GetPropValue(FOut); }
    void SetOut(double AValue);
    // The stream's length in seconds; 0 takes the length announced upstream.
    double GetDuration() const { return GetPropValue(FDuration); }
    void SetDuration(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    double FIn = 0, FOut = 0, FDuration = 0;
    uint64_t FFrame = 0; // frames of the stream so far
    double FLength = 0;  // the running stream's length in seconds
};

} // namespace sonvera
