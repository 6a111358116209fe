#include "sonvera/primitives/SVSampleKernels.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "internal/KernelLevel.h"
#include "primitives/PrimitiveArithmetic.h"
#include "primitives/PrimitiveSampleKernels.h"
#include "primitives/PrimitiveSimd.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera {

namespace {

template <class T> T LoadWord(const uint8_t* ASource) noexcept {
    T value;
    std::memcpy(&value, ASource, sizeof(value));
    return value;
}

int32_t SignExtend24(uint32_t AValue) noexcept {
    return static_cast<int32_t>(AValue << 8) >> 8;
}

// One sample of each width as a signed number, as channel extraction counts it.
template <int32_t ABits> struct TRead {
    static constexpr uint32_t KBytes = ABits / 8;
    static int32_t At(const uint8_t* ASource) noexcept {
        return TSVSampleTraits<ABits>::LoadBiased(ASource);
    }
};
// A 24-bit sample read as the 32-bit word it starts, whose top byte belongs to the next one:
// one load instead of two. The caller keeps the word inside the samples.
struct TRead24Word {
    static int32_t At(const uint8_t* ASource) noexcept {
        return SignExtend24(LoadWord<uint32_t>(ASource));
    }
};
// Stereo 24-bit frames read as three 16-bit words, which the compiler vectorises where it
// cannot vectorise loads at odd steps: the left sample is the first word and the low byte of
// the second, the right one the high byte of the second and the third word. Both stay inside
// their frame.
struct TRead24Left {
    static int32_t At(const uint8_t* AFrame) noexcept {
        return SignExtend24(LoadWord<uint16_t>(AFrame) | (LoadWord<uint16_t>(AFrame + 2) & 0xFF)
                                                             << 16);
    }
};
struct TRead24Right {
    static int32_t At(const uint8_t* AFrame) noexcept {
        return SignExtend24(LoadWord<uint16_t>(AFrame + 2) >> 8 | LoadWord<uint16_t>(AFrame + 4)
                                                                      << 8);
    }
};

// Integers are stored as they are read; doubles are scaled.
struct TKeep {
    int32_t operator()(int32_t AValue) const noexcept { return AValue; }
};
struct TScale {
    double Scale;
    double operator()(int32_t AValue) const noexcept { return AValue * Scale; }
};

template <class TReader, uint32_t VStep, class TElement, class TConvert>
[[gnu::always_inline]] inline void StripFixedStep(const uint8_t* ASource, TElement* ATarget,
                                                  uint32_t ACount, TConvert AConvert) {
    for (uint32_t i = 0; i < ACount; ++i)
        ATarget[i] = AConvert(TReader::At(ASource + size_t{i} * VStep));
}

template <class TReader, class TElement, class TConvert>
[[gnu::always_inline]] inline void StripAnyStep(const uint8_t* ASource, uint32_t AStep,
                                                TElement* ATarget, uint32_t ACount,
                                                TConvert AConvert) {
    for (uint32_t i = 0; i < ACount; ++i, ASource += AStep)
        ATarget[i] = AConvert(TReader::At(ASource));
}

// Mono and stereo, the layouts nearly every stream has, get loops whose step the compiler
// knows, so that it can vectorise the gather.
template <int32_t ABits, class TElement, class TConvert>
[[gnu::always_inline]] inline void StripSamples(const uint8_t* AFrames, uint32_t AColumn,
                                                uint32_t AStep, TElement* ATarget, uint32_t ACount,
                                                TConvert AConvert) {
    using TReader = TRead<ABits>;
    const uint8_t* source = AFrames + AColumn;
    if constexpr (ABits == 24) {
        if (AStep == 6 && AColumn == 0)
            return StripFixedStep<TRead24Left, 6>(AFrames, ATarget, ACount, AConvert);
        if (AStep == 6 && AColumn == 3)
            return StripFixedStep<TRead24Right, 6>(AFrames, ATarget, ACount, AConvert);
        if (AStep == 3)
            return StripFixedStep<TReader, 3>(source, ATarget, ACount, AConvert);
        // Words, but the last sample by its three bytes: its word could reach past the samples.
        if (ACount == 0)
            return;
        StripAnyStep<TRead24Word>(source, AStep, ATarget, ACount - 1, AConvert);
        ATarget[ACount - 1] = AConvert(TReader::At(source + size_t{ACount - 1} * AStep));
    } else {
        if (AStep == TReader::KBytes)
            return StripFixedStep<TReader, TReader::KBytes>(source, ATarget, ACount, AConvert);
        if (AStep == 2 * TReader::KBytes)
            return StripFixedStep<TReader, 2 * TReader::KBytes>(source, ATarget, ACount, AConvert);
        StripAnyStep<TReader>(source, AStep, ATarget, ACount, AConvert);
    }
}

template <class TElement, class TConvert>
void Strip(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, int32_t ABits,
           TElement* ATarget, uint32_t ACount, TConvert AConvert) {
    RunAtKernelLevel([=]<TKernelLevel>() {
        switch (ABits) {
        case 8:
            return StripSamples<8>(AFrames, AColumn, AStep, ATarget, ACount, AConvert);
        case 16:
            return StripSamples<16>(AFrames, AColumn, AStep, ATarget, ACount, AConvert);
        case 24:
            return StripSamples<24>(AFrames, AColumn, AStep, ATarget, ACount, AConvert);
        default:
            return StripSamples<32>(AFrames, AColumn, AStep, ATarget, ACount, AConvert);
        }
    });
}

} // namespace

