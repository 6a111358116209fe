// A generator of a sine tone in the generator's audio format, the same on every channel: for
// trying a chain, measuring one, or rendering a known signal. With a Duration it ends by itself
// after exactly that many frames (rounded to the nearest frame); without one it runs until it is
// stopped. It runs as fast as its chain takes buffers unless Realtime is set, when its clock
// follows the wall clock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "sonvera/components/SVCommonGen.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Published: Frequency (440 Hz), Amplitude (0.5 of full scale), Duration (0 s: endless),
// Realtime (false), and the generator's AudioFormat (at 44.1 kHz to begin with).
class TSVToneGen : public TSVCommonGen {
public:
    static constexpr double KMaxFrequency = 1'000'000;
    // The rate its format starts at: a tone is for listening and comparing, at a rate people use.
    static constexpr uint32_t KDefaultSampleRate = 44100;

    explicit TSVToneGen(TPersistent* AOwner);
    ~TSVToneGen() override;

    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // 0 to KMaxFrequency; anything else raises EArgumentError. The same for the setters below.
    double GetFrequency() const { return GetPropValue(FFrequency); }
    void SetFrequency(double AValue);
    // 0 to 1.
    double GetAmplitude() const { return GetPropValue(FAmplitude); }
    void SetAmplitude(double AValue);
    // Seconds, 0 or more; 0 runs until stopped.
    double GetDurationSeconds() const { return GetPropValue(FDuration); }
    void SetDurationSeconds(double AValue);
    bool GetRealtime() const { return GetPropValue(FRealtime); }
    void SetRealtime(bool AValue) { SetPropValue("Realtime", FRealtime, AValue); }
    int64_t GetStreamPosition() const noexcept override { return FPosition.load(); }
    int64_t GetStreamDuration() const override;

protected:
    void StartStream(int32_t ASize) override;
    void StartPump() override;
    void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool& ASend, bool& AStop) override;

private:
    double FFrequency = 440;
    double FAmplitude = 0.5;
    double FDuration = 0;
    bool FRealtime = false;
    // The running stream's; under the component lock (ticks hold it).
    uint64_t FNext = 0;
    uint64_t FTotal = 0; // 0: endless
    std::atomic<int64_t> FPosition{0};
    std::shared_ptr<TQXFreeRunningTimeSource> FFreeRunning; // the clock's, when it runs free
};

} // namespace sonvera
