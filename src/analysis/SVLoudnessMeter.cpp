#include "sonvera/analysis/SVLoudnessMeter.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "SVAnalysisSamples.h"
#include "sonvera/components/Categories.h"
#include "sonvera/primitives/SVTruePeak.h"

namespace sonvera {

namespace {

constexpr double KSilent = -std::numeric_limits<double>::infinity();

double Decibels(double ALinear) {
    return ALinear > 0 ? 20.0 * std::log10(ALinear) : KSilent;
}

// Where a speaker stands in the weighting: the low-frequency channel is left out, the surround
// channels weigh more than the front ones.
int ChannelOf(TSVSpeaker ASpeaker) {
    switch (ASpeaker) {
    case spFrontLeft:
        return EBUR128_LEFT;
    case spFrontRight:
        return EBUR128_RIGHT;
    case spFrontCenter:
        return EBUR128_CENTER;
    case spSubwoofer:
        return EBUR128_UNUSED;
    case spBackLeft:
    case spSideLeft:
        return EBUR128_LEFT_SURROUND;
    case spBackRight:
    case spSideRight:
        return EBUR128_RIGHT_SURROUND;
    default:
        return EBUR128_LEFT; // weighted as a front channel
    }
}

} // namespace

struct TSVLoudnessMeter::TState {
    ebur128_state* Meter = nullptr;
    int32_t Rate = 0;
    uint32_t Channels = 0;
    uint64_t Frames = 0;
    uint64_t NextEvent = 0; // frame count at which the next event is due; 0: none
    uint64_t EventFrames = 0;
    std::vector<float> Samples;
    // With true peaks: per channel the largest interpolated magnitude, and the samples of the
    // channel's last buffer behind the past the filter reads.
    bool TruePeaks = false;
    std::vector<float> Peaks;
    std::vector<std::vector<float>> Runs;

    void MeasurePeaks(uint64_t AFrames) {
        for (uint32_t channel = 0; channel < Channels; ++channel) {
            std::vector<float>& run = Runs[channel];
            run.resize(KSVTruePeakHistory + AFrames);
            for (uint64_t frame = 0; frame < AFrames; ++frame)
                run[KSVTruePeakHistory + frame] = Samples[frame * Channels + channel];
            Peaks[channel] =
                std::max(Peaks[channel], SVTruePeak_32f(run.data() + KSVTruePeakHistory,
                                                        static_cast<int32_t>(AFrames)));
            std::copy(run.end() - KSVTruePeakHistory, run.end(), run.begin());
        }
    }

