// Operations over a whole block of KBlock values, in loops of fixed length the compiler
// vectorises.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#include "primitives/PrimitiveArithmetic.h"
#include "primitives/PrimitiveEncodings.h"

namespace sonvera::runs {

// Runs AOp over a whole block; operations with a faster exact block form provide Block().
template <class TOp, class TIn, class TOut>
inline void ApplyBlock(const TOp& AOp, const TIn* AIn, TOut* AOut) {
    if constexpr (requires { AOp.Block(AIn, AOut); }) {
        AOp.Block(AIn, AOut);
    } else {
        for (int i = 0; i < KBlock; ++i)
            AOut[i] = static_cast<TOut>(AOp(AIn[i]));
    }
}

template <class TOp, class TValue, class TOut>
inline void ApplyBlock2(const TOp& AOp, const TValue* ADest, const TValue* ASource, TOut* AOut) {
    for (int i = 0; i < KBlock; ++i)
        AOut[i] = static_cast<TOut>(AOp(ADest[i], ASource[i]));
}

// Rounds a block of real values to integers, keeping the low 32 bits. Values within the
// 32-bit range take the processor's vector conversion; a block holding anything else (large
// values, infinities, NaN) is redone element by element with the exact rule.
template <class TReal> inline void RoundBlockToLow32(const TReal* AValues, int32_t* AOut) {
    constexpr TReal KLimit =
        std::is_same_v<TReal, float> ? TReal(2147483648.0) : TReal(2147483647.0);
    int outside = 0;
    for (int i = 0; i < KBlock; ++i) {
        const bool inside = std::fabs(AValues[i]) < KLimit;
        AOut[i] = RoundInRange(inside ? AValues[i] : TReal(0));
        outside |= !inside;
    }
    if (outside) {
        for (int i = 0; i < KBlock; ++i)
            AOut[i] = RoundToLow32(AValues[i]);
    }
}

} // namespace sonvera::runs
