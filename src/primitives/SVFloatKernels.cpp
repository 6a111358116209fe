#include "sonvera/primitives/SVFloatKernels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <type_traits>

#include "internal/KernelLevel.h"
#include "primitives/PrimitiveArithmetic.h"
#include "primitives/PrimitiveSimd.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera {

namespace {

template <int32_t VBits> float LoadAsFloat(const uint8_t* AAt) noexcept {
    constexpr auto KScale = static_cast<float>(1.0 / TSVSampleTraits<VBits>::KFullScale);
    return static_cast<float>(TSVSampleTraits<VBits>::LoadSigned(AAt)) * KScale;
}

// The scaled value, rounded and saturated, as a signed number of the width.
template <int32_t VBits> int32_t RoundToWidth(double AScaled) noexcept {
    constexpr double KLow = -TSVSampleTraits<VBits>::KFullScale;
    constexpr double KHigh = -KLow - 1;
    const double rounded = std::nearbyint(AScaled == AScaled ? AScaled : 0.0);
    return static_cast<int32_t>(std::clamp(rounded, KLow, KHigh));
}

// The full scale and bounds of a width up to 24 bits, as floats: scaling by a power of two is
// exact in float too and the bounds are floats, so the single-precision rule gives the double
// rule's integers.
template <int32_t VBits>
constexpr float KFloatScale = static_cast<float>(TSVSampleTraits<VBits>::KFullScale);
template <int32_t VBits> constexpr float KLowest = -KFloatScale<VBits>;
template <int32_t VBits> constexpr float KHighest = KFloatScale<VBits> - 1;

template <int32_t VBits> int32_t RoundToWidth(float AScaled) noexcept {
    static_assert(VBits <= 24);
    return runs::RoundWithin(AScaled, KLowest<VBits>, KHighest<VBits>);
}

template <int32_t VBits>
void ToFloat(const uint8_t* ASource, size_t ASourceStep, uint8_t* ATarget, size_t ATargetStep,
             size_t ACount) noexcept {
    for (size_t i = 0; i < ACount; ++i) {
        const float value = LoadAsFloat<VBits>(ASource + i * ASourceStep);
        std::memcpy(ATarget + i * ATargetStep, &value, sizeof value);
    }
}

// Contiguous runs get a loop the compiler vectorises.
template <int32_t VBits>
void ToFloatRun(const uint8_t* ASource, size_t ASourceStep, uint8_t* ATarget, size_t ATargetStep,
                size_t ACount) noexcept {
    if (ASourceStep == VBits / 8 && ATargetStep == sizeof(float))
        ToFloat<VBits>(ASource, VBits / 8, ATarget, sizeof(float), ACount);
    else
        ToFloat<VBits>(ASource, ASourceStep, ATarget, ATargetStep, ACount);
}

template <int32_t VBits>
void FromFloat(const uint8_t* ASource, size_t ASourceStep, uint8_t* ATarget, size_t ATargetStep,
               size_t ACount) noexcept {
    using TScale = std::conditional_t<VBits == 32, double, float>;
    constexpr auto KScale = static_cast<TScale>(TSVSampleTraits<VBits>::KFullScale);
    for (size_t i = 0; i < ACount; ++i) {
        float value;
        std::memcpy(&value, ASource + i * ASourceStep, sizeof value);
        TSVSampleTraits<VBits>::StoreSigned(ATarget + i * ATargetStep,
                                            RoundToWidth<VBits>(value * KScale));
    }
}

// Contiguous floats of a width up to 24 bits go through the rounding kernel a block at a time,
// and the block's integers are stored in a loop the compiler vectorises.
template <int32_t VBits>
void FromFloatBlocks(const float* ASource, uint8_t* ATarget, size_t ATargetStep,
                     size_t ACount) noexcept {
    constexpr size_t KBlock = 256;
    alignas(64) int32_t rounded[KBlock];
    for (size_t done = 0; done < ACount; done += KBlock) {
        const size_t count = std::min(KBlock, ACount - done);
        runs::ActiveSimdKernels().RoundFloatsWithin(ASource + done, rounded, int(count),
                                                    KFloatScale<VBits>,
                                                    KLowest<VBits>, KHighest<VBits>);
        uint8_t* target = ATarget + done * ATargetStep;
        for (size_t i = 0; i < count; ++i)
            TSVSampleTraits<VBits>::StoreSigned(target + i * ATargetStep, rounded[i]);
    }
}

template <int32_t VBits>
void FromFloatRun(const uint8_t* ASource, size_t ASourceStep, uint8_t* ATarget, size_t ATargetStep,
                  size_t ACount) noexcept {
    if constexpr (VBits == 16) {
        // The commonest case, in one pass, where the target holds whole 16-bit samples.
        if (ASourceStep == sizeof(float) && ATargetStep == 2 && ACount <= size_t{INT32_MAX} &&
            reinterpret_cast<uintptr_t>(ATarget) % alignof(int16_t) == 0)
            return runs::ActiveSimdKernels().RoundFloatsTo16(
                reinterpret_cast<const float*>(ASource), reinterpret_cast<int16_t*>(ATarget),
                int(ACount), KFloatScale<16>);
    }
    if constexpr (VBits <= 24) {
        if (ASourceStep == sizeof(float))
            return FromFloatBlocks<VBits>(reinterpret_cast<const float*>(ASource), ATarget,
                                          ATargetStep, ACount);
    }
    FromFloat<VBits>(ASource, ASourceStep, ATarget, ATargetStep, ACount);
}

template <int32_t VBits>
void FromFloatDithered(const uint8_t* ASource, size_t ASourceStep, uint8_t* ATarget,
                       size_t ATargetStep, size_t ACount, uint32_t& ASeed) noexcept {
    constexpr double KScale = TSVSampleTraits<VBits>::KFullScale;
    constexpr double KUnit = 1.0 / 4294967296.0;
    for (size_t i = 0; i < ACount; ++i) {
        float value;
        std::memcpy(&value, ASource + i * ASourceStep, sizeof value);
        // The difference of two uniform numbers of one step each: triangular over two steps.
        const double dither = (runs::NextNoise(ASeed) * KUnit) - (runs::NextNoise(ASeed) * KUnit);
        TSVSampleTraits<VBits>::StoreSigned(ATarget + i * ATargetStep,
                                            RoundToWidth<VBits>(value * KScale + dither));
    }
}

// Interleaved frames, frame i scaled by AFrom + AStep i. One or two channels are walked sample
// by sample, a loop the compiler vectorises.
template <size_t VChannels>
void RampFrames(float* AData, size_t AFrames, float AFrom, float AStep) {
    for (size_t k = 0; k < AFrames * VChannels; ++k)
        AData[k] *= AFrom + AStep * static_cast<float>(k / VChannels);
}

void RampFrames(float* AData, size_t AFrames, size_t AChannels, float AFrom, float AStep) {
    for (size_t i = 0; i < AFrames; ++i) {
        const float gain = AFrom + AStep * static_cast<float>(i);
        for (size_t c = 0; c < AChannels; ++c)
            AData[i * AChannels + c] *= gain;
    }
}

// ABody.operator()<N>() for a container width N; nothing for another width.
template <class TBody> void ForWidth(int32_t ABits, TBody ABody) {
    switch (ABits) {
    case 8:
        return ABody.template operator()<8>();
    case 16:
        return ABody.template operator()<16>();
    case 24:
        return ABody.template operator()<24>();
    case 32:
        return ABody.template operator()<32>();
    default:
        return;
    }
}

} // namespace