    ~TState() { ebur128_destroy(&Meter); }
};

TSVLoudnessMeter::TSVLoudnessMeter(TPersistent* AOwner) : TSVMeterFilter(AOwner, 100) {}

TSVLoudnessMeter::~TSVLoudnessMeter() = default;

const TClassInfo& TSVLoudnessMeter::ClassInfo() {
    static const TClassInfo info{
        .ClassName = "TSVLoudnessMeter",
        .Category = &TSonveraMeasurementToolbarCategory::ClassInfo(),
        .ShortName = "loudness",
        .Description = "Measures momentary, short-term and integrated loudness, loudness range "
                       "and sample and true peaks of what passes"};
    return info;
}

const TPropertyTableBase& TSVLoudnessMeter::ClassPropertyTable() {
    using T = TSVLoudnessMeter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVLoudnessMeter", TSVCommonFilter::ClassPropertyTable())
            .Double("Interval", 100.0, &T::GetInterval, &T::SetInterval)
            .Boolean("TruePeak", true, &T::GetTruePeak, &T::SetTruePeak);
    return table;
}

void TSVLoudnessMeter::SetTruePeak(bool AValue) {
    SetPropValue("TruePeak", FTruePeak, AValue);
}

TSVLoudness TSVLoudnessMeter::GetLoudness() const {
    std::lock_guard<std::mutex> guard(FMeterLock);
    return Snapshot();
}

TSVLoudness TSVLoudnessMeter::Snapshot() const {
    TSVLoudness figures{KSilent, KSilent, KSilent, KSilent, {}, {}, 0};
    if (!FState)
        return figures;
    ebur128_state* meter = FState->Meter;
    double value = 0;
    if (ebur128_loudness_momentary(meter, &value) == EBUR128_SUCCESS)
        figures.Momentary = value;
    if (ebur128_loudness_shortterm(meter, &value) == EBUR128_SUCCESS)
        figures.ShortTerm = value;
    if (ebur128_loudness_global(meter, &value) == EBUR128_SUCCESS)
        figures.Integrated = value;
    // A range needs loudness above the gates; libebur128 reads none as 0 LU.
    if (std::isfinite(figures.Integrated) &&
        ebur128_loudness_range(meter, &value) == EBUR128_SUCCESS)
        figures.Range = value;
    for (uint32_t channel = 0; channel < FState->Channels; ++channel) {
        const double sample =
            ebur128_sample_peak(meter, channel, &value) == EBUR128_SUCCESS ? value : 0.0;
        figures.SamplePeak.push_back(Decibels(sample));
        figures.TruePeak.push_back(FState->TruePeaks
                                       ? Decibels(std::max<double>(sample, FState->Peaks[channel]))
                                       : KSilent);
    }
    figures.Time = SVFramesToUnits(static_cast<int64_t>(FState->Frames), FState->Rate);
    return figures;
}

void TSVLoudnessMeter::AudioStreamStart(TPXStartWaveOperation& AOperation) {
    const TSVWaveFormatExtensible& format = AOperation.GetWaveFormat();
    const uint32_t channels = format.Format.nChannels;
    const auto rate = static_cast<int32_t>(format.Format.nSamplesPerSec);
    // True peaks come from the library's own oversampler, at a fraction of libebur128's cost.
    const int mode = EBUR128_MODE_M | EBUR128_MODE_S | EBUR128_MODE_I | EBUR128_MODE_LRA |
                     EBUR128_MODE_SAMPLE_PEAK;
    auto state = std::make_unique<TState>();
    state->Meter = channels > 0 && rate > 0
                       ? ebur128_init(channels, static_cast<unsigned long>(rate), mode)
                       : nullptr;
    if (!state->Meter)
        throw EArgumentError(
            FormatMessage("TSVLoudnessMeter: cannot measure %u channels at %d Hz", channels, rate));
    const TSVSpeakers speakers = TSVSpeakers::FromMask(format.dwChannelMask);
    uint32_t channel = 0;
    for (int32_t speaker = 0; speaker < KSVSpeakerCount && channel < channels; ++speaker)
        if (speakers.Contains(static_cast<TSVSpeaker>(speaker)))
            ebur128_set_channel(state->Meter, channel++,
                                ChannelOf(static_cast<TSVSpeaker>(speaker)));
    state->Rate = rate;
    state->Channels = channels;
    state->TruePeaks = GetTruePeak();
    state->Peaks.assign(channels, 0.0f);
    state->Runs.assign(channels, std::vector<float>(KSVTruePeakHistory, 0.0f));
    state->EventFrames = static_cast<uint64_t>(std::llround(GetInterval() * rate / 1000.0));
    state->NextEvent = state->EventFrames;
    {
        std::lock_guard<std::mutex> guard(FMeterLock);
        FState = std::move(state);
    }
    TSVCommonFilter::AudioStreamStart(AOperation);
}

void TSVLoudnessMeter::FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                               TRef<ISVAudioBuffer>&, bool&) {
    std::unique_lock<std::mutex> guard(FMeterLock);
    if (!FState || static_cast<uint32_t>(AInBuffer->GetChannels()) != FState->Channels)
        return;
    SVCopyAsFloats(*AInBuffer, FState->Samples);
    const uint64_t frames = AInBuffer->GetSize();
    ebur128_add_frames_float(FState->Meter, FState->Samples.data(), frames);
    if (FState->TruePeaks)
        FState->MeasurePeaks(frames);
    FState->Frames += frames;
    if (FState->EventFrames == 0 || FState->Frames < FState->NextEvent)
        return;
    while (FState->NextEvent <= FState->Frames)
        FState->NextEvent += FState->EventFrames;
    const TSVLoudness figures = Snapshot();
    guard.unlock();
    Send({figures});
}

void TSVLoudnessMeter::StreamStop() {
    TSVCommonFilter::StreamStop();
    std::unique_lock<std::mutex> guard(FMeterLock);
    if (!FState)
        return;
    const TSVLoudness figures = Snapshot();
    guard.unlock();
    Send({figures});
}

} // namespace sonvera
