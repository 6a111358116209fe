// AVX-512 kernels: sixteen floats or eight doubles per step. Every rounding is named in the
// instruction, so they do not depend on the floating-point environment.
#include "primitives/PrimitiveSampleKernels.h"

#ifdef SONVERA_X86_KERNELS
// GCC 12's AVX-512 intrinsics pass an undefined vector as the merge source of their unmasked
// forms, which -Wmaybe-uninitialized mistakes for a read of an uninitialised value.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace sonvera::samples {

namespace {

constexpr int KTruncate = _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC;
constexpr int KNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;

// Values inside -1 ... 1 times 2^31, and the truncation of that product.
SONVERA_TARGET_AVX512 inline __m512 FullScaled(__m512 AValues) {
    return _mm512_mul_ps(AValues, _mm512_set1_ps(2147483648.0f));
}

SONVERA_TARGET_AVX512 inline __m512i Truncated(__m512 AScaled) {
    return _mm512_maskz_cvtt_roundps_epi32(__mmask16(0xFFFF), AScaled, _MM_FROUND_NO_EXC);
}

// As the AVX2 kernel: the truncation plus g = (a - t) - x rounded to nearest, with the
// fraction a - t in one reduce instruction. AValues lie inside -1 ... 1 (or are NaN).
SONVERA_TARGET_AVX512 inline __m512i RoundedFromTruncation(__m512 AValues, __m512 AScaled,
                                                           __m512i ATruncated) {
    const __m512 rest = _mm512_sub_round_ps(_mm512_reduce_ps(AScaled, KTruncate), AValues, KNearest);
    return _mm512_add_epi32(ATruncated, _mm512_cvt_roundps_epi32(rest, KNearest));
}

SONVERA_TARGET_AVX512 inline __m512i FloatsToS32(__m512 AValues) {
    const __m512 clamped =
        _mm512_max_ps(_mm512_set1_ps(-1.0f), _mm512_min_ps(_mm512_set1_ps(1.0f), AValues));
    const __m512 scaled = FullScaled(clamped);
    return RoundedFromTruncation(clamped, scaled, Truncated(scaled));
}

// Four vectors at once. The kernel is bound by its vector instruction count, and the clamp takes
// two of the eight; for a lane inside (-1, 1) it changes nothing. The truncation of the unclamped
// product gives -2^31 for exactly the lanes that are not inside (and NaN), so one minimum over
// the four truncations tells whether the block may leave the clamp out. Decoded audio nearly
// always may; a block with a lane at or past full scale takes the clamped conversion.
[[gnu::always_inline]] SONVERA_TARGET_AVX512 inline void FourFloatsToS32(const __m512 (&AValues)[4],
                                                                         __m512i (&AResult)[4]) {
    const auto all = __mmask16(0xFFFF);
    __m512 scaled[4];
    for (int k = 0; k < 4; ++k) {
        scaled[k] = FullScaled(AValues[k]);
        AResult[k] = Truncated(scaled[k]);
    }
    const __m512i lowest =
        _mm512_maskz_min_epi32(all, _mm512_maskz_min_epi32(all, AResult[0], AResult[1]),
                               _mm512_maskz_min_epi32(all, AResult[2], AResult[3]));
    const bool outside = _mm512_cmpeq_epi32_mask(lowest, _mm512_set1_epi32(INT32_MIN)) != 0;
    for (int k = 0; k < 4; ++k)
        AResult[k] = outside ? FloatsToS32(AValues[k])
                             : RoundedFromTruncation(AValues[k], scaled[k], AResult[k]);
}

// The exact comparisons; a NaN lane converts to 0 through the ordered mask.
SONVERA_TARGET_AVX512 inline __m256i DoublesToS32(__m512d AValues) {
    const __m512d half = _mm512_set1_pd(0.5);
    const __mmask8 ordered = _mm512_cmp_pd_mask(AValues, AValues, _CMP_ORD_Q);
    const __m512d clamped =
        _mm512_max_pd(_mm512_set1_pd(-1.0), _mm512_min_pd(_mm512_set1_pd(1.0), AValues));
    const __m512d scaled = _mm512_mul_pd(clamped, _mm512_set1_pd(2147483648.0));
    const __m512d fraction = _mm512_reduce_pd(scaled, KTruncate);
    const __mmask8 up =
        _mm512_cmp_pd_mask(_mm512_sub_pd(fraction, half), clamped, _CMP_GT_OQ) & ordered;
    const __mmask8 down =
        _mm512_cmp_pd_mask(_mm512_add_pd(fraction, half), clamped, _CMP_LT_OQ) & ordered;
    const __m256i whole = _mm512_maskz_cvtt_roundpd_epi32(ordered, scaled, _MM_FROUND_NO_EXC);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i raised = _mm256_mask_add_epi32(whole, up, whole, one);
    return _mm256_mask_sub_epi32(raised, down, raised, one);
}

SONVERA_TARGET_AVX512 inline void StorePairs(int32_t* ATarget, __m512i ALeft, __m512i ARight) {
    const __m512i low = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i high =
        _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    _mm512_storeu_si512(ATarget, _mm512_permutex2var_epi32(ALeft, low, ARight));
    _mm512_storeu_si512(ATarget + 16, _mm512_permutex2var_epi32(ALeft, high, ARight));
}

SONVERA_TARGET_AVX512 void FloatsToS32Avx512(const float* ASource, int32_t* ATarget,
                                             size_t ACount) {
    size_t i = 0;
    for (; i + 64 <= ACount; i += 64) {
        const __m512 values[4] = {_mm512_loadu_ps(ASource + i), _mm512_loadu_ps(ASource + i + 16),
                                  _mm512_loadu_ps(ASource + i + 32),
                                  _mm512_loadu_ps(ASource + i + 48)};
        __m512i result[4];
        FourFloatsToS32(values, result);
        for (int k = 0; k < 4; ++k)
            _mm512_storeu_si512(ATarget + i + 16 * k, result[k]);
    }
    for (; i + 16 <= ACount; i += 16)
        _mm512_storeu_si512(ATarget + i, FloatsToS32(_mm512_loadu_ps(ASource + i)));
    for (; i < ACount; ++i)
        ATarget[i] = FloatToS32(ASource[i]);
}

SONVERA_TARGET_AVX512 void DoublesToS32Avx512(const double* ASource, int32_t* ATarget,
                                              size_t ACount) {
    size_t i = 0;
    for (; i + 8 <= ACount; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ATarget + i),
                            DoublesToS32(_mm512_loadu_pd(ASource + i)));
    for (; i < ACount; ++i)
        ATarget[i] = FloatToS32(ASource[i]);
}

