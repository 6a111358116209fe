#include "sonvera/analysis/SVLevelMeter.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "SVAnalysisSamples.h"
#include "sonvera/buffers/SVSampleView.h"
#include "sonvera/components/Categories.h"

namespace sonvera {

namespace {

struct TChannelSums {
    double Minimum = std::numeric_limits<double>::infinity();
    double Maximum = -std::numeric_limits<double>::infinity();
    double Sum = 0;
    double Squares = 0;
    uint64_t Clipped = 0;
};

// Sums over the frames of a block, in raw sample values.
struct TBlockSums {
    uint64_t First = 0; // the block's first frame in the stream
    uint64_t Frames = 0;
    std::vector<TChannelSums> Channels;

    void Clear(uint64_t AFirst) {
        First = AFirst;
        Frames = 0;
        std::fill(Channels.begin(), Channels.end(), TChannelSums{});
    }
    void Merge(const TBlockSums& AOther) {
        Frames += AOther.Frames;
        for (size_t channel = 0; channel < Channels.size(); ++channel) {
            TChannelSums& into = Channels[channel];
            const TChannelSums& from = AOther.Channels[channel];
            into.Minimum = std::min(into.Minimum, from.Minimum);
            into.Maximum = std::max(into.Maximum, from.Maximum);
            into.Sum += from.Sum;
            into.Squares += from.Squares;
            into.Clipped += from.Clipped;
        }
    }
};

// The extremes of a width's values: samples there are clipped.
template <int32_t ABits>
constexpr int64_t KLowest = std::numeric_limits<typename TSVSampleTraits<ABits>::TValue>::min() >>
                            (ABits == 24 ? 8 : 0);
template <int32_t ABits>
constexpr int64_t KHighest = std::numeric_limits<typename TSVSampleTraits<ABits>::TValue>::max() >>
                             (ABits == 24 ? 8 : 0);

template <int32_t ABits>
void SumFrames(const ISVAudioBuffer& ABuffer, uint32_t AFrom, uint32_t ATo, TBlockSums& ASums) {
    const auto samples = SVViewOf<ABits, false>(ABuffer, ABuffer.Read());
    for (uint32_t channel = 0; channel < samples.Channels(); ++channel) {
        TChannelSums& sums = ASums.Channels[channel];
        double low = sums.Minimum, high = sums.Maximum, sum = 0, squares = 0;
        uint64_t clipped = 0;
        for (uint32_t frame = AFrom; frame < ATo; ++frame) {
            const int64_t value = samples(frame, channel);
            const auto x = static_cast<double>(TSVSampleTraits<ABits>::Signed(
                static_cast<typename TSVSampleTraits<ABits>::TValue>(value)));
            low = std::min(low, x);
            high = std::max(high, x);
            sum += x;
            squares += x * x;
            clipped += value == KLowest<ABits> || value == KHighest<ABits>;
        }
        sums.Minimum = low;
        sums.Maximum = high;
        sums.Sum += sum;
        sums.Squares += squares;
        sums.Clipped += clipped;
    }
    ASums.Frames += ATo - AFrom;
}

// Float samples in full-scale units: at or beyond full scale they count as clipped.
void SumFloatFrames(const ISVAudioBuffer& ABuffer, uint32_t AFrom, uint32_t ATo,
                    TBlockSums& ASums) {
    const auto* samples = static_cast<const float*>(ABuffer.Read());
    const auto channels = static_cast<uint32_t>(ABuffer.GetChannels());
    for (uint32_t channel = 0; channel < channels; ++channel) {
        TChannelSums& sums = ASums.Channels[channel];
        for (uint32_t frame = AFrom; frame < ATo; ++frame) {
            const double x = samples[size_t{frame} * channels + channel];
            sums.Minimum = std::min(sums.Minimum, x);
            sums.Maximum = std::max(sums.Maximum, x);
            sums.Sum += x;
            sums.Squares += x * x;
            sums.Clipped += std::fabs(x) >= 1.0;
        }
    }
    ASums.Frames += ATo - AFrom;
}

void SumFrames(const ISVAudioBuffer& ABuffer, uint32_t AFrom, uint32_t ATo, TBlockSums& ASums) {
    if (SVIsFloatBuffer(ABuffer))
        return SumFloatFrames(ABuffer, AFrom, ATo, ASums);
    switch (ABuffer.GetSampleBitWidth()) {
    case 8:
        return SumFrames<8>(ABuffer, AFrom, ATo, ASums);
    case 16:
        return SumFrames<16>(ABuffer, AFrom, ATo, ASums);
    case 24:
        return SumFrames<24>(ABuffer, AFrom, ATo, ASums);
    case 32:
        return SumFrames<32>(ABuffer, AFrom, ATo, ASums);
    default:
        throw EArgumentError(FormatMessage("TSVLevelMeter: sample width not measurable = %d bits",
                                           ABuffer.GetSampleBitWidth()));
    }
}

} // namespace

struct TSVLevelMeter::TState {
    int32_t Rate = 0;
    double FullScale = 1;
    int32_t Bits = 0;
    double BlockFrames = 0; // frames per block, not rounded; below 1: a block per buffer
    uint64_t Blocks = 0;    // blocks finished
    TBlockSums Block;
    TBlockSums Total;

