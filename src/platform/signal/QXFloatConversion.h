// The conversion of floats to 32-bit integers rounded to nearest, shared by the dispatcher's
// portable code and its AVX2 kernel (QXFloatConversionAvx2.cpp), which writes the same values.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "internal/KernelLevel.h"
#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera {

// Clearing the bits of a NaN (all exponent bits and a nonzero mantissa) gives +0 without a
// floating-point comparison.
inline float ZeroIfNaN(float AValue) {
    const uint32_t bits = std::bit_cast<uint32_t>(AValue);
    return std::bit_cast<float>(bits & ((bits & 0x7FFFFFFFu) > 0x7F800000u ? 0u : ~0u));
}

// Ties to even in single precision (under TNearestRounding), for a factor 2^k that is a normal
// float (-126 <= k <= 127). x * 2^k is then exact in single precision too, except where it
// overflows (the exact product is then at least 2^128, and both saturate) or falls below 2^-126
// (both round to 0). Half the width of the double loop, and the same results.
constexpr int32_t KSingleScaleLow = -127;
constexpr int32_t KSingleScaleHigh = 126;

[[gnu::always_inline]] inline void ConvertNearSingle(const Ipp32f* ASrc, Ipp32s* ADst, int32_t ALen,
                                                     float AFactor) {
    constexpr float KTop = 2147483648.0f;
    constexpr float KBelowTop = 2147483520.0f; // the float before 2^31
    for (int32_t i = 0; i < ALen; ++i) {
        // Clamped to the integer bounds before rounding, which rounding then keeps, and
        // converted without a value outside the conversion's range or a branch.
        const float scaled = ZeroIfNaN(ASrc[i]) * AFactor;
        float clamped = scaled < KBelowTop ? scaled : KBelowTop;
        clamped = clamped > -KTop ? clamped : -KTop;
        const auto converted = static_cast<Ipp32s>(std::nearbyint(clamped));
        ADst[i] = scaled > KBelowTop ? std::numeric_limits<Ipp32s>::max() : converted;
    }
}

#ifdef SONVERA_X86_KERNELS
// ConvertNearSingle with the processor's conversion, eight lanes at a time.
void ConvertNearSingleAvx2(const Ipp32f* ASrc, Ipp32s* ADst, int32_t ALen, float AFactor);
#endif

} // namespace sonvera