void SVStripChannel(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, int32_t ABits,
                    int32_t* ATarget, uint32_t ACount) {
    Strip(AFrames, AColumn, AStep, ABits, ATarget, ACount, TKeep());
}

void SVStripChannel(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, int32_t ABits,
                    double* ATarget, uint32_t ACount, double AScale) {
    Strip(AFrames, AColumn, AStep, ABits, ATarget, ACount, TScale{AScale});
}

void SVFloatPairToS32(const float* ALeft, const float* ARight, int32_t* ATarget, int32_t AFrames,
                      float AScale) {
    runs::ActiveSimdKernels().SaturateFloatPairs(ALeft, ARight, ATarget, AFrames, AScale);
}

void SVPackS32ToS24(const int32_t* ASource, uint8_t* ADest, size_t ACount) {
    runs::InKernelPieces(static_cast<int64_t>(ACount), [&](int64_t AFirst, int ACountOfPiece) {
        runs::ActiveSimdKernels().PackHigh24(ASource + AFirst, ADest + 3 * AFirst, ACountOfPiece);
    });
}

namespace {

// The product is clamped as a double, so that its rounding stays inside the width (the bounds
// are whole numbers); the loop vectorises at the level.
template <int32_t ABits>
void ApplyGain(const uint8_t* ASource, uint8_t* ATarget, size_t ACount, double AFactor) {
    using TTraits = TSVSampleTraits<ABits>;
    constexpr double KHighest = TTraits::KFullScale - 1;
    constexpr double KLowest = -TTraits::KFullScale;
    RunAtKernelLevel([=]<TKernelLevel>() {
        for (size_t i = 0; i < ACount; ++i) {
            const double product = TTraits::LoadSigned(ASource + i * TTraits::KBytes) * AFactor;
            TTraits::StoreSigned(ATarget + i * TTraits::KBytes,
                                 runs::RoundInRange(std::clamp(product, KLowest, KHighest)));
        }
    });
}

} // namespace

bool SVApplyGain(const void* ASource, void* ATarget, int32_t ABits, size_t ACount,
                 double AFactor) {
    const auto* source = static_cast<const uint8_t*>(ASource);
    auto* target = static_cast<uint8_t*>(ATarget);
    switch (ABits) {
    case 8: ApplyGain<8>(source, target, ACount, AFactor); return true;
    case 16: ApplyGain<16>(source, target, ACount, AFactor); return true;
    case 24: ApplyGain<24>(source, target, ACount, AFactor); return true;
    case 32: ApplyGain<32>(source, target, ACount, AFactor); return true;
    default: return false;
    }
}

void SVUnpackS24ToS32(const uint8_t* ASource, int32_t* ADest, size_t ACount) {
    runs::InKernelPieces(static_cast<int64_t>(ACount), [&](int64_t AFirst, int ACountOfPiece) {
        runs::ActiveSimdKernels().Unpack24High(ASource + 3 * AFirst, ADest + AFirst,
                                               ACountOfPiece);
    });
}

void SVSpreadColumns(const int32_t* ALeft, const int32_t* ARight, int32_t* ATarget,
                     int32_t AChannels, size_t ACount) {
    if (AChannels == 2 && ARight) // the columns fill the frames: the pair kernel
        return SVInterleavePair(ALeft, ARight, ATarget, ACount);
    const auto step = static_cast<size_t>(AChannels);
    RunAtKernelLevel([=]<TKernelLevel>() {
        if (ARight) {
            for (size_t i = 0; i < ACount; ++i) {
                ATarget[i * step] = ALeft[i];
                ATarget[i * step + 1] = ARight[i];
            }
        } else {
            for (size_t i = 0; i < ACount; ++i)
                ATarget[i * step] = ALeft[i];
        }
    });
}

void SVFloatsToS32Symmetric(const float* ASource, int32_t* ATarget, size_t ACount) {
    samples::ActiveSampleKernels().FloatsToS32(ASource, ATarget, ACount);
}

void SVFloatsToS32Symmetric(const double* ASource, int32_t* ATarget, size_t ACount) {
    samples::ActiveSampleKernels().DoublesToS32(ASource, ATarget, ACount);
}

void SVFloatPairToS32Symmetric(const float* ALeft, const float* ARight, int32_t* ATarget,
                               size_t AFrames) {
    samples::ActiveSampleKernels().FloatPairToS32(ALeft, ARight, ATarget, AFrames);
}

void SVFloatPairToS32Symmetric(const double* ALeft, const double* ARight, int32_t* ATarget,
                               size_t AFrames) {
    samples::ActiveSampleKernels().DoublePairToS32(ALeft, ARight, ATarget, AFrames);
}

void SVInterleavePair(const int16_t* ALeft, const int16_t* ARight, int16_t* ATarget,
                      size_t AFrames) {
    samples::ActiveSampleKernels().Int16Pair(ALeft, ARight, ATarget, AFrames);
}

void SVInterleavePair(const int32_t* ALeft, const int32_t* ARight, int32_t* ATarget,
                      size_t AFrames) {
    samples::ActiveSampleKernels().Int32Pair(ALeft, ARight, ATarget, AFrames);
}

} // namespace sonvera
