#include "sonvera/primitives/SVFloatKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sonvera {

namespace {

// Filter delays below this are flushed to zero at the end of a run: a decaying tail would
// otherwise reach subnormal numbers, which cost a hundred times a normal one.
constexpr double KSubnormalGuard = 1e-30;

template <int32_t VBits> float LoadAsFloat(const uint8_t* AAt) noexcept {
    constexpr float KScale = 1.0f / static_cast<float>(1u << (VBits - 1));
    if constexpr (VBits == 8) {
        return static_cast<float>(int32_t{AAt[0]} - 128) * KScale;
    } else if constexpr (VBits == 16) {
        int16_t value;
        std::memcpy(&value, AAt, sizeof value);
        return static_cast<float>(value) * KScale;
    } else if constexpr (VBits == 24) {
        const uint32_t bits = uint32_t{AAt[0]} | uint32_t{AAt[1]} << 8 | uint32_t{AAt[2]} << 16;
        return static_cast<float>(static_cast<int32_t>(bits << 8) >> 8) * KScale;
    } else {
        int32_t value;
        std::memcpy(&value, AAt, sizeof value);
        return static_cast<float>(value) * KScale;
    }
}

// The scaled value, rounded and saturated, as the width's integer (8 bits: the raw byte).
template <int32_t VBits> int32_t RoundToWidth(double AScaled) noexcept {
    constexpr double KLow = -static_cast<double>(int64_t{1} << (VBits - 1));
    constexpr double KHigh = -KLow - 1;
    const double rounded = std::nearbyint(AScaled == AScaled ? AScaled : 0.0);
    const auto value = static_cast<int32_t>(std::clamp(rounded, KLow, KHigh));
    return VBits == 8 ? value + 128 : value;
}

template <int32_t VBits> void StoreInteger(uint8_t* AAt, int32_t AValue) noexcept {
    if constexpr (VBits == 8) {
        AAt[0] = static_cast<uint8_t>(AValue);
    } else if constexpr (VBits == 16) {
        const auto value = static_cast<int16_t>(AValue);
        std::memcpy(AAt, &value, sizeof value);
    } else if constexpr (VBits == 24) {
        const auto bits = static_cast<uint32_t>(AValue);
        AAt[0] = static_cast<uint8_t>(bits);
        AAt[1] = static_cast<uint8_t>(bits >> 8);
        AAt[2] = static_cast<uint8_t>(bits >> 16);
    } else {
        std::memcpy(AAt, &AValue, sizeof AValue);
    }
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
    constexpr double KScale = static_cast<double>(int64_t{1} << (VBits - 1));
    for (size_t i = 0; i < ACount; ++i) {
        float value;
        std::memcpy(&value, ASource + i * ASourceStep, sizeof value);
        StoreInteger<VBits>(ATarget + i * ATargetStep, RoundToWidth<VBits>(value * KScale));
    }
}

template <int32_t VBits>
void FromFloatRun(const uint8_t* ASource, size_t ASourceStep, uint8_t* ATarget, size_t ATargetStep,
                  size_t ACount) noexcept {
    if (ASourceStep == sizeof(float) && ATargetStep == VBits / 8)
        FromFloat<VBits>(ASource, sizeof(float), ATarget, VBits / 8, ACount);
    else
        FromFloat<VBits>(ASource, ASourceStep, ATarget, ATargetStep, ACount);
}

// xorshift32: a full-period generator, plenty for dither.
uint32_t NextRandom(uint32_t& ASeed) noexcept {
    ASeed ^= ASeed << 13;
    ASeed ^= ASeed >> 17;
    ASeed ^= ASeed << 5;
    return ASeed;
}

template <int32_t VBits>
void FromFloatDithered(const uint8_t* ASource, size_t ASourceStep, uint8_t* ATarget,
                       size_t ATargetStep, size_t ACount, uint32_t& ASeed) noexcept {
    constexpr double KScale = static_cast<double>(int64_t{1} << (VBits - 1));
    constexpr double KUnit = 1.0 / 4294967296.0;
    for (size_t i = 0; i < ACount; ++i) {
        float value;
        std::memcpy(&value, ASource + i * ASourceStep, sizeof value);
        // The difference of two uniform numbers of one step each: triangular over two steps.
        const double dither = (NextRandom(ASeed) * KUnit) - (NextRandom(ASeed) * KUnit);
        StoreInteger<VBits>(ATarget + i * ATargetStep,
                            RoundToWidth<VBits>(value * KScale + dither));
    }
}

using TRunKernel = void (*)(const uint8_t*, size_t, uint8_t*, size_t, size_t) noexcept;

// The kernel of a container width, or null for a width without one.
TRunKernel ToFloatKernel(int32_t ABits) noexcept {
    switch (ABits) {
    case 8:
        return ToFloatRun<8>;
    case 16:
        return ToFloatRun<16>;
    case 24:
        return ToFloatRun<24>;
    case 32:
        return ToFloatRun<32>;
    default:
        return nullptr;
    }
}

TRunKernel FromFloatKernel(int32_t ABits) noexcept {
    switch (ABits) {
    case 8:
        return FromFloatRun<8>;
    case 16:
        return FromFloatRun<16>;
    case 24:
        return FromFloatRun<24>;
    case 32:
        return FromFloatRun<32>;
    default:
        return nullptr;
    }
}

double Flushed(double AValue) noexcept {
    return std::fabs(AValue) < KSubnormalGuard ? 0.0 : AValue;
}

// A channel count known at compile time: the channels of a frame go through the recurrence side
// by side, in one vector.
template <size_t VChannels>
void BiquadFixed(float* AData, size_t AFrames, const TSVBiquad& AS,
                 TSVBiquadState* AStates) noexcept {
    double z1[VChannels];
    double z2[VChannels];
    for (size_t c = 0; c < VChannels; ++c) {
        z1[c] = AStates[c].Z1;
        z2[c] = AStates[c].Z2;
    }
    for (size_t i = 0; i < AFrames; ++i) {
        float* frame = AData + i * VChannels;
        for (size_t c = 0; c < VChannels; ++c) {
            const double x = frame[c];
            const double y = AS.B0 * x + z1[c];
            z1[c] = AS.B1 * x - AS.A1 * y + z2[c];
            z2[c] = AS.B2 * x - AS.A2 * y;
            frame[c] = static_cast<float>(y);
        }
    }
    for (size_t c = 0; c < VChannels; ++c) {
        AStates[c].Z1 = Flushed(z1[c]);
        AStates[c].Z2 = Flushed(z2[c]);
    }
}

void BiquadColumns(float* AData, size_t AFrames, size_t channels, const TSVBiquad& AS,
                   TSVBiquadState* AStates) noexcept {
    for (size_t c = 0; c < channels; ++c) {
        double z1 = AStates[c].Z1;
        double z2 = AStates[c].Z2;
        float* sample = AData + c;
        for (size_t i = 0; i < AFrames; ++i, sample += channels) {
            const double x = *sample;
            const double y = AS.B0 * x + z1;
            z1 = AS.B1 * x - AS.A1 * y + z2;
            z2 = AS.B2 * x - AS.A2 * y;
            *sample = static_cast<float>(y);
        }
        AStates[c].Z1 = Flushed(z1);
        AStates[c].Z2 = Flushed(z2);
    }
}

} // namespace

