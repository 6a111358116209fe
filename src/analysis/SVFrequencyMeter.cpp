#include "sonvera/analysis/SVFrequencyMeter.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/tx.h>
}

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>
#include <numbers>

#include "SVAnalysisSamples.h"
#include "sonvera/components/Categories.h"

namespace sonvera {

namespace {

struct TAvFree {
    void operator()(void* APointer) const noexcept { av_free(APointer); }
};
template <class T> using TAvArray = std::unique_ptr<T[], TAvFree>;

template <class T> TAvArray<T> AllocateArray(size_t ACount) {
    auto* block = static_cast<T*>(av_malloc_array(ACount, sizeof(T)));
    if (!block)
        throw std::bad_alloc();
    return TAvArray<T>(block);
}

} // namespace

// Windows are cut from per-channel runs of pending frames whose first frame is FFirst in the
// stream; the stream is taken as silent before its start, so the first window is centred on
// frame 0.
class TSVFrequencyMeter::TAnalyser {
public:
    TAnalyser(int32_t ASize, int32_t ARate, uint32_t AChannels, double AColumnFrames)
        : FSize(ASize), FRate(ARate), FColumnFrames(AColumnFrames),
          FHop(AColumnFrames >= 1
                   ? std::clamp<int32_t>(static_cast<int32_t>(AColumnFrames), 1, ASize / 2)
                   : ASize / 2),
          FFirst(-ASize / 2), FPending(AChannels, std::vector<float>(size_t(ASize / 2), 0.0f)),
          FSums(size_t(ASize / 2 + 1), 0.0), FWindow(size_t(ASize)),
          FInput(AllocateArray<float>(size_t(ASize))),
          FOutput(AllocateArray<AVComplexFloat>(size_t(ASize / 2 + 1))) {
        const float scale = 1.0f;
        if (av_tx_init(&FContext, &FTransform, AV_TX_FLOAT_RDFT, 0, ASize, &scale, 0) < 0)
            throw EArgumentError(
                FormatMessage("TSVFrequencyMeter: no transform of %d frames", ASize));
        for (int32_t n = 0; n < ASize; ++n) // periodic Hann: sums to half the size
            FWindow[size_t(n)] =
                static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / ASize));
    }
    ~TAnalyser() { av_tx_uninit(&FContext); }

    void Add(const std::vector<float>& AFrames, std::vector<TSVFrequencyColumn>& AOut) {
        const size_t channels = FPending.size();
        const size_t frames = AFrames.size() / channels;
        for (size_t channel = 0; channel < channels; ++channel) {
            std::vector<float>& pending = FPending[channel];
            const size_t at = pending.size();
            pending.resize(at + frames);
            for (size_t frame = 0; frame < frames; ++frame)
                pending[at + frame] = AFrames[frame * channels + channel];
        }
        FEnd += static_cast<int64_t>(frames);
        while (FPending[0].size() >= size_t(FSize))
            AnalyseWindow(AOut);
    }

    // The last columns. Windows that would reach past the end are left out, as the silence
    // after an abrupt end would read as a click, unless the stream was too short for any.
    void Finish(std::vector<TSVFrequencyColumn>& AOut) {
        while (FColumns == 0 && FCount == 0 && FFirst + FSize / 2 < FEnd) {
            for (std::vector<float>& pending : FPending)
                pending.resize(size_t(FSize), 0.0f);
            AnalyseWindow(AOut);
        }
        if (FColumnFrames >= 1)
            while (ColumnEdge(FColumns) < FEnd)
                FinishColumn(AOut);
        else if (FCount > 0)
            FinishColumn(AOut);
    }

    size_t Channels() const noexcept { return FPending.size(); }

    TSVFrequencyColumn Latest;

