#include "sonvera/effects/SVDynamicsFilters.h"

#include <algorithm>
#include <cmath>

namespace sonvera {

namespace {

// Decibels per doubling: level in dB = KDecibelsPerOctave * log2(magnitude).
constexpr float KDecibelsPerOctave = 6.0205999f;

double Linear(double ADecibels) {
    return std::pow(10.0, ADecibels / 20);
}

// The coefficient of a one-pole smoother that covers 1 - 1/e of a step in AMilliseconds.
float SmoothingCoefficient(double AMilliseconds, uint32_t ARate) {
    const double frames = AMilliseconds / 1000 * ARate;
    return frames < 1e-9 ? 0.0f : static_cast<float>(std::exp(-1.0 / frames));
}

float FramePeak(const float* AFrame, uint32_t AChannels) {
    float peak = 0;
    for (uint32_t c = 0; c < AChannels; ++c)
        peak = std::max(peak, std::fabs(AFrame[c]));
    return peak;
}

void ScaleFrame(float* AFrame, uint32_t AChannels, float AGain) {
    for (uint32_t c = 0; c < AChannels; ++c)
        AFrame[c] *= AGain;
}

TClassInfo DynamicsClassInfo(const char* AClassName, const char* AShortName,
                             const char* ADescription) {
    return SVEffectClassInfo(AClassName, AShortName, ADescription);
}

} // namespace

double SVCompressorCurve(double ALevel, double AThreshold, double ARatio, double AKnee) {
    const double over = ALevel - AThreshold;
    if (2 * over <= -AKnee)
        return ALevel;
    if (2 * std::fabs(over) < AKnee) {
        const double into = over + AKnee / 2;
        return ALevel + (1 / ARatio - 1) * into * into / (2 * AKnee);
    }
    return AThreshold + over / ARatio;
}

// ---- Envelope --------------------------------------------------------------------------------

void TSVEnvelopeFilter::SetThreshold(double AValue) {
    SetRangedPropValue("Threshold", FThreshold, AValue);
}

void TSVEnvelopeFilter::SetAttack(double AValue) {
    SetRangedPropValue("Attack", FAttack, AValue);
}

void TSVEnvelopeFilter::SetRelease(double AValue) {
    SetRangedPropValue("Release", FRelease, AValue);
}

TSVEnvelopeTimes TSVEnvelopeFilter::EnvelopeTimes() const {
    const uint32_t rate = GetSampleRate();
    return {SmoothingCoefficient(GetAttack(), rate), SmoothingCoefficient(GetRelease(), rate)};
}

// ---- Compressor ------------------------------------------------------------------------------

const TClassInfo& TSVCompressor::ClassInfo() {
    static const TClassInfo info = DynamicsClassInfo(
        "TSVCompressor", "compressor", "Lowers loud passages above a threshold by a ratio");
    return info;
}

const TPropertyTableBase& TSVCompressor::ClassPropertyTable() {
    using T = TSVCompressor;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVCompressor", TSVEffectFilter::ClassPropertyTable())
            .Double("Threshold", -18, &T::GetThreshold, &T::SetThreshold)
            .Within(-90, 0)
            .Double("Ratio", 2, &T::GetRatio, &T::SetRatio)
            .Within(1, 100)
            .Double("Attack", 20, &T::GetAttack, &T::SetAttack)
            .Within(0.01, 2000)
            .Double("Release", 250, &T::GetRelease, &T::SetRelease)
            .Within(0.01, 2000)
            .Double("Knee", 6, &T::GetKnee, &T::SetKnee)
            .Within(0, 24)
            .Double("Makeup", 0, &T::GetMakeup, &T::SetMakeup)
            .Within(-24, 48);
    return table;
}

void TSVCompressor::SetRatio(double AValue) {
    SetRangedPropValue("Ratio", FRatio, AValue);
}

void TSVCompressor::SetKnee(double AValue) {
    SetRangedPropValue("Knee", FKnee, AValue);
}

void TSVCompressor::SetMakeup(double AValue) {
    SetRangedPropValue("Makeup", FMakeup, AValue);
}

void TSVCompressor::ResetState(const TSVWaveFormatExtensible&) {
    FReduction = 0;
}

void TSVCompressor::ProcessFrames(TSVFloatFrames AFrames) {
    const double threshold = GetThreshold(), ratio = GetRatio(), knee = GetKnee();
    const TSVEnvelopeTimes times = EnvelopeTimes();
    const auto makeup = static_cast<float>(GetMakeup());
    // Below the knee's start nothing is reduced: no logarithm needed.
    const auto quiet = static_cast<float>(Linear(threshold - knee / 2));
    auto reduction = static_cast<float>(FReduction);
    for (uint32_t i = 0; i < AFrames.Frames(); ++i) {
        float* frame = AFrames.Frame(i);
        const float peak = FramePeak(frame, AFrames.Channels());
        float wanted = 0;
        if (peak > quiet) {
            const float level = KDecibelsPerOctave * std::log2(peak);
            wanted = static_cast<float>(SVCompressorCurve(level, threshold, ratio, knee)) - level;
        }
        reduction = times.Follow(reduction, wanted, wanted < reduction);
        if (reduction > -1e-6f)
            reduction = 0; // settled: the gain is the make-up alone
        if (reduction != 0 || makeup != 0)
            ScaleFrame(frame, AFrames.Channels(),
                       std::exp2((reduction + makeup) / KDecibelsPerOctave));
    }
    FReduction = reduction;
}

// ---- Limiter ---------------------------------------------------------------------------------

const TClassInfo& TSVLimiter::ClassInfo() {
    static const TClassInfo info = DynamicsClassInfo(
        "TSVLimiter", "limiter", "Keeps every sample at or below a ceiling, with look-ahead");
    return info;
}

const TPropertyTableBase& TSVLimiter::ClassPropertyTable() {
    using T = TSVLimiter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVLimiter", TSVEffectFilter::ClassPropertyTable())
            .Double("Ceiling", -1, &T::GetCeiling, &T::SetCeiling)
            .Within(-60, 0)
            .Double("Release", 50, &T::GetRelease, &T::SetRelease)
            .Within(1, 5000)
            .Double("Lookahead", 5, &T::GetLookahead, &T::SetLookahead)
            .Within(0, 100);
    return table;
}

void TSVLimiter::SetCeiling(double AValue) {
    SetRangedPropValue("Ceiling", FCeiling, AValue);
}

void TSVLimiter::SetRelease(double AValue) {
    SetRangedPropValue("Release", FRelease, AValue);
}

void TSVLimiter::SetLookahead(double AValue) {
    SetRangedPropValue("Lookahead", FLookahead, AValue);
}

void TSVLimiter::ResetState(const TSVWaveFormatExtensible& AFormat) {
    const uint32_t channels = AFormat.Format.nChannels;
    FWindow = std::max<uint32_t>(1, static_cast<uint32_t>(std::lround(
                                        GetLookahead() / 1000 * AFormat.Format.nSamplesPerSec)));
    FDelay.assign(size_t{FWindow - 1} * channels, 0.0f);
    FNeeded.assign(FWindow - 1, 1.0f);
    FMinima.assign(FWindow, 1.0f);
    FQueuePositions.assign(FWindow, 0);
    FQueueGains.assign(FWindow, 1.0f);
    FQueueHead = FQueueSize = 0;
    FMinimaSum = FWindow;
    FPosition = FMinimaAt = FDelayAt = 0;
    FGain = 1;
}

// The rings' indices step and wrap by comparison: a division per frame would cost more than the
// rest of the frame's work.
size_t TSVLimiter::QueueSlot(size_t AOffset) const {
    const size_t slot = FQueueHead + AOffset;
    return slot >= FWindow ? slot - FWindow : slot;
}

float TSVLimiter::NextGain(float ARequired, float ALeaving, float ARelease) {
    // The smallest required gain of the look-ahead window, from the monotonic queue, which holds
    // fewer than FWindow positions before this one joins.
    if (FQueueSize > 0 && FQueuePositions[FQueueHead] + FWindow <= FPosition) {
        FQueueHead = QueueSlot(1);
        --FQueueSize;
    }
    while (FQueueSize > 0 && FQueueGains[QueueSlot(FQueueSize - 1)] >= ARequired)
        --FQueueSize;
    const size_t tail = QueueSlot(FQueueSize);
    FQueuePositions[tail] = FPosition;
    FQueueGains[tail] = ARequired;
    ++FQueueSize;
    const float minimum = FQueueGains[FQueueHead];
    // Averaged over the window once more, the minima fall in a ramp that reaches each peak's
    // gain as the peak leaves the delay, never later.
    FMinimaSum += double{minimum} - FMinima[FMinimaAt];
    FMinima[FMinimaAt] = minimum;
    FMinimaAt = FMinimaAt + 1 == FWindow ? 0 : FMinimaAt + 1;
    const auto ramp = static_cast<float>(FMinimaSum / FWindow);
    const float released = 1 - (1 - FGain) * ARelease;
    // The leaving frame's own need bounds the gain whatever the sums' rounding did.
    FGain = std::min({released, ramp, ALeaving});
    ++FPosition;
    return FGain;
}

void TSVLimiter::ProcessFrames(TSVFloatFrames AFrames) {
    const uint32_t channels = AFrames.Channels();
    if (channels == 0 || FDelay.size() != size_t{FWindow - 1} * channels)
        return;
    const auto ceiling = static_cast<float>(Linear(GetCeiling()));
    const float release = SmoothingCoefficient(GetRelease(), GetSampleRate());
    const uint32_t held = FWindow - 1;
    for (uint32_t i = 0; i < AFrames.Frames(); ++i) {
        float* frame = AFrames.Frame(i);
        const float peak = FramePeak(frame, channels);
        float required = 1;
        if (peak > ceiling) {
            required = ceiling / peak;
            while (peak * required > ceiling) // the quotient rounded up: one step down
                required = std::nextafter(required, 0.0f);
        }
        // The frame leaves the delay that took it `held` frames ago, with the gain it needs.
        float leaving = required;
        if (held > 0) {
            float* delayed = FDelay.data() + FDelayAt * channels;
            for (uint32_t c = 0; c < channels; ++c)
                std::swap(delayed[c], frame[c]);
            leaving = FNeeded[FDelayAt];
            FNeeded[FDelayAt] = required;
            FDelayAt = FDelayAt + 1 == held ? 0 : FDelayAt + 1;
        }
        ScaleFrame(frame, channels, NextGain(required, leaving, release));
    }
}

// ---- Gate ------------------------------------------------------------------------------------

const TClassInfo& TSVGate::ClassInfo() {
    static const TClassInfo info = DynamicsClassInfo(
        "TSVGate", "gate", "Lowers the signal by a range while it stays under a threshold");
    return info;
}

const TPropertyTableBase& TSVGate::ClassPropertyTable() {
    using T = TSVGate;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVGate", TSVEffectFilter::ClassPropertyTable())
            .Double("Threshold", -50, &T::GetThreshold, &T::SetThreshold)
            .Within(-90, 0)
            .Double("Attack", 1, &T::GetAttack, &T::SetAttack)
            .Within(0.01, 2000)
            .Double("Release", 100, &T::GetRelease, &T::SetRelease)
            .Within(0.01, 2000)
            .Double("Range", -24, &T::GetRange, &T::SetRange)
            .Within(-120, 0);
    return table;
}

void TSVGate::SetRange(double AValue) {
    SetRangedPropValue("Range", FRange, AValue);
}

void TSVGate::ResetState(const TSVWaveFormatExtensible&) {
    FEnvelope = 0;
    FGain = static_cast<float>(Linear(GetRange())); // closed until the signal opens it
}

void TSVGate::ProcessFrames(TSVFloatFrames AFrames) {
    const auto threshold = static_cast<float>(Linear(GetThreshold()));
    const auto closed = static_cast<float>(Linear(GetRange()));
    const TSVEnvelopeTimes times = EnvelopeTimes();
    float envelope = FEnvelope, gain = FGain;
    for (uint32_t i = 0; i < AFrames.Frames(); ++i) {
        float* frame = AFrames.Frame(i);
        // The envelope holds peaks and falls away over the release time.
        envelope = std::max(FramePeak(frame, AFrames.Channels()), envelope * times.Release);
        const float target = envelope > threshold ? 1.0f : closed;
        gain = times.Follow(gain, target, target > gain);
        ScaleFrame(frame, AFrames.Channels(), gain);
    }
    FEnvelope = envelope;
    FGain = gain;
}

} // namespace sonvera
