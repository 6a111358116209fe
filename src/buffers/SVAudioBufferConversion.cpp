// Moving samples between audio buffers of different formats: one strided channel from one
// sample width to another, a range of frames from buffer to buffer with channels paired by
// speaker, and a change of frame rate by an integer step.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "SVAudioBufferWidths.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/IPPExtraFunctions.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/primitives/SVFloatKernels.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "SVSimpleAudioBuffer";

// The narrowing conversions take the fast integer path; it is exact for these widths.
constexpr IppHintAlgorithm KNarrowingHint = ippAlgHintFast;

// One column of ARows samples spaced by the steps: copied, converted, or set to 0.
using TColumnCopy = void (*)(const uint8_t* ASource, int32_t ASourceStep, uint8_t* ATarget,
                             int32_t ATargetStep, IppiSize ARows);
using TColumnSilence = void (*)(uint8_t* ATarget, int32_t AStep, IppiSize ARows);

template <class T, auto& ACopy>
void CopyColumn(const uint8_t* ASource, int32_t ASourceStep, uint8_t* ATarget, int32_t ATargetStep,
                IppiSize ARows) {
    ACopy(ElementsAt<T>(ASource), ASourceStep, ElementsAt<T>(ATarget), ATargetStep, ARows);
}

template <class TSource, class TTarget, auto& AScale>
void WidenColumn(const uint8_t* ASource, int32_t ASourceStep, uint8_t* ATarget, int32_t ATargetStep,
                 IppiSize ARows) {
    AScale(ElementsAt<TSource>(ASource), ASourceStep, ElementsAt<TTarget>(ATarget), ATargetStep,
           ARows);
}

template <class TSource, class TTarget, auto& AScale>
void NarrowColumn(const uint8_t* ASource, int32_t ASourceStep, uint8_t* ATarget,
                  int32_t ATargetStep, IppiSize ARows) {
    AScale(ElementsAt<TSource>(ASource), ASourceStep, ElementsAt<TTarget>(ATarget), ATargetStep,
           ARows, KNarrowingHint);
}

// 0 for 8 bits is the byte 0, not the zero level 127: a speaker the source lacks is written
// as the lowest byte.
template <class T, auto& ASet> void SilenceColumn(uint8_t* ATarget, int32_t AStep, IppiSize ARows) {
    ASet(0, ElementsAt<T>(ATarget), AStep, ARows);
}

constexpr TByWidth<TColumnCopy> KCopyColumn{
    CopyColumn<Ipp8u, ippiCopy_8u_C1R>, CopyColumn<Ipp16s, ippiCopy_16s_C1R>,
    CopyColumn<Ipp8u, ippiCopy_24s_C1R>, CopyColumn<Ipp32s, ippiCopy_32s_C1R>};

// Row: the source width; column: the destination width.
constexpr TByWidth<TByWidth<TColumnCopy>> KConvertColumn{
    {nullptr, WidenColumn<Ipp8u, Ipp16s, ippiScale_8u16s_C1R>,
     WidenColumn<Ipp8u, Ipp8u, ippiScale_8u24s_C1R>,
     WidenColumn<Ipp8u, Ipp32s, ippiScale_8u32s_C1R>},
    {NarrowColumn<Ipp16s, Ipp8u, ippiScale_16s8u_C1R>, nullptr,
     WidenColumn<Ipp16s, Ipp8u, ippiScale_16s24s_C1R>,
     WidenColumn<Ipp16s, Ipp32s, ippiScale_16s32s_C1R>},
    {NarrowColumn<Ipp8u, Ipp8u, ippiScale_24s8u_C1R>,
     NarrowColumn<Ipp8u, Ipp16s, ippiScale_24s16s_C1R>, nullptr,
     WidenColumn<Ipp8u, Ipp32s, ippiScale_24s32s_C1R>},
    {NarrowColumn<Ipp32s, Ipp8u, ippiScale_32s8u_C1R>,
     NarrowColumn<Ipp32s, Ipp16s, ippiScale_32s16s_C1R>,
     NarrowColumn<Ipp32s, Ipp8u, ippiScale_32s24s_C1R>, nullptr}};

constexpr TByWidth<TColumnSilence> KSilenceColumn{
    SilenceColumn<Ipp8u, ippiSet_8u_C1R>, SilenceColumn<Ipp16s, ippiSet_16s_C1R>,
    SilenceColumn<Ipp8u, ippiSet_24s_C1R>, SilenceColumn<Ipp32s, ippiSet_32s_C1R>};

// Byte offset of the channel at APosition within a frame of AStep bytes and AChannels channels.
int64_t ColumnOffset(int32_t AStep, int32_t APosition, int32_t AChannels) {
    return int64_t{AStep} * APosition / AChannels;
}