void SVIntegerToFloat(const uint8_t* ASource, int32_t ABits, size_t ASourceStep, float* ATarget,
                      size_t ATargetStep, size_t ACount) noexcept {
    auto* target = reinterpret_cast<uint8_t*>(ATarget);
    RunAtKernelLevel([=]<TKernelLevel>() {
        ForWidth(ABits, [=]<int32_t VBits>() {
            ToFloatRun<VBits>(ASource, ASourceStep, target, ATargetStep, ACount);
        });
    });
}

void SVFloatToInteger(const float* ASource, size_t ASourceStep, uint8_t* ATarget, int32_t ABits,
                      size_t ATargetStep, size_t ACount) noexcept {
    const auto* source = reinterpret_cast<const uint8_t*>(ASource);
    RunAtKernelLevel([=]<TKernelLevel>() {
        ForWidth(ABits, [=]<int32_t VBits>() {
            FromFloatRun<VBits>(source, ASourceStep, ATarget, ATargetStep, ACount);
        });
    });
}

// The generator makes each sample wait for the one before: no level does better than another.
// 32-bit steps lie far below float's precision, where dither would only add noise.
void SVFloatToIntegerDithered(const float* ASource, size_t ASourceStep, uint8_t* ATarget,
                              int32_t ABits, size_t ATargetStep, size_t ACount,
                              uint32_t& ASeed) noexcept {
    if (ABits == 32)
        return SVFloatToInteger(ASource, ASourceStep, ATarget, 32, ATargetStep, ACount);
    const auto* source = reinterpret_cast<const uint8_t*>(ASource);
    uint32_t& seed = ASeed;
    if (seed == 0)
        seed = 0x9E3779B9u;
    ForWidth(ABits, [=, &seed]<int32_t VBits>() {
        FromFloatDithered<VBits>(source, ASourceStep, ATarget, ATargetStep, ACount, seed);
    });
}

void SVScaleFloat(float* AData, size_t ACount, float AGain) noexcept {
    RunAtKernelLevel([=]<TKernelLevel>() {
        for (size_t i = 0; i < ACount; ++i)
            AData[i] *= AGain;
    });
}