SONVERA_TARGET_AVX512 void FloatPairToS32Avx512(const float* ALeft, const float* ARight,
                                                int32_t* ATarget, size_t AFrames) {
    size_t i = 0;
    for (; i + 32 <= AFrames; i += 32) {
        const __m512 values[4] = {_mm512_loadu_ps(ALeft + i), _mm512_loadu_ps(ARight + i),
                                  _mm512_loadu_ps(ALeft + i + 16), _mm512_loadu_ps(ARight + i + 16)};
        __m512i result[4];
        FourFloatsToS32(values, result);
        StorePairs(ATarget + 2 * i, result[0], result[1]);
        StorePairs(ATarget + 2 * i + 32, result[2], result[3]);
    }
    for (; i + 16 <= AFrames; i += 16)
        StorePairs(ATarget + 2 * i, FloatsToS32(_mm512_loadu_ps(ALeft + i)),
                   FloatsToS32(_mm512_loadu_ps(ARight + i)));
    for (; i < AFrames; ++i) {
        ATarget[2 * i] = FloatToS32(ALeft[i]);
        ATarget[2 * i + 1] = FloatToS32(ARight[i]);
    }
}

SONVERA_TARGET_AVX512 void DoublePairToS32Avx512(const double* ALeft, const double* ARight,
                                                 int32_t* ATarget, size_t AFrames) {
    size_t i = 0;
    for (; i + 16 <= AFrames; i += 16) {
        const __m512i left =
            _mm512_inserti64x4(_mm512_castsi256_si512(DoublesToS32(_mm512_loadu_pd(ALeft + i))),
                               DoublesToS32(_mm512_loadu_pd(ALeft + i + 8)), 1);
        const __m512i right =
            _mm512_inserti64x4(_mm512_castsi256_si512(DoublesToS32(_mm512_loadu_pd(ARight + i))),
                               DoublesToS32(_mm512_loadu_pd(ARight + i + 8)), 1);
        StorePairs(ATarget + 2 * i, left, right);
    }
    for (; i < AFrames; ++i) {
        ATarget[2 * i] = FloatToS32(ALeft[i]);
        ATarget[2 * i + 1] = FloatToS32(ARight[i]);
    }
}

} // namespace

// Interleaving integers gains nothing from the wider registers (the 16-bit two-source permute
// is slow on some processors): the AVX2 loops serve.
const TSampleKernels KAvx512Kernels = {FloatsToS32Avx512,    DoublesToS32Avx512,
                                       FloatPairToS32Avx512, DoublePairToS32Avx512,
                                       Int16PairAvx2,        Int32PairAvx2};

} // namespace sonvera::samples

#endif
