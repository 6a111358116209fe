#include "Measurement.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "Conversion.h"
#include "sonvera/analysis/SVFrequencyMeter.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

namespace {

// Decibels by which the limiter's first ceiling on samples stays under the true-peak ceiling,
// for the peaks between samples, and the loudness error a normalisation accepts.
constexpr double KInterSampleMargin = 0.5;
constexpr double KNormalizeTolerance = 0.1;

// The end of a measuring chain: paces it (the base's master pumping) and drops what arrives.
class TDiscardingAudioOut : public TSVBasicAudioOut {
public:
    using TSVBasicAudioOut::TSVBasicAudioOut;

    bool SinkDispatch(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                      uint32_t) override {
        if (auto* start = OperationAs<TPXStartWaveOperation>(AOperation))
            SetAudioFormat(&start->GetWaveFormat());
        return false;
    }
};

void Connect(TPXPin* AOutput, TPXPin* AInput) {
    if (!AOutput->Connect(AInput))
        throw EAssertionFailed("Assertion failure (sonvera analyze)");
}

} // namespace

std::vector<std::string> ChannelNames(const TSVWaveFormatExtensible& AFormat) {
    static const char* const names[KSVSpeakerCount] = {"L",   "R",   "C",   "LFE", "BL",  "BR",
                                                       "FLC", "FRC", "BC",  "SL",  "SR",  "TC",
                                                       "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};
    const TSVSpeakers speakers = TSVSpeakers::FromMask(AFormat.dwChannelMask);
    std::vector<std::string> result;
    for (int32_t speaker = 0; speaker < KSVSpeakerCount; ++speaker)
        if (speakers.Contains(static_cast<TSVSpeaker>(speaker)))
            result.push_back(names[speaker]);
    if (AFormat.Format.nChannels == 1)
        return {"mono"};
    if (result.size() != AFormat.Format.nChannels) {
        result.clear();
        for (uint32_t channel = 1; channel <= AFormat.Format.nChannels; ++channel)
            result.push_back(std::to_string(channel));
    }
    return result;
}

TMeasurement MeasureFile(const std::string& AFile, TSVAnalysisPicture* APicture,
                         const std::string& AAllowedInputs) {
    TSVLAVFileSource source(nullptr);
    source.SetFileName(AFile);
    source.SetAllowedInputs(AAllowedInputs);
    source.Open();

    TSVLoudnessMeter loudness(nullptr);
    loudness.SetInterval(0);
    TSVLevelMeter levels(nullptr);
    TSVFrequencyMeter spectrum(nullptr);
    TDiscardingAudioOut sink(nullptr);
    Connect(source.GetOutputPin(), loudness.GetInputPin());
    Connect(loudness.GetOutputPin(), levels.GetInputPin());
    TPXPin* last = levels.GetOutputPin();
    if (APicture) {
        // One level block and one spectrum per pixel column of the plots.
        const double seconds = static_cast<double>(source.GetDuration()) / KUnitsPerSecond;
        const double interval = seconds > 0 ? seconds * 1000 / APicture->PlotWidth() : 100;
        levels.SetInterval(interval);
        levels.SetOnLevels([APicture](const TSVLevels& ABlock) { APicture->AddLevels(ABlock); });
        spectrum.SetInterval(interval);
        spectrum.SetOnSpectrum(
            [APicture](const TSVFrequencyColumn& AColumn) { APicture->AddSpectrum(AColumn); });
        Connect(last, spectrum.GetInputPin());
        last = spectrum.GetOutputPin();
    } else {
        // Whole buffers as blocks: the totals are all that is read.
        levels.SetInterval(0);
    }
    Connect(last, sink.GetInputPin());

    RunPumped(source, sink);
    TMainThread::ProcessQueue(); // the last blocks and spectra
    if (!source.GetError().empty())
        throw Exception(source.GetError());

    TMeasurement result;
    result.Codec = source.GetCodecName();
    result.Format = source.GetWaveFormat();
    result.Loudness = loudness.GetLoudness();
    result.Levels = levels.GetTotal();
    result.Frames = result.Levels.Frames;
    return result;
}

TConversionResult ConvertNormalized(TConversionOptions AOptions) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(AOptions.Input, error))
        throw EArgumentError(AOptions.Input + ": loudness normalisation reads its input twice, so "
                                              "it must be a file");
    const double target = AOptions.NormalizeLufs.value_or(0);
    const double ceiling = AOptions.TruePeakDb.value_or(-1);
    const double loudness =
        MeasureFile(AOptions.Input, nullptr, AOptions.AllowedInputs).Loudness.Integrated;
    if (!std::isfinite(loudness))
        throw EArgumentError(AOptions.Input + ": nothing loud enough to normalise");
    double gain = target - loudness;
    double limit = ceiling - KInterSampleMargin;
    std::optional<std::pair<double, double>> previous; // gain and loudness of the last pass
    for (int pass = 1;; ++pass) {
        AOptions.LoudnessGainDb = gain;
        AOptions.LimiterCeilingDb = limit;
        TConversionResult result = Convert(AOptions);
        if (pass == KNormalizePasses || !std::filesystem::is_regular_file(AOptions.Output, error))
            return result;
        const TSVLoudness reached = MeasureFile(AOptions.Output).Loudness;
        const double peak = *std::max_element(reached.TruePeak.begin(), reached.TruePeak.end());
        const bool loud = std::fabs(reached.Integrated - target) <= KNormalizeTolerance;
        if ((loud || !std::isfinite(reached.Integrated)) && peak <= ceiling)
            return result;
        if (peak > ceiling)
            limit -= peak - ceiling + 0.05;
        // Limited loudness grows slower than the gain: the next step follows the slope the
        // last two passes show (a secant), never steeper than one to one.
        double slope = 1;
        if (previous && std::fabs(gain - previous->first) > 1e-3)
            slope = std::clamp((reached.Integrated - previous->second) / (gain - previous->first),
                               0.1, 1.0);
        previous = std::pair(gain, reached.Integrated);
        gain += std::min((target - reached.Integrated) / slope, 12.0);
    }
}

} // namespace sonvera::tool
