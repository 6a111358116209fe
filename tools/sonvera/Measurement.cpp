#include "Measurement.h"

#include "Conversion.h"
#include "sonvera/analysis/SVSpectrum.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera::tool {

namespace {

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
    static const char* const names[KSVSpeakerCount] = {
        "L", "R", "C", "LFE", "BL", "BR", "FLC", "FRC", "BC",
        "SL", "SR", "TC", "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};
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

TMeasurement MeasureFile(const std::string& AFile, TSVAnalysisPicture* APicture) {
    TSVLAVFileSource source(nullptr);
    source.SetFileName(AFile);
    source.Open();

    TSVLoudnessMeter loudness(nullptr);
    loudness.SetInterval(0);
    TSVLevelMeter levels(nullptr);
    TSVSpectrum spectrum(nullptr);
    TDiscardingAudioOut sink(nullptr);
    Connect(source.GetOutputPin(), loudness.GetInputPin());
    Connect(loudness.GetOutputPin(), levels.GetInputPin());
    TPXPin* last = levels.GetOutputPin();
    if (APicture) {
        // One level block and one spectrum per pixel column of the plots.
        const double seconds = static_cast<double>(source.GetDuration()) / 10'000'000;
        const double interval = seconds > 0 ? seconds * 1000 / APicture->PlotWidth() : 100;
        levels.SetInterval(interval);
        levels.SetOnLevels([APicture](const TSVLevels& ABlock) { APicture->AddLevels(ABlock); });
        spectrum.SetInterval(interval);
        spectrum.SetOnSpectrum(
            [APicture](const TSVSpectrumColumn& AColumn) { APicture->AddSpectrum(AColumn); });
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

} // namespace sonvera::tool