// The sample columns CopyToAudio works on: pairs of source and destination columns of the
// same speaker, and destination columns whose speaker the source lacks. A speaker beyond a
// buffer's channel count (a mask with more speakers than channels) has no column there, so
// that no pointer leaves the frame: the source lacks it, and the destination leaves it out.
struct TColumnPlan {
    const uint8_t* Source[KSVSpeakerCount];
    uint8_t* Paired[KSVSpeakerCount];
    uint8_t* Silenced[KSVSpeakerCount];
    int32_t PairCount = 0;
    int32_t SilencedCount = 0;
};

TColumnPlan PlanColumns(const TSVAudioBuffer& ASource, const uint8_t* ASourceFrame,
                        const TSVAudioBuffer& ADest, uint8_t* ADestFrame) {
    const TSVSpeakers sourceMask = ASource.GetChannelMask();
    const TSVSpeakers destMask = ADest.GetChannelMask();
    const int32_t sourceChannels = ASource.GetChannels();
    const int32_t destChannels = ADest.GetChannels();
    TColumnPlan plan;
    int32_t i = 0;
    int32_t j = 0;
    for (TSVSpeaker speaker : SVSpeakerValues) {
        const bool inSource = sourceMask.Contains(speaker);
        const bool inDest = destMask.Contains(speaker);
        if (inDest && j < destChannels) {
            uint8_t* target = ADestFrame + ColumnOffset(ADest.GetDataStep(), j, destChannels);
            if (inSource && i < sourceChannels) {
                plan.Source[plan.PairCount] =
                    ASourceFrame + ColumnOffset(ASource.GetDataStep(), i, sourceChannels);
                plan.Paired[plan.PairCount++] = target;
                if (plan.PairCount >= sourceChannels && plan.PairCount >= destChannels)
                    break;
            } else {
                plan.Silenced[plan.SilencedCount++] = target;
            }
        }
        i += inSource ? 1 : 0;
        j += inDest ? 1 : 0;
    }
    return plan;
}

// Both buffers carry the same speakers in the same columns, and their frames have no gaps:
// the range is one run of samples in each.
bool PairsWholeFrames(const TColumnPlan& APlan, const TSVAudioBuffer& ASource,
                      const TSVAudioBuffer& ADest) {
    const int32_t channels = ASource.GetChannels();
    const int32_t sourceBits = ASource.GetSampleBitWidth();
    const int32_t destBits = ADest.GetSampleBitWidth();
    return APlan.SilencedCount == 0 && APlan.PairCount == channels &&
           ADest.GetChannels() == channels && IsProcessedWidth(sourceBits) &&
           IsProcessedWidth(destBits) && ASource.GetDataStep() == channels * (sourceBits / 8) &&
           ADest.GetDataStep() == channels * (destBits / 8);
}

// Between float and integer samples: ACount samples, each side at its own step.
void ConvertFloatColumn(const TSVAudioBuffer& ASource, const uint8_t* ASamples, size_t ASourceStep,
                        const TSVAudioBuffer& ADest, uint8_t* ATarget, size_t ATargetStep,
                        size_t ACount) {
    if (ASource.IsFloat())
        SVFloatToInteger(reinterpret_cast<const float*>(ASamples), ASourceStep, ATarget,
                         ADest.GetSampleBitWidth(), ATargetStep, ACount);
    else
        SVIntegerToFloat(ASamples, ASource.GetSampleBitWidth(), ASourceStep,
                         reinterpret_cast<float*>(ATarget), ATargetStep, ACount);
}

// The run gives each sample the same treatment as the column-by-column walk, in one call.
void CopyWholeFrames(const TSVAudioBuffer& ASource, const uint8_t* ASourceFrame,
                     const TSVAudioBuffer& ADest, uint8_t* ADestFrame, uint32_t AFrames) {
    const int32_t sourceBits = ASource.GetSampleBitWidth();
    const int32_t destBits = ADest.GetSampleBitWidth();
    if (ASource.IsFloat() != ADest.IsFloat())
        ConvertFloatColumn(ASource, ASourceFrame, static_cast<size_t>(sourceBits / 8), ADest,
                           ADestFrame, static_cast<size_t>(destBits / 8),
                           size_t{AFrames} * static_cast<uint32_t>(ADest.GetChannels()));
    else if (sourceBits == destBits)
        ippsCopy_8u(ASourceFrame, ADestFrame,
                    static_cast<int32_t>(AFrames * static_cast<uint32_t>(ADest.GetDataStep())));
    else
        ConvertBits(ASourceFrame, sourceBits, sourceBits / 8, ADestFrame, destBits, destBits / 8,
                    static_cast<int32_t>(AFrames * static_cast<uint32_t>(ADest.GetChannels())));
}

