// Decoded float samples to 32-bit integers at the symmetric scale, and planes to interleaved
// frames. The portable loops are the reference; AVX2 and AVX-512 kernels, one file each, give
// exactly their results and are chosen by the active kernel level (internal/KernelLevel.h).
//
// A float sample x becomes round(2147483647 × x) for the exact real product, ties to even,
// with x first brought into -1 … 1 and NaN taken as 0; so 1.0 gives 2147483647 and -1.0 gives
// -2147483647. With a = 2^31 × x (exact), t = trunc(a) and f = a - t (both exact), the product
// is a - x = t + (f - x), and since |f - x| < 1 (f and x share their sign) the result is
// t + [f - 0.5 > x] - [f + 0.5 < x]. Both sides of each comparison are exact numbers, so the
// comparisons are exact and no tie is ever misjudged; the only tie, x = ±0.5, is the case
// f - x = ∓0.5 whose even neighbour is t itself.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "internal/KernelLevel.h"

namespace sonvera::samples {

template <class TFloat> inline int32_t FloatToS32(TFloat AValue) noexcept {
    const TFloat clamped = AValue > TFloat(1) ? TFloat(1)
                           : AValue >= TFloat(-1)
                               ? AValue
                               : (AValue < TFloat(-1) ? TFloat(-1) : TFloat(0)); // NaN: 0
    if (clamped == TFloat(1))
        return std::numeric_limits<int32_t>::max(); // t would be 2^31
    const TFloat scaled = clamped * TFloat(2147483648.0);
    const TFloat whole = std::trunc(scaled);
    const TFloat fraction = scaled - whole;
    const int32_t up = fraction - TFloat(0.5) > clamped;
    const int32_t down = fraction + TFloat(0.5) < clamped;
    return static_cast<int32_t>(whole) + up - down;
}

struct TSampleKernels {
    void (*FloatsToS32)(const float* ASource, int32_t* ATarget, size_t ACount);
    void (*DoublesToS32)(const double* ASource, int32_t* ATarget, size_t ACount);
    // Two planes of AFrames samples into AFrames interleaved pairs.
    void (*FloatPairToS32)(const float* ALeft, const float* ARight, int32_t* ATarget,
                           size_t AFrames);
    void (*DoublePairToS32)(const double* ALeft, const double* ARight, int32_t* ATarget,
                            size_t AFrames);
    void (*Int16Pair)(const int16_t* ALeft, const int16_t* ARight, int16_t* ATarget,
                      size_t AFrames);
    void (*Int32Pair)(const int32_t* ALeft, const int32_t* ARight, int32_t* ATarget,
                      size_t AFrames);
};

// The kernels of the active level.
const TSampleKernels& ActiveSampleKernels();

// The kernels of each instruction set, defined in their own files (empty tables where the
// compiler cannot build them).
extern const TSampleKernels KPortableKernels;
extern const TSampleKernels KAvx2Kernels;
extern const TSampleKernels KAvx512Kernels;

#ifdef SONVERA_X86_KERNELS
// Shared by the AVX2 and AVX-512 tables.
void Int16PairAvx2(const int16_t* ALeft, const int16_t* ARight, int16_t* ATarget, size_t AFrames);
void Int32PairAvx2(const int32_t* ALeft, const int32_t* ARight, int32_t* ATarget, size_t AFrames);
#endif

} // namespace sonvera::samples
