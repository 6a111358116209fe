#include "sonvera/components/SVToneGen.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "sonvera/components/Categories.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

TSVToneGen::TSVToneGen(TPersistent* AOwner) : TSVCommonGen(AOwner) {
    GetAudioFormat()->SetSampleRate(KDefaultSampleRate);
}

TSVToneGen::~TSVToneGen() {
    Stop(); // ticks call GenerateBuffer, which is ours
}

const TClassInfo& TSVToneGen::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVToneGen",
                                 .Category = &TSonveraGeneratorsToolbarCategory::ClassInfo(),
                                 .ShortName = "tone",
                                 .Description = "A sine tone, endless or of a given duration"};
    return info;
}

const TPropertyTableBase& TSVToneGen::ClassPropertyTable() {
    using T = TSVToneGen;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVToneGen", TSVCommonGen::ClassPropertyTable())
            .Double("Frequency", 440, &T::GetFrequency, &T::SetFrequency)
            .Within(0, KMaxFrequency)
            .About("the tone's frequency in Hz")
            .Double("Amplitude", 0.5, &T::GetAmplitude, &T::SetAmplitude)
            .Within(0, 1)
            .About("the peak as a fraction of full scale", puFactor)
            .Double("Duration", 0, &T::GetDurationSeconds, &T::SetDurationSeconds)
            // A year of samples at the highest rate still counts in 64 bits.
            .Within(0, 366.0 * 24 * 3600)
            .About("seconds of tone; 0 runs until stopped", puSeconds)
            .Boolean("Realtime", false, &T::GetRealtime, &T::SetRealtime)
            .About("follow the wall clock instead of running as fast as the chain takes buffers");
    return table;
}

void TSVToneGen::SetFrequency(double AValue) {
    SetRangedPropValue("Frequency", FFrequency, AValue);
}

void TSVToneGen::SetAmplitude(double AValue) {
    SetRangedPropValue("Amplitude", FAmplitude, AValue);
}

void TSVToneGen::SetDurationSeconds(double AValue) {
    SetRangedPropValue("Duration", FDuration, AValue);
}

int64_t TSVToneGen::GetStreamDuration() const {
    return std::llround(GetDurationSeconds() * KUnitsPerSecond);
}

void TSVToneGen::StartStream(int32_t) {
    FNext = 0;
    FPosition = 0;
    FTotal = static_cast<uint64_t>(std::llround(GetDurationSeconds() * GetSampleRate()));
}

void TSVToneGen::StartPump() {
    if (!GetPump() || IsExternalClock() || GetPumpClock())
        return;
    const int64_t interval = PumpInterval(GetSampleRate(), GetBufferSize());
    if (interval == 0)
        return; // no rate: nothing to pace
    std::shared_ptr<IQXTimeSource> source = GetTimeSource();
    FFreeRunning.reset();
    if (!source && !GetRealtime()) {
        FFreeRunning = std::make_shared<TQXFreeRunningTimeSource>();
        source = FFreeRunning;
    }
    SetPumpClock(std::make_unique<TQXClockGen>(
        this, interval, [this] { IntPump(); }, std::move(source)));
}

void TSVToneGen::GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool& ASend, bool& AStop) {
    if (FTotal != 0 && FNext >= FTotal) {
        ASend = false; // a tick that came before the stop took effect
        AStop = true;
        return;
    }
    uint32_t frames = ABuffer->GetSize();
    if (FTotal != 0)
        frames = static_cast<uint32_t>(std::min<uint64_t>(frames, FTotal - FNext));
    ABuffer->Resize(frames, false);
    auto* tone = reinterpret_cast<int16_t*>(GetIntVarBuffer()->Write());
    const double step = 2 * std::numbers::pi * GetFrequency() / GetSampleRate();
    const double peak = 32767 * GetAmplitude();
    for (uint32_t i = 0; i < frames; ++i)
        tone[i] = static_cast<int16_t>(
            std::lround(peak * std::sin(step * static_cast<double>(FNext + i))));
    PopulateAudio(GetIntVarBuffer(), ABuffer);
    FNext += frames;
    FPosition = SVFramesToUnits(static_cast<int64_t>(FNext), std::llround(GetSampleRate()));
    if (FTotal != 0 && FNext >= FTotal) {
        AStop = true;
        if (FFreeRunning)
            FFreeRunning->Hold(); // no idle ticks until the stop has joined the clock
    }
}

} // namespace sonvera