private:
    int64_t ColumnEdge(uint64_t AColumn) const {
        return std::llround(static_cast<double>(AColumn) * FColumnFrames);
    }

    void AnalyseWindow(std::vector<TSVFrequencyColumn>& AOut) {
        const int64_t centre = FFirst + FSize / 2;
        if (FColumnFrames >= 1)
            while (centre >= ColumnEdge(FColumns + 1))
                FinishColumn(AOut);
        else
            FColumnBegin = centre;
        for (std::vector<float>& pending : FPending) {
            for (int32_t n = 0; n < FSize; ++n)
                FInput[n] = pending[size_t(n)] * FWindow[size_t(n)];
            FTransform(FContext, FOutput.get(), FInput.get(), sizeof(float));
            for (size_t bin = 0; bin < FSums.size(); ++bin)
                FSums[bin] += double(FOutput[bin].re) * FOutput[bin].re +
                              double(FOutput[bin].im) * FOutput[bin].im;
            pending.erase(pending.begin(), pending.begin() + FHop);
        }
        ++FCount;
        FFirst += FHop;
        if (FColumnFrames < 1)
            FinishColumn(AOut);
    }

    // A column without a window of its own (an interval shorter than the hop) repeats the one
    // before it.
    void FinishColumn(std::vector<TSVFrequencyColumn>& AOut) {
        TSVFrequencyColumn column;
        column.Begin = SVFramesToUnits(
            static_cast<int64_t>(FColumnFrames >= 1 ? ColumnEdge(FColumns) : FColumnBegin), FRate);
        column.BinWidth = static_cast<double>(FRate) / FSize;
        if (FCount > 0) {
            // A full-scale sine at a bin's centre gives a magnitude of a quarter of the size.
            const double quarter = FSize / 4.0;
            const double scale =
                1.0 / (quarter * quarter * static_cast<double>(FCount * FPending.size()));
            column.Power.resize(FSums.size());
            for (size_t bin = 0; bin < FSums.size(); ++bin)
                column.Power[bin] = std::max(
                    KSVFrequencyFloor, static_cast<float>(10.0 * std::log10(FSums[bin] * scale)));
        } else {
            column.Power = Latest.Power.empty()
                               ? std::vector<float>(FSums.size(), KSVFrequencyFloor)
                               : Latest.Power;
        }
        std::fill(FSums.begin(), FSums.end(), 0.0);
        FCount = 0;
        ++FColumns;
        Latest = column;
        AOut.push_back(std::move(column));
    }

    int32_t FSize;
    int32_t FRate;
    double FColumnFrames; // below 1: a column per window
    int32_t FHop;
    int64_t FFirst;   // the stream frame of the pending runs' first frame
    int64_t FEnd = 0; // frames added
    int64_t FColumnBegin = 0;
    uint64_t FColumns = 0;
    uint64_t FCount = 0; // windows in the column's sums
    std::vector<std::vector<float>> FPending;
    std::vector<double> FSums;
    std::vector<float> FWindow;
    TAvArray<float> FInput;
    TAvArray<AVComplexFloat> FOutput;
    AVTXContext* FContext = nullptr;
    av_tx_fn FTransform = nullptr;
};

TSVFrequencyMeter::TSVFrequencyMeter(TPersistent* AOwner) : TSVMeterFilter(AOwner, 0) {}

TSVFrequencyMeter::~TSVFrequencyMeter() = default;

const TClassInfo& TSVFrequencyMeter::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVFrequencyMeter",
                                 .Category = &TSonveraAnalysisToolbarCategory::ClassInfo(),
                                 .ShortName = "spectrum",
                                 .Description = "Computes short-time power spectra of what passes"};
    return info;
}

const TPropertyTableBase& TSVFrequencyMeter::ClassPropertyTable() {
    using T = TSVFrequencyMeter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVFrequencyMeter", TSVCommonFilter::ClassPropertyTable())
            .Integer("Size", 4096, &T::GetSize, &T::SetSize)
            .Double("Interval", 0.0, &T::GetInterval, &T::SetInterval);
    return table;
}

void TSVFrequencyMeter::SetSize(int32_t AValue) {
    if (AValue < 64 || AValue > 65536 || !std::has_single_bit(static_cast<uint32_t>(AValue)))
        throw EArgumentError(FormatMessage("TSVFrequencyMeter: Size not a power of two from 64 to "
                                           "65536 = %d",
                                           AValue));
    SetPropValue("Size", FSize, AValue);
}

TSVFrequencyColumn TSVFrequencyMeter::GetLatest() const {
    std::lock_guard<std::mutex> guard(FMeterLock);
    return FAnalyser ? FAnalyser->Latest : TSVFrequencyColumn{};
}

void TSVFrequencyMeter::AudioStreamStart(TPXStartWaveOperation& AOperation) {
    const TSVWaveFormatExtensible& format = AOperation.GetWaveFormat();
    const auto rate = static_cast<int32_t>(format.Format.nSamplesPerSec);
    if (format.Format.nChannels == 0 || rate <= 0)
        throw EArgumentError(FormatMessage("TSVFrequencyMeter: cannot analyse %u channels at %d Hz",
                                           format.Format.nChannels, rate));
    auto analyser = std::make_unique<TAnalyser>(GetSize(), rate, format.Format.nChannels,
                                                GetInterval() * rate / 1000.0);
    {
        std::lock_guard<std::mutex> guard(FMeterLock);
        FAnalyser = std::move(analyser);
    }
    TSVCommonFilter::AudioStreamStart(AOperation);
}

void TSVFrequencyMeter::FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                                TRef<ISVAudioBuffer>&, bool&) {
    std::vector<TSVFrequencyColumn> columns;
    {
        std::lock_guard<std::mutex> guard(FMeterLock);
        if (!FAnalyser || static_cast<size_t>(AInBuffer->GetChannels()) != FAnalyser->Channels())
            return;
        SVCopyAsFloats(*AInBuffer, FSamples);
        FAnalyser->Add(FSamples, columns);
    }
    Send(std::move(columns));
}

void TSVFrequencyMeter::StreamStop() {
    TSVCommonFilter::StreamStop();
    std::vector<TSVFrequencyColumn> columns;
    {
        std::lock_guard<std::mutex> guard(FMeterLock);
        if (FAnalyser)
            FAnalyser->Finish(columns);
    }
    Send(std::move(columns));
}

} // namespace sonvera
