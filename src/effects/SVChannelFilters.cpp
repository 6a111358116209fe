#include "sonvera/effects/SVChannelFilters.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sonvera {

namespace {

// The gains of left and right at a balance.
float LeftGain(float APan) {
    return std::min(1.0f, 1.0f - APan);
}

float RightGain(float APan) {
    return std::min(1.0f, 1.0f + APan);
}

} // namespace

// ---- Pan -------------------------------------------------------------------------------------

const TClassInfo& TSVPanFilter::ClassInfo() {
    static const TClassInfo info =
        SVEffectClassInfo("TSVPanFilter", "pan", "Moves a stereo stream towards left or right");
    return info;
}

const TPropertyTableBase& TSVPanFilter::ClassPropertyTable() {
    using T = TSVPanFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVPanFilter", TSVEffectFilter::ClassPropertyTable())
            .Double("Pan", 0, &T::GetPan, &T::SetPan)
            .Within(-1, 1);
    return table;
}

void TSVPanFilter::SetPan(double AValue) {
    SetRangedPropValue("Pan", FPan, AValue);
}

void TSVPanFilter::ResetState(const TSVWaveFormatExtensible&) {
    FApplied = static_cast<float>(GetPan());
}

void TSVPanFilter::ProcessFrames(TSVFloatFrames AFrames) {
    const auto target = static_cast<float>(GetPan());
    if (AFrames.Channels() != 2 || (target == 0 && FApplied == 0))
        return;
    const uint32_t frames = AFrames.Frames();
    const float step = frames ? (target - FApplied) / static_cast<float>(frames) : 0;
    for (uint32_t i = 0; i < frames; ++i) {
        const float pan = FApplied + step * static_cast<float>(i + 1);
        AFrames(i, 0) *= LeftGain(pan);
        AFrames(i, 1) *= RightGain(pan);
    }
    FApplied = target;
}

// ---- Invert ----------------------------------------------------------------------------------

const TClassInfo& TSVInvertFilter::ClassInfo() {
    static const TClassInfo info = SVEffectClassInfo(
        "TSVInvertFilter", "invert", "Turns the polarity of chosen channels (bit n: channel n)");
    return info;
}

const TPropertyTableBase& TSVInvertFilter::ClassPropertyTable() {
    using T = TSVInvertFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVInvertFilter", TSVEffectFilter::ClassPropertyTable())
            .Cardinal("Channels", UINT32_MAX, &T::GetChannels, &T::SetChannels);
    return table;
}

void TSVInvertFilter::ProcessFrames(TSVFloatFrames AFrames) {
    const uint32_t chosen = GetChannels();
    const uint32_t channels = std::min<uint32_t>(AFrames.Channels(), 32);
    for (uint32_t i = 0; i < AFrames.Frames(); ++i)
        for (uint32_t c = 0; c < channels; ++c)
            if ((chosen >> c) & 1u)
                AFrames(i, c) = -AFrames(i, c);
}

// ---- DC block --------------------------------------------------------------------------------

const TClassInfo& TSVDCBlockFilter::ClassInfo() {
    static const TClassInfo info = SVEffectClassInfo(
        "TSVDCBlockFilter", "dc-block", "Removes a constant offset (a first-order high-pass)");
    return info;
}

const TPropertyTableBase& TSVDCBlockFilter::ClassPropertyTable() {
    using T = TSVDCBlockFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVDCBlockFilter", TSVEffectFilter::ClassPropertyTable())
            .Double("Frequency", 10, &T::GetFrequency, &T::SetFrequency)
            .Within(1, 200);
    return table;
}

void TSVDCBlockFilter::SetFrequency(double AValue) {
    SetRangedPropValue("Frequency", FFrequency, AValue);
}

void TSVDCBlockFilter::ResetState(const TSVWaveFormatExtensible& AFormat) {
    FInputs.assign(AFormat.Format.nChannels, 0.0f);
    FOutputs.assign(AFormat.Format.nChannels, 0.0f);
}

void TSVDCBlockFilter::ProcessFrames(TSVFloatFrames AFrames) {
    const uint32_t channels = AFrames.Channels();
    const uint32_t rate = GetSampleRate();
    if (rate == 0 || FInputs.size() != channels)
        return;
    const auto pole = static_cast<float>(1 - 2 * std::numbers::pi * GetFrequency() / rate);
    for (uint32_t c = 0; c < channels; ++c) {
        float input = FInputs[c], output = FOutputs[c];
        for (uint32_t i = 0; i < AFrames.Frames(); ++i) {
            const float x = AFrames(i, c);
            output = x - input + pole * output;
            input = x;
            AFrames(i, c) = output;
        }
        FInputs[c] = input;
        FOutputs[c] = std::fabs(output) < 1e-30f ? 0.0f : output;
    }
}

} // namespace sonvera