    TSVLevels Levels(const TBlockSums& ASums) const {
        TSVLevels levels;
        levels.Begin = SVFramesToUnits(static_cast<int64_t>(ASums.First), Rate);
        levels.Frames = ASums.Frames;
        const double scale = 1.0 / FullScale;
        for (const TChannelSums& sums : ASums.Channels) {
            TSVChannelLevels channel;
            if (ASums.Frames > 0) {
                const auto frames = static_cast<double>(ASums.Frames);
                channel.Minimum = sums.Minimum * scale;
                channel.Maximum = sums.Maximum * scale;
                channel.Peak = std::max(-channel.Minimum, channel.Maximum);
                channel.Rms = std::sqrt(sums.Squares / frames) * scale;
                channel.Dc = sums.Sum / frames * scale;
                channel.Clipped = sums.Clipped;
            }
            levels.Channels.push_back(channel);
        }
        return levels;
    }
    // The end of the block that is being filled, as a frame of the stream.
    uint64_t BlockEnd() const {
        return static_cast<uint64_t>(std::llround(static_cast<double>(Blocks + 1) * BlockFrames));
    }
    TSVLevels FinishBlock() {
        const TSVLevels levels = Levels(Block);
        Total.Merge(Block);
        ++Blocks;
        Block.Clear(Block.First + Block.Frames);
        return levels;
    }
};

TSVLevelMeter::TSVLevelMeter(TPersistent* AOwner) : TSVMeterFilter(AOwner, 0) {}

TSVLevelMeter::~TSVLevelMeter() = default;

const TClassInfo& TSVLevelMeter::ClassInfo() {
    static const TClassInfo info{
        .ClassName = "TSVLevelMeter",
        .Category = &TSonveraMeasurementToolbarCategory::ClassInfo(),
        .ShortName = "levels",
        .Description = "Measures peak, RMS, DC offset and clipped samples per channel of what "
                       "passes"};
    return info;
}

const TPropertyTableBase& TSVLevelMeter::ClassPropertyTable() {
    using T = TSVLevelMeter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVLevelMeter", TSVCommonFilter::ClassPropertyTable())
            .Double("Interval", 0.0, &T::GetInterval, &T::SetInterval);
    return table;
}

TSVLevels TSVLevelMeter::GetTotal() const {
    std::lock_guard<std::mutex> guard(FMeterLock);
    if (!FState)
        return {};
    TBlockSums total = FState->Total;
    total.First = 0;
    total.Merge(FState->Block);
    return FState->Levels(total);
}

void TSVLevelMeter::AudioStreamStart(TPXStartWaveOperation& AOperation) {
    const TSVWaveFormatExtensible& format = AOperation.GetWaveFormat();
    auto state = std::make_unique<TState>();
    state->Rate = static_cast<int32_t>(format.Format.nSamplesPerSec);
    state->Bits = format.Format.wBitsPerSample;
    state->FullScale =
        SVIsFloatFormat(format) ? 1.0 : std::ldexp(1.0, std::max(state->Bits, 1) - 1);
    const double blockFrames = GetInterval() * state->Rate / 1000.0;
    state->BlockFrames = blockFrames >= 1 ? blockFrames : 0;
    state->Block.Channels.resize(format.Format.nChannels);
    state->Total.Channels.resize(format.Format.nChannels);
    {
        std::lock_guard<std::mutex> guard(FMeterLock);
        FState = std::move(state);
    }
    TSVCommonFilter::AudioStreamStart(AOperation);
}

void TSVLevelMeter::FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                            TRef<ISVAudioBuffer>&, bool&) {
    std::vector<TSVLevels> finished;
    {
        std::lock_guard<std::mutex> guard(FMeterLock);
        if (!FState ||
            AInBuffer->GetChannels() != static_cast<int32_t>(FState->Block.Channels.size()) ||
            AInBuffer->GetSampleBitWidth() != FState->Bits)
            return;
        TState& state = *FState;
        const uint32_t frames = AInBuffer->GetSize();
        uint32_t at = 0;
        while (at < frames) {
            uint32_t to = frames;
            if (state.BlockFrames != 0) {
                const uint64_t left = state.BlockEnd() - (state.Block.First + state.Block.Frames);
                to = static_cast<uint32_t>(std::min<uint64_t>(frames, at + left));
            }
            SumFrames(*AInBuffer, at, to, state.Block);
            at = to;
            if (state.BlockFrames == 0 ||
                state.Block.First + state.Block.Frames == state.BlockEnd())
                finished.push_back(state.FinishBlock());
        }
    }
    Send(std::move(finished));
}

void TSVLevelMeter::StreamStop() {
    TSVCommonFilter::StreamStop();
    std::vector<TSVLevels> finished;
    {
        std::lock_guard<std::mutex> guard(FMeterLock);
        if (FState && FState->Block.Frames > 0)
            finished.push_back(FState->FinishBlock());
    }
    Send(std::move(finished));
}

} // namespace sonvera