// Silence is zero bytes at every processed width. When the silent and the paired columns
// together fill the destination's frames, the range is cleared in one contiguous pass and the
// pairs are written over it afterwards: far cheaper than narrow strided fills, same bytes.
void SilenceColumns(const TColumnPlan& APlan, const TSVAudioBuffer& ADest, uint8_t* ADestFrame,
                    uint32_t AFrames) {
    const int32_t bits = ADest.GetSampleBitWidth();
    if (APlan.SilencedCount == 0 || !IsProcessedWidth(bits))
        return;
    const int32_t channels = ADest.GetChannels();
    if (APlan.PairCount + APlan.SilencedCount == channels &&
        ADest.GetDataStep() == channels * (bits / 8)) {
        ippsZero_8u(ADestFrame,
                    static_cast<int32_t>(AFrames * static_cast<uint32_t>(ADest.GetDataStep())));
        return;
    }
    for (int32_t k = 0; k < APlan.SilencedCount; ++k)
        KSilenceColumn[WidthIndex(bits)](APlan.Silenced[k], ADest.GetDataStep(),
                                         IppiSize{1, static_cast<int32_t>(AFrames)});
}

void CopyPairedColumns(const TColumnPlan& APlan, const TSVAudioBuffer& ASource,
                       const TSVAudioBuffer& ADest, uint32_t AFrames) {
    const IppiSize column{1, static_cast<int32_t>(AFrames)};
    const int32_t sourceBits = ASource.GetSampleBitWidth();
    const int32_t destBits = ADest.GetSampleBitWidth();
    for (int32_t k = 0; k < APlan.PairCount; ++k) {
        if (ASource.IsFloat() != ADest.IsFloat())
            ConvertFloatColumn(ASource, APlan.Source[k], static_cast<size_t>(ASource.GetDataStep()),
                               ADest, APlan.Paired[k], static_cast<size_t>(ADest.GetDataStep()),
                               AFrames);
        else if (sourceBits == destBits && IsProcessedWidth(sourceBits))
            KCopyColumn[WidthIndex(sourceBits)](APlan.Source[k], ASource.GetDataStep(),
                                                APlan.Paired[k], ADest.GetDataStep(), column);
        else
            ConvertBits(APlan.Source[k], sourceBits, ASource.GetDataStep(), APlan.Paired[k],
                        destBits, ADest.GetDataStep(), column.cy);
    }
}

// Names what runs past the last frame: the offset itself, or the count from a valid offset on.
void CheckFrameRange(uint32_t AOffset, uint32_t ACount, uint32_t AFrames, const char* ASide) {
    if (AOffset > AFrames)
        throw ERangeError(FormatMessage("%s offset out of range = %u", ASide, AOffset));
    if (uint64_t{AOffset} + ACount > AFrames)
        throw ERangeError(FormatMessage("%s count out of range = %u", ASide, ACount));
}

// x rounded to the nearest integer, ties to even, whatever the caller's rounding mode.
double RoundHalfEven(double AValue) {
    const double lower = std::floor(AValue);
    const double fraction = AValue - lower;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(lower, 2.0) != 0.0))
        return lower + 1.0;
    return lower;
}

// Frames of the rate-changed buffer: the source's frames times AToRate / AFromRate.
int32_t RatedFrameCount(uint32_t ASourceFrames, uint32_t AFromRate, uint32_t AToRate) {
    const double ratio = static_cast<double>(AToRate) / static_cast<double>(AFromRate);
    const double frames = RoundHalfEven(static_cast<double>(ASourceFrames) * ratio);
    if (frames > static_cast<double>(INT32_MAX))
        throw EArgumentError(FormatMessage("Converted frame count out of range = %.0f", frames));
    return static_cast<int32_t>(frames);
}

