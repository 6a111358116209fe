// The exact element arithmetic the primitives share: wrapping 32-bit operations, truncating and
// wrapping division, rounding of real values to integers, and the noise that dither draws
// from. Each is one branch-free expression, so that the loops built on it vectorise.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

namespace sonvera::runs {

// Results wrap: arithmetic runs on the unsigned 32-bit patterns and converts back.
inline int32_t Wrap(uint32_t AValue) {
    return static_cast<int32_t>(AValue);
}
// (Function objects rather than functions, so that a walker inlines them into its loops.)
inline constexpr auto WrapAdd = [](int32_t A, int32_t B) {
    return Wrap(uint32_t(A) + uint32_t(B));
};
inline constexpr auto WrapSub = [](int32_t A, int32_t B) {
    return Wrap(uint32_t(A) - uint32_t(B));
};
inline constexpr auto WrapMul = [](int32_t A, int32_t B) {
    return Wrap(uint32_t(A) * uint32_t(B));
};

// A quotient truncated toward zero. Double division is exact here: both operands convert
// exactly, a non-integer quotient a/b lies at least 1/|b| from every integer while the
// division's rounding error is below |a/b| * 2^-53 <= 2^-22 / |b|. It vectorises, where the
// integer division does not. The caller keeps ADivisor nonzero and the quotient in range.
inline int32_t TruncDiv(int32_t ADividend, int32_t ADivisor) {
    return static_cast<int32_t>(double(ADividend) / double(ADivisor));
}

// The 32-bit quotient with the two inputs that have none given a value: a zero divisor gives 0
// and -2^31 / -1 wraps to -2^31. The special cases are folded in with masks rather than
// conditions: a condition around the division would keep the compiler from vectorising it.
inline constexpr auto WrapDiv = [](int32_t ADividend, int32_t ADivisor) {
    const int32_t zero = -int32_t(ADivisor == 0);
    const int32_t overflow = -int32_t(ADivisor == -1 && ADividend == INT32_MIN);
    const int32_t quotient = TruncDiv(ADividend & ~overflow, ADivisor | (zero & 1));
    return (quotient & ~zero) | (overflow & INT32_MIN);
};

// Round half to even to a 64-bit integer (the processor's default rounding mode). NaN and
// magnitudes of 2^63 and more give -2^63, the value the processor's own conversion yields,
// whose low 32 bits are 0. Inside the range llrint is that one conversion instruction (with
// math errno off, as the primitives build), where nearbyint is a library call that saves and
// restores the floating-point environment; the vector kernels' edges run through here.
inline int64_t RoundToInt64(double AValue) {
    if (!(AValue >= -9223372036854775808.0 && AValue < 9223372036854775808.0))
        return INT64_MIN;
    return static_cast<int64_t>(std::llrint(AValue));
}

// A value inside the 32-bit range rounded in the current rounding mode. GCC turns its builtin
// into one vector conversion (with math errno off, as the primitives build); rint and a cast
// take two instructions.
template <class TReal> inline int32_t RoundInRange(TReal AValue) {
#if defined(__GNUC__) && !defined(__clang__)
    if constexpr (std::is_same_v<TReal, float>)
        return __builtin_irintf(AValue);
    else
        return __builtin_irint(AValue);
#else
    return static_cast<int32_t>(std::rint(AValue));
#endif
}

inline int32_t RoundToLow32(double AValue) {
    return Wrap(static_cast<uint32_t>(static_cast<uint64_t>(RoundToInt64(AValue))));
}

// AValue / 2^AShift rounded to nearest, halves up: the arithmetic shift plus the bit below the
// cut, the carry that adding the half would give, which never overflows.
template <int AShift> inline int32_t ShiftRounded(int32_t AValue) {
    return (AValue >> AShift) + ((AValue >> (AShift - 1)) & 1);
}

// xorshift32, the noise dither draws from: cheap, full-period, and never 0 once started from a
// value that is not.
inline uint32_t NextNoise(uint32_t& ASeed) noexcept {
    ASeed ^= ASeed << 13;
    ASeed ^= ASeed >> 17;
    ASeed ^= ASeed << 5;
    return ASeed;
}

} // namespace sonvera::runs
