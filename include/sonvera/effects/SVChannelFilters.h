// Small per-channel effects: pan (the balance of a stereo stream), invert (the polarity of
// chosen channels) and dc-block (a first-order high-pass that removes a constant offset).
#pragma once

#include <vector>

#include "sonvera/effects/SVEffectFilter.h"

namespace sonvera {

// Balance of a stereo stream: -1 keeps the left channel alone, 1 the right, 0 both as they
// are; the other side is lowered linearly. A stream of another channel count passes
// unchanged. A change while running moves over one buffer.
class TSVPanFilter : public TSVEffectFilter {
public:
    using TSVEffectFilter::TSVEffectFilter;
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // -1 to 1; 0.
    double GetPan() const { return GetPropValue(FPan); }
    void SetPan(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    double FPan = 0;
    float FApplied = 0;
};

// Turns the polarity of the channels whose bits are set in Channels (bit n = channel n of the
// stream; all of them by default).
class TSVInvertFilter : public TSVEffectFilter {
public:
    using TSVEffectFilter::TSVEffectFilter;
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    uint32_t GetChannels() const { return GetPropValue(FChannels); }
    void SetChannels(uint32_t AValue) { SetPropValue("Channels", FChannels, AValue); }

protected:
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    uint32_t FChannels = UINT32_MAX;
};

// y = x - x' + R y', R = 1 - 2 pi f / rate: removes the offset, leaves what lies well above f.
class TSVDCBlockFilter : public TSVEffectFilter {
public:
    using TSVEffectFilter::TSVEffectFilter;
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // 1 to 200 Hz; 10.
    double GetFrequency() const { return GetPropValue(FFrequency); }
    void SetFrequency(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    void ProcessFrames(TSVFloatFrames AFrames) override;

private:
    double FFrequency = 10;
    std::vector<float> FInputs, FOutputs; // the previous frame, per channel
};

} // namespace sonvera
