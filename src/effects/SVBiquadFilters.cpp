#include "sonvera/effects/SVBiquadFilters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonvera {

namespace {

// Frames per step while a setting glides to a new value.
constexpr uint32_t KGlideFrames = 32;

TSVBiquad Normalised(double AB0, double AB1, double AB2, double AA0, double AA1, double AA2) {
    return {AB0 / AA0, AB1 / AA0, AB2 / AA0, AA1 / AA0, AA2 / AA0};
}

void CheckPositive(double AValue, const char* AName) {
    if (!std::isfinite(AValue) || AValue <= 0)
        throw EArgumentError(FormatMessage("%s out of range = %g", AName, AValue));
}

} // namespace

TSVBiquad SVDesignBiquad(TSVBiquadKind AKind, double ARate, double AFrequency, double AQ,
                         double AGainDB) {
    const double frequency = std::min(AFrequency, ARate * 0.4999);
    const double w0 = 2 * std::numbers::pi * frequency / ARate;
    const double cosw = std::cos(w0);
    const double alpha = std::sin(w0) / (2 * AQ);
    const double a = std::pow(10.0, AGainDB / 40);
    const double shelf = 2 * std::sqrt(a) * alpha;
    switch (AKind) {
    case bkLowpass:
        return Normalised((1 - cosw) / 2, 1 - cosw, (1 - cosw) / 2, 1 + alpha, -2 * cosw,
                          1 - alpha);
    case bkHighpass:
        return Normalised((1 + cosw) / 2, -(1 + cosw), (1 + cosw) / 2, 1 + alpha, -2 * cosw,
                          1 - alpha);
    case bkBandpass:
        return Normalised(alpha, 0, -alpha, 1 + alpha, -2 * cosw, 1 - alpha);
    case bkNotch:
        return Normalised(1, -2 * cosw, 1, 1 + alpha, -2 * cosw, 1 - alpha);
    case bkPeak:
        return Normalised(1 + alpha * a, -2 * cosw, 1 - alpha * a, 1 + alpha / a, -2 * cosw,
                          1 - alpha / a);
    case bkLowShelf:
        return Normalised(a * ((a + 1) - (a - 1) * cosw + shelf),
                          2 * a * ((a - 1) - (a + 1) * cosw),
                          a * ((a + 1) - (a - 1) * cosw - shelf), (a + 1) + (a - 1) * cosw + shelf,
                          -2 * ((a - 1) + (a + 1) * cosw), (a + 1) + (a - 1) * cosw - shelf);
    case bkHighShelf:
        return Normalised(a * ((a + 1) + (a - 1) * cosw + shelf),
                          -2 * a * ((a - 1) + (a + 1) * cosw),
                          a * ((a + 1) + (a - 1) * cosw - shelf), (a + 1) - (a - 1) * cosw + shelf,
                          2 * ((a - 1) - (a + 1) * cosw), (a + 1) - (a - 1) * cosw - shelf);
    }
    return {};
}

TSVBiquadFilter::TSVBiquadFilter(TPersistent* AOwner, TSVBiquadKind AKind)
    : TSVEffectFilter(AOwner), FKind(AKind) {}

const TPropertyTableBase& TSVBiquadFilter::ClassPropertyTable() {
    using T = TSVBiquadFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVBiquadFilter", TSVEffectFilter::ClassPropertyTable())
            .Double("Frequency", 1000, &T::GetFrequency, &T::SetFrequency)
            .Double("Q", 0.7071067811865476, &T::GetQ, &T::SetQ);
    return table;
}

void TSVBiquadFilter::SetFrequency(double AValue) {
    CheckPositive(AValue, "Frequency");
    SetPropValue("Frequency", FFrequency, AValue);
}

void TSVBiquadFilter::SetQ(double AValue) {
    CheckPositive(AValue, "Q");
    SetPropValue("Q", FQ, AValue);
}

TSVBiquadFilter::TSettings TSVBiquadFilter::CurrentSettings() const {
    return {GetFrequency(), GetQ(), GainDB()};
}

void TSVBiquadFilter::ResetState(const TSVWaveFormatExtensible& AFormat) {
    FStates.assign(size_t{2} * AFormat.Format.nChannels, TSVBiquadState{});
    FApplied = CurrentSettings();
}