void SVIntegerToFloat(const uint8_t* ASource, int32_t ABits, size_t ASourceStep, float* ATarget,
                      size_t ATargetStep, size_t ACount) noexcept {
    if (const TRunKernel kernel = ToFloatKernel(ABits))
        kernel(ASource, ASourceStep, reinterpret_cast<uint8_t*>(ATarget), ATargetStep, ACount);
}

void SVFloatToInteger(const float* ASource, size_t ASourceStep, uint8_t* ATarget, int32_t ABits,
                      size_t ATargetStep, size_t ACount) noexcept {
    if (const TRunKernel kernel = FromFloatKernel(ABits))
        kernel(reinterpret_cast<const uint8_t*>(ASource), ASourceStep, ATarget, ATargetStep,
               ACount);
}

void SVFloatToIntegerDithered(const float* ASource, size_t ASourceStep, uint8_t* ATarget,
                              int32_t ABits, size_t ATargetStep, size_t ACount,
                              uint32_t& ASeed) noexcept {
    const auto* source = reinterpret_cast<const uint8_t*>(ASource);
    if (ASeed == 0)
        ASeed = 0x9E3779B9u;
    switch (ABits) {
    case 8:
        return FromFloatDithered<8>(source, ASourceStep, ATarget, ATargetStep, ACount, ASeed);
    case 16:
        return FromFloatDithered<16>(source, ASourceStep, ATarget, ATargetStep, ACount, ASeed);
    case 24:
        return FromFloatDithered<24>(source, ASourceStep, ATarget, ATargetStep, ACount, ASeed);
    // 32-bit steps lie far below float's precision: dither would only add noise.
    case 32:
        return FromFloatRun<32>(source, ASourceStep, ATarget, ATargetStep, ACount);
    default:
        return;
    }
}

void SVScaleFloat(float* AData, size_t ACount, float AGain) noexcept {
    for (size_t i = 0; i < ACount; ++i)
        AData[i] *= AGain;
}

void SVRampFloat(float* AData, size_t AFrames, size_t AChannels, float AFrom, float ATo) noexcept {
    if (AFrames == 0)
        return;
    const float step = (ATo - AFrom) / static_cast<float>(AFrames);
    for (size_t i = 0; i < AFrames; ++i) {
        const float gain = AFrom + step * static_cast<float>(i);
        for (size_t c = 0; c < AChannels; ++c)
            AData[i * AChannels + c] *= gain;
    }
}

void SVAddScaledFloat(const float* ASource, float* ATarget, size_t ACount, float AGain) noexcept {
    for (size_t i = 0; i < ACount; ++i)
        ATarget[i] += ASource[i] * AGain;
}

float SVPeakFloat(const float* AData, size_t ACount) noexcept {
    float peak = 0;
    for (size_t i = 0; i < ACount; ++i)
        peak = std::max(peak, std::fabs(AData[i]));
    return peak;
}

void SVBiquadFloat(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad& ASection,
                   TSVBiquadState* AStates) noexcept {
    if (AChannels == 1)
        BiquadFixed<1>(AData, AFrames, ASection, AStates);
    else if (AChannels == 2)
        BiquadFixed<2>(AData, AFrames, ASection, AStates);
    else
        BiquadColumns(AData, AFrames, AChannels, ASection, AStates);
}

} // namespace sonvera
