// Equaliser filters: second-order sections by the widely used cookbook formulas, in float with
// double-precision state. Each is an effect with a short name for chains: highpass, lowpass,
// bandpass (0 dB at the centre), notch, peak, lowshelf and highshelf.
//
// Properties: Frequency (Hz, the corner or centre), Q, and Gain (dB) for peak and shelves;
// Poles (2 or 4: one section or two in cascade) for high- and lowpass. A frequency at or above
// half the stream's rate is taken as just below it. A change of frequency, Q or gain while
// running glides over the next buffer in steps of 32 frames instead of jumping.
#pragma once

#include <vector>

#include "sonvera/effects/SVEffectFilter.h"
#include "sonvera/primitives/SVFloatKernels.h"

namespace sonvera {

enum TSVBiquadKind : uint8_t {
    bkLowpass,
    bkHighpass,
    bkBandpass,
    bkNotch,
    bkPeak,
    bkLowShelf,
    bkHighShelf
};

// The normalised section of AKind at AFrequency Hz for ARate Hz.
TSVBiquad SVDesignBiquad(TSVBiquadKind AKind, double ARate, double AFrequency, double AQ,
                         double AGainDB);

class TSVBiquadFilter : public TSVEffectFilter {
public:
    TSVBiquadFilter(TPersistent* AOwner, TSVBiquadKind AKind);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TSVBiquadKind GetKind() const noexcept { return FKind; }
    // Above 0 (EArgumentError otherwise); 1000 Hz.
    double GetFrequency() const { return GetPropValue(FFrequency); }
    void SetFrequency(double AValue);
    // Above 0; 0.7071 (the flattest passband).
    double GetQ() const { return GetPropValue(FQ); }
    void SetQ(double AValue);

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    void ProcessFrames(TSVFloatFrames AFrames) override;
    // How many sections run in cascade, and the gain in decibels.
    virtual uint32_t Sections() const { return 1; }
    virtual double GainDB() const { return 0; }

private:
    struct TSettings {
        double Frequency, Q, GainDB;
        bool operator==(const TSettings&) const = default;
    };
    TSettings CurrentSettings() const;
    void Filter(float* AData, uint32_t AFrames, uint32_t AChannels, const TSettings& ASettings);

    const TSVBiquadKind FKind;
    double FFrequency = 1000;
    double FQ = 0.7071067811865476;
    TSettings FApplied{};                // what the previous buffer ended with
    std::vector<TSVBiquadState> FStates; // sections x channels
};

// High- and lowpass: one section (12 dB per octave) or two (24 dB).
class TSVPassFilter : public TSVBiquadFilter {
public:
    using TSVBiquadFilter::TSVBiquadFilter;
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }
    // 2 or 4 (EArgumentError otherwise); 2.
    uint32_t GetPoles() const { return GetPropValue(FPoles); }
    void SetPoles(uint32_t AValue);

protected:
    uint32_t Sections() const override { return GetPoles() / 2; }

private:
    uint32_t FPoles = 2;
};

// Peak and shelves: a gain in decibels at the frequency or beyond it.
class TSVGainBiquadFilter : public TSVBiquadFilter {
public:
    using TSVBiquadFilter::TSVBiquadFilter;
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }
    // -60 to 60 dB (EArgumentError otherwise); 0.
    double GetGain() const { return GetPropValue(FGain); }
    void SetGain(double AValue);

protected:
    double GainDB() const override { return GetGain(); }

private:
    double FGain = 0;
};

#define SONVERA_BIQUAD_EFFECT(TClass, TBase, AKind)                                                \
    class TClass final : public TBase {                                                            \
    public:                                                                                        \
        using TFamily = TBase;                                                                     \
        explicit TClass(TPersistent* AOwner) : TBase(AOwner, AKind) {}                             \
        static const TClassInfo& ClassInfo();                                                      \
        /* A table of its own, so that a document names the kind and not the family. */            \
        static const TPropertyTableBase& ClassPropertyTable();                                     \
        const TPropertyTableBase& GetPropertyTable() const override {                              \
            return ClassPropertyTable();                                                           \
        }                                                                                          \
    }

SONVERA_BIQUAD_EFFECT(TSVHighpassFilter, TSVPassFilter, bkHighpass);
SONVERA_BIQUAD_EFFECT(TSVLowpassFilter, TSVPassFilter, bkLowpass);
SONVERA_BIQUAD_EFFECT(TSVBandpassFilter, TSVBiquadFilter, bkBandpass);
SONVERA_BIQUAD_EFFECT(TSVNotchFilter, TSVBiquadFilter, bkNotch);
SONVERA_BIQUAD_EFFECT(TSVPeakFilter, TSVGainBiquadFilter, bkPeak);
SONVERA_BIQUAD_EFFECT(TSVLowShelfFilter, TSVGainBiquadFilter, bkLowShelf);
SONVERA_BIQUAD_EFFECT(TSVHighShelfFilter, TSVGainBiquadFilter, bkHighShelf);

#undef SONVERA_BIQUAD_EFFECT

} // namespace sonvera