void TSVBiquadFilter::Filter(float* AData, uint32_t AFrames, uint32_t AChannels,
                             const TSettings& ASettings) {
    const TSVBiquad section =
        SVDesignBiquad(FKind, GetSampleRate(), ASettings.Frequency, ASettings.Q, ASettings.GainDB);
    const TSVBiquad cascade[2] = {section, section};
    SVBiquadFloat(AData, AFrames, AChannels, cascade, std::min<uint32_t>(Sections(), 2),
                  FStates.data());
}

void TSVBiquadFilter::ProcessFrames(TSVFloatFrames AFrames) {
    const uint32_t channels = AFrames.Channels();
    if (GetSampleRate() == 0 || channels == 0 || FStates.size() < size_t{2} * channels)
        return;
    const TSettings target = CurrentSettings();
    if (target == FApplied) {
        Filter(AFrames.Data(), AFrames.Frames(), channels, target);
        return;
    }
    // The glide: frequency moves geometrically (as the ear hears it), Q and gain linearly.
    const uint32_t steps =
        std::max<uint32_t>(1, (AFrames.Frames() + KGlideFrames - 1) / KGlideFrames);
    for (uint32_t step = 0; step < steps; ++step) {
        const double t = double(step + 1) / steps;
        const TSettings now{FApplied.Frequency * std::pow(target.Frequency / FApplied.Frequency, t),
                            FApplied.Q + (target.Q - FApplied.Q) * t,
                            FApplied.GainDB + (target.GainDB - FApplied.GainDB) * t};
        const uint32_t first = step * KGlideFrames;
        const uint32_t count =
            std::min(KGlideFrames, AFrames.Frames() - std::min(first, AFrames.Frames()));
        if (count > 0)
            Filter(AFrames.Frame(first), count, channels, now);
    }
    FApplied = target;
}

const TPropertyTableBase& TSVPassFilter::ClassPropertyTable() {
    using T = TSVPassFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVPassFilter", TSVBiquadFilter::ClassPropertyTable())
            .Cardinal("Poles", 2, &T::GetPoles, &T::SetPoles);
    return table;
}

void TSVPassFilter::SetPoles(uint32_t AValue) {
    if (AValue != 2 && AValue != 4)
        throw EArgumentError(FormatMessage("Poles out of range = %u (2 or 4)", AValue));
    SetPropValue("Poles", FPoles, AValue);
}

const TPropertyTableBase& TSVGainBiquadFilter::ClassPropertyTable() {
    using T = TSVGainBiquadFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVGainBiquadFilter", TSVBiquadFilter::ClassPropertyTable())
            .Double("Gain", 0, &T::GetGain, &T::SetGain);
    return table;
}

void TSVGainBiquadFilter::SetGain(double AValue) {
    if (!std::isfinite(AValue) || std::fabs(AValue) > 60)
        throw EArgumentError(FormatMessage("Gain out of range = %g dB", AValue));
    SetPropValue("Gain", FGain, AValue);
}

#define SONVERA_BIQUAD_CLASS_INFO(TClass, AShort, ADescription)                                    \
    const TClassInfo& TClass::ClassInfo() {                                                        \
        static const TClassInfo info = SVEffectClassInfo(#TClass, AShort, ADescription);           \
        return info;                                                                               \
    }                                                                                              \
    const TPropertyTableBase& TClass::ClassPropertyTable() {                                       \
        static const TPropertyTable<TClass> table(#TClass, TFamily::ClassPropertyTable());         \
        return table;                                                                              \
    }

SONVERA_BIQUAD_CLASS_INFO(TSVHighpassFilter, "highpass",
                          "Removes what lies below a frequency (12 or 24 dB per octave)")
SONVERA_BIQUAD_CLASS_INFO(TSVLowpassFilter, "lowpass",
                          "Removes what lies above a frequency (12 or 24 dB per octave)")
SONVERA_BIQUAD_CLASS_INFO(TSVBandpassFilter, "bandpass",
                          "Keeps a band around a frequency, 0 dB at its centre")
SONVERA_BIQUAD_CLASS_INFO(TSVNotchFilter, "notch", "Removes a narrow band around a frequency")
SONVERA_BIQUAD_CLASS_INFO(TSVPeakFilter, "peak", "Raises or lowers a band around a frequency")
SONVERA_BIQUAD_CLASS_INFO(TSVLowShelfFilter, "lowshelf",
                          "Raises or lowers everything below a frequency")
SONVERA_BIQUAD_CLASS_INFO(TSVHighShelfFilter, "highshelf",
                          "Raises or lowers everything above a frequency")

#undef SONVERA_BIQUAD_CLASS_INFO

} // namespace sonvera