// The source with its frame count changed by AToRate / AFromRate, in the source's format.
// Lowering the rate takes every k-th frame (k = AFromRate div AToRate); raising it places each
// frame every k-th frame (k = AToRate div AFromRate). Frames that receive no source frame hold
// the source format's silence (that of Zero), never stale memory.
TRef<ISVAudioBuffer> ChangeRate(ISVAudioBuffer& ASource, uint32_t AFromRate, uint32_t AToRate) {
    const int32_t frames = RatedFrameCount(ASource.GetSize(), AFromRate, AToRate);
    const TSVWaveFormatExtensible format = ASource.GetWaveFormat();
    TRef<TSVAudioBuffer> rated =
        SVIsFloatFormat(format)
            ? TSVAudioBuffer::CreateFloatSizeExObject(ASource.GetSamplesPerSecond(),
                                                      ASource.GetChannels(), frames,
                                                      ASource.GetChannelMask())
            : TSVAudioBuffer::CreateSizeExObject(ASource.GetSamplesPerSecond(),
                                                 ASource.GetBitsPerSample(), ASource.GetChannels(),
                                                 frames, ASource.GetChannelMask());
    // No frames (a source without frames, or a target rate of 0): nothing to copy.
    if (frames == 0)
        return rated;
    const int64_t sourceFrames = ASource.GetSize();
    const bool lowering = AToRate < AFromRate;
    const int64_t sourceStride = lowering ? AFromRate / AToRate : 1;
    const int64_t ratedStride = lowering ? 1 : AToRate / AFromRate;
    // Both strides keep the last row inside its buffer; the bounds only guard that.
    const int64_t rows =
        std::min({int64_t{frames}, sourceFrames, (sourceFrames - 1) / sourceStride + 1,
                  (int64_t{frames} - 1) / ratedStride + 1});
    if (ratedStride > 1 || rows < frames)
        rated->Zero();

    const int32_t frameBytes = ASource.GetDataStep();
    const int32_t sampleBytes = ASource.GetSampleBitWidth() / 8;
    // A single row never steps; a stride that would not fit the step argument then doesn't matter.
    const auto stepOf = [&](int64_t AStride) {
        return rows > 1 ? static_cast<int32_t>(AStride * frameBytes) : frameBytes;
    };
    const auto* source = static_cast<const uint8_t*>(ASource.Read());
    auto* target = static_cast<uint8_t*>(rated->Write());
    const IppiSize column{1, static_cast<int32_t>(rows)};
    for (int32_t channel = 0; channel < ASource.GetChannels(); ++channel) {
        KCopyColumn[WidthIndex(ASource.GetSampleBitWidth())](source, stepOf(sourceStride), target,
                                                             stepOf(ratedStride), column);
        source += sampleBytes;
        target += sampleBytes;
    }
    return rated;
}

} // namespace

void ConvertBits(const void* Src, int32_t SrcBits, int32_t SrcStep, void* Dst, int32_t DstBits,
                 int32_t DstStep, int32_t Count) {
    const int32_t from = WidthIndex(SrcBits);
    const int32_t to = WidthIndex(DstBits);
    if (Src == nullptr || Dst == nullptr || Count < 1 || from == KUnprocessed ||
        to == KUnprocessed || from == to)
        return;
    KConvertColumn[from][to](static_cast<const uint8_t*>(Src), SrcStep, static_cast<uint8_t*>(Dst),
                             DstStep, IppiSize{1, Count});
}

void TSVAudioBuffer::CopyToAudio(uint32_t ASrcOffset, const TRef<TSVAudioBuffer>& ADest,
                                 uint32_t ADestOffset, uint32_t ACount) {
    Assert(static_cast<bool>(ADest), KUnitName);
    CheckFrameRange(ASrcOffset, ACount, GetSize(), "Source");
    CheckFrameRange(ADestOffset, ACount, ADest->GetSize(), "Destination");
    if (ACount == 0)
        return;
    // Copying within one buffer reads a sharing copy: the destination's Modify then moves this
    // buffer to a private store, and overlapping ranges read the samples as they were.
    const TRef<TSVAudioBuffer> source = ADest.get() == this ? CreateExObject(this) : this;
    auto* destFrame = static_cast<uint8_t*>(ADest->Modify()) +
                      static_cast<size_t>(ADest->GetDataStep()) * ADestOffset;
    const auto* sourceFrame = static_cast<const uint8_t*>(source->Read()) +
                              static_cast<size_t>(GetDataStep()) * ASrcOffset;
    const TColumnPlan plan = PlanColumns(*this, sourceFrame, *ADest, destFrame);
    if (PairsWholeFrames(plan, *this, *ADest)) {
        CopyWholeFrames(*this, sourceFrame, *ADest, destFrame, ACount);
        return;
    }
    SilenceColumns(plan, *ADest, destFrame, ACount);
    CopyPairedColumns(plan, *this, *ADest, ACount);
}

void ConvertBuffers(const TRef<ISVAudioBuffer>& ASource, uint32_t AFromRate,
                    const TRef<ISVAudioBuffer>& ADest, uint32_t AToRate) {
    Assert(ASource && ADest, KUnitName);
    Assert(IsProcessedWidth(ASource->GetSampleBitWidth()), KUnitName, "BitWidth is incorrect");
    const TRef<ISVAudioBuffer> rated =
        AFromRate == AToRate || AFromRate == 0 ? ASource : ChangeRate(*ASource, AFromRate, AToRate);
    const uint32_t frames = rated->GetSize();
    // A destination that keeps its store (no more frames than it has) is made private before its
    // size changes: that copy is the last step that can fail, and it must find ADest as it was.
    if (frames > 0 && frames <= ADest->GetSize())
        ADest->Modify();
    ADest->Resize(frames, false);
    rated->CopyTo(0, ADest, 0, frames);
}

} // namespace sonvera
