// The reference kernels: the plain loops whose bytes every instruction set's kernels write.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "primitives/PrimitiveArithmetic.h"
#include "primitives/PrimitiveEncodings.h"
#include "primitives/PrimitiveSimd.h"

namespace sonvera::runs::portable {

void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = TSVSampleTraits<24>::Load(ASource + 3 * i);
}

void Unpack24High(const uint8_t* ASource, int32_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = int32_t(uint32_t(TSVSampleTraits<24>::Load(ASource + 3 * i)) << 8);
}

void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        Store24(ADest + 3 * i, ASource[i]);
}

void PackHigh24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        Store24(ADest + 3 * i, std::min(ShiftRounded<8>(ASource[i]), 0x7FFFFF));
}

// 24-bit widths

void Pack16To24(const int16_t* ASource, uint8_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        Store24(ADest + 3 * i, Widen16To24(ASource[i]));
}

void Unpack24To16(const uint8_t* ASource, int16_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = int16_t(Narrow24To16(TSVSampleTraits<24>::Load(ASource + 3 * i)));
}

void Round24To16(const uint8_t* ASource, int16_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i) {
        ADest[i] = int16_t(std::min(ShiftRounded<8>(TSVSampleTraits<24>::Load(ASource + 3 * i)),
                                    32767));
    }
}

void Gather(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount, uint8_t* APacked) {
    for (int i = 0; i < ACount; ++i)
        std::memcpy(APacked + i * ALayout.Size, ARun + ptrdiff_t(i) * ALayout.Step,
                    size_t(ALayout.Size));
}

void Scatter(const TWindowLayout& ALayout, const uint8_t* APacked, int ACount, uint8_t* ARun) {
    for (int i = 0; i < ACount; ++i)
        std::memcpy(ARun + ptrdiff_t(i) * ALayout.Step, APacked + i * ALayout.Size,
                    size_t(ALayout.Size));
}

void Gather24(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount, int32_t* AValues) {
    for (int i = 0; i < ACount; ++i)
        AValues[i] = TSVSampleTraits<24>::Load(ARun + ptrdiff_t(i) * ALayout.Step);
}

void Scatter24(const TWindowLayout& ALayout, const int32_t* AValues, int ACount, uint8_t* ARun) {
    for (int i = 0; i < ACount; ++i)
        Store24(ARun + ptrdiff_t(i) * ALayout.Step, AValues[i]);
}

void MapBytes(const TBytePlanes& ATable, const uint8_t* ABytes, int ACount, uint8_t* AOut) {
    for (int i = 0; i < ACount; ++i) {
        for (int k = 0; k < ATable.Size; ++k)
            AOut[i * ATable.Size + k] = ATable.Planes[k][ABytes[i]];
    }
}

void Widen16(const int16_t* ASource, int32_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = Widen16To32(ASource[i]);
}

void Narrow32(const int32_t* ASource, int16_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = int16_t(Narrow32To16(ASource[i]));
}

// float conversions

void ScaleToFloats(const int32_t* ASource, float* ADest, int ACount, float AFactor) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = float(ASource[i]) * AFactor;
}

void UnitFloats16(const int16_t* ASource, float* ADest, int ACount, float AScale,
                  float ACorrection) {
    for (int i = 0; i < ACount; ++i) {
        const float x = float(ASource[i]);
        ADest[i] = x * AScale + x * ACorrection;
    }
}

void RoundFloats(const float* ASource, int32_t* ADest, int ADestStep, int ACount, float AFactor) {
    for (int i = 0; i < ACount; ++i)
        ADest[ptrdiff_t(i) * ADestStep] = RoundToLow32(ASource[i] * AFactor);
}

namespace {

int32_t RoundSaturated(float AValue) {
    if (std::isnan(AValue))
        return 0;
    if (AValue >= 2147483648.0f)
        return INT32_MAX;
    if (AValue < -2147483648.0f)
        return INT32_MIN;
    return int32_t(roundevenf(AValue));
}

} // namespace

void SaturateFloatPairs(const float* ALeft, const float* ARight, int32_t* AFrames, int ACount,
                        float AFactor) {
    for (int i = 0; i < ACount; ++i) {
        AFrames[2 * i] = RoundSaturated(ALeft[i] * AFactor);
        AFrames[2 * i + 1] = RoundSaturated(ARight[i] * AFactor);
    }
}

void RoundFloatsWithin(const float* ASource, int32_t* ADest, int ACount, float AFactor, float ALow,
                       float AHigh) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = RoundWithin(ASource[i] * AFactor, ALow, AHigh);
}

void RoundFloatsTo16(const float* ASource, int16_t* ADest, int ACount, float AFactor) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = int16_t(RoundWithin(ASource[i] * AFactor, INT16_MIN, INT16_MAX));
}

} // namespace sonvera::runs::portable