void SVRampFloat(float* AData, size_t AFrames, size_t AChannels, float AFrom, float ATo) noexcept {
    if (AFrames == 0)
        return;
    const float step = (ATo - AFrom) / static_cast<float>(AFrames);
    RunAtKernelLevel([=]<TKernelLevel>() {
        if (AChannels == 1)
            return RampFrames<1>(AData, AFrames, AFrom, step);
        if (AChannels == 2)
            return RampFrames<2>(AData, AFrames, AFrom, step);
        RampFrames(AData, AFrames, AChannels, AFrom, step);
    });
}

void SVAddScaledFloat(const float* ASource, float* ATarget, size_t ACount, float AGain) noexcept {
    RunAtKernelLevel([=]<TKernelLevel>() {
        for (size_t i = 0; i < ACount; ++i)
            ATarget[i] += ASource[i] * AGain;
    });
}

void SVMatrixFloat(const float* ASource, size_t AInputs, float* ATarget, size_t AOutputs,
                   size_t AFrames, const float* AWeights) noexcept {
    RunAtKernelLevel([=]<TKernelLevel>() {
        const float* source = ASource;
        float* target = ATarget;
        for (size_t i = 0; i < AFrames; ++i, source += AInputs, target += AOutputs)
            for (size_t o = 0; o < AOutputs; ++o) {
                const float* weights = AWeights + o * AInputs;
                float sum = 0;
                for (size_t c = 0; c < AInputs; ++c)
                    sum += weights[c] * source[c];
                target[o] = sum;
            }
    });
}

// The largest magnitude as the largest bit pattern with the sign cleared: for numbers the two
// orders agree (and a maximum of integers vectorises where one of floats may not), and a NaN,
// whose pattern lies above infinity's, is left out.
float SVPeakFloat(const float* AData, size_t ACount) noexcept {
    const uint32_t peak = RunAtKernelLevel([=]<TKernelLevel>() {
        uint32_t largest = 0;
        for (size_t i = 0; i < ACount; ++i) {
            const uint32_t magnitude = std::bit_cast<uint32_t>(AData[i]) & 0x7FFFFFFFu;
            largest = std::max(largest, magnitude > 0x7F800000u ? 0u : magnitude);
        }
        return largest;
    });
    return std::bit_cast<float>(peak);
}

void SVBiquadFloat(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad* ASections,
                   size_t ASectionCount, TSVBiquadState* AStates) noexcept {
    runs::ActiveSimdKernels().Biquad(AData, AFrames, AChannels, ASections, ASectionCount, AStates);
}

} // namespace sonvera

namespace sonvera::runs::portable {

namespace {

// The first delay takes the input's term and the second delay before the feedback term, so that
// one multiply, one subtraction and one addition lie between an output and the next.
inline float BiquadStep(const TSVBiquad& AS, double& AZ1, double& AZ2, float AInput) {
    const double x = AInput;
    const double y = AS.B0 * x + AZ1;
    AZ1 = (AS.B1 * x + AZ2) - AS.A1 * y;
    AZ2 = AS.B2 * x - AS.A2 * y;
    return static_cast<float>(y);
}

// A channel count known at compile time: the channels of a frame go through the recurrence side
// by side.
template <size_t VChannels>
void SectionFixed(float* AData, size_t AFrames, const TSVBiquad& AS,
                  TSVBiquadState* AStates) {
    double z1[VChannels];
    double z2[VChannels];
    BiquadDelaysToLanes(AStates, VChannels, z1, z2);
    for (size_t i = 0; i < AFrames; ++i)
        for (size_t c = 0; c < VChannels; ++c)
            AData[i * VChannels + c] = BiquadStep(AS, z1[c], z2[c], AData[i * VChannels + c]);
    BiquadDelaysFromLanes(z1, z2, VChannels, AStates);
}

void SectionColumns(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad& AS,
                    TSVBiquadState* AStates) {
    for (size_t c = 0; c < AChannels; ++c) {
        double z1 = AStates[c].Z1;
        double z2 = AStates[c].Z2;
        for (size_t i = 0; i < AFrames; ++i)
            AData[i * AChannels + c] = BiquadStep(AS, z1, z2, AData[i * AChannels + c]);
        BiquadDelaysFromLanes(&z1, &z2, 1, AStates + c);
    }
}

} // namespace

// The reference: one section after the other over the whole run.
void Biquad(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad* ASections,
            size_t ASectionCount, TSVBiquadState* AStates) {
    for (size_t k = 0; k < ASectionCount; ++k) {
        TSVBiquadState* states = AStates + k * AChannels;
        if (AChannels == 1)
            SectionFixed<1>(AData, AFrames, ASections[k], states);
        else if (AChannels == 2)
            SectionFixed<2>(AData, AFrames, ASections[k], states);
        else
            SectionColumns(AData, AFrames, AChannels, ASections[k], states);
    }
}

} // namespace sonvera::runs::portable
