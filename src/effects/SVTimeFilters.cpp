#include "sonvera/effects/SVTimeFilters.h"

#include <algorithm>
#include <cmath>

#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

// ---- Delay -----------------------------------------------------------------------------------

const TClassInfo& TSVDelayFilter::ClassInfo() {
    static const TClassInfo info = SVEffectClassInfo(
        "TSVDelayFilter", "delay", "Adds an echo of the signal after a time, with feedback");
    return info;
}

const TPropertyTableBase& TSVDelayFilter::ClassPropertyTable() {
    using T = TSVDelayFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVDelayFilter", TSVEffectFilter::ClassPropertyTable())
            .Double("Time", 500, &T::GetTime, &T::SetTime)
            .Within(1, 5000)
            .Double("Feedback", 0.3, &T::GetFeedback, &T::SetFeedback)
            .Within(0, 0.95)
            .Double("Mix", 0.5, &T::GetMix, &T::SetMix)
            .Within(0, 1);
    return table;
}

void TSVDelayFilter::SetTime(double AValue) {
    SetRangedPropValue("Time", FTime, AValue);
}

void TSVDelayFilter::SetFeedback(double AValue) {
    SetRangedPropValue("Feedback", FFeedback, AValue);
}

void TSVDelayFilter::SetMix(double AValue) {
    SetRangedPropValue("Mix", FMix, AValue);
}

void TSVDelayFilter::ResetState(const TSVWaveFormatExtensible& AFormat) {
    const auto frames = std::max<size_t>(
        1, static_cast<size_t>(std::lround(GetTime() / 1000 * AFormat.Format.nSamplesPerSec)));
    FRing.assign(frames * AFormat.Format.nChannels, 0.0f);
    FAt = 0;
}

void TSVDelayFilter::ProcessFrames(TSVFloatFrames AFrames) {
    const uint32_t channels = AFrames.Channels();
    if (channels == 0 || FRing.size() % channels != 0 || FRing.empty())
        return;
    const size_t ringFrames = FRing.size() / channels;
    const auto feedback = static_cast<float>(GetFeedback());
    const auto wet = static_cast<float>(GetMix());
    const float dry = 1 - wet;
    for (uint32_t i = 0; i < AFrames.Frames(); ++i) {
        float* delayed = FRing.data() + FAt * channels;
        float* frame = AFrames.Frame(i);
        for (uint32_t c = 0; c < channels; ++c) {
            const float echo = delayed[c];
            delayed[c] = frame[c] + feedback * echo;
            frame[c] = dry * frame[c] + wet * echo;
        }
        FAt = FAt + 1 == ringFrames ? 0 : FAt + 1;
    }
}

// ---- Fade ------------------------------------------------------------------------------------

const TClassInfo& TSVFadeFilter::ClassInfo() {
    static const TClassInfo info = SVEffectClassInfo(
        "TSVFadeFilter", "fade", "Fades in at the start and out at the end (seconds)");
    return info;
}

const TPropertyTableBase& TSVFadeFilter::ClassPropertyTable() {
    using T = TSVFadeFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVFadeFilter", TSVEffectFilter::ClassPropertyTable())
            .Double("In", 0, &T::GetIn, &T::SetIn)
            .Within(0, 86400)
            .Double("Out", 0, &T::GetOut, &T::SetOut)
            .Within(0, 86400)
            .Double("Duration", 0, &T::GetDuration, &T::SetDuration)
            .Within(0, 1e7);
    return table;
}

void TSVFadeFilter::SetIn(double AValue) {
    SetRangedPropValue("In", FIn, AValue);
}

void TSVFadeFilter::SetOut(double AValue) {
    SetRangedPropValue("Out", FOut, AValue);
}

void TSVFadeFilter::SetDuration(double AValue) {
    SetRangedPropValue("Duration", FDuration, AValue);
}

void TSVFadeFilter::ResetState(const TSVWaveFormatExtensible&) {
    FLength = GetDuration();
    if (GetOut() > 0 && FLength <= 0)
        FLength = static_cast<double>(TQXBasicCommonGen::UpstreamDuration(*GetInputPin())) /
                  KUnitsPerSecond;
    if (GetOut() > 0 && FLength <= 0)
        throw EArgumentError("fade: fading out needs the stream's duration, which is not known "
                             "upstream (set Duration in seconds)");
    FFrame = 0;
}

void TSVFadeFilter::ProcessFrames(TSVFloatFrames AFrames) {
    const double rate = GetSampleRate();
    if (rate <= 0)
        return;
    const double in = GetIn() * rate, out = GetOut() * rate;
    const double end = FLength * rate;
    for (uint32_t i = 0; i < AFrames.Frames(); ++i, ++FFrame) {
        const auto frame = static_cast<double>(FFrame);
        double gain = 1;
        if (frame < in)
            gain = frame / in;
        if (out > 0 && frame > end - out)
            gain = std::min(gain, std::max(0.0, (end - frame) / out));
        if (gain != 1)
            for (uint32_t c = 0; c < AFrames.Channels(); ++c)
                AFrames(i, c) *= static_cast<float>(gain);
    }
}

} // namespace sonvera
