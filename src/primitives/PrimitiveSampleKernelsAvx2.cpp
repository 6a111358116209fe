// AVX2 kernels: eight floats or four doubles per step. Both assume the default floating-point
// environment (round to nearest), as FFmpeg itself does.
#include "primitives/PrimitiveSampleKernels.h"

#ifdef SONVERA_X86_KERNELS
#include <immintrin.h>

namespace sonvera::samples {

namespace {

// Floats: with g = (a - t) - x, the rounding of g to the nearest integer (-1, 0 or 1; a tie
// goes to 0) is [f - 0.5 > x] - [f + 0.5 < x]: rounding g to a float never crosses ±0.5 for
// float inputs, because f is then a multiple of the spacing of a, which is 2^7 times wider
// than x. The two conversions of a NaN lane are both 0x80000000, whose sum wraps to 0; at
// x = 1 the truncation's 0x80000000 plus -1 wraps to 2147483647.
SONVERA_TARGET_AVX2 inline __m256i FloatsToS32(__m256 AValues) {
    const __m256 clamped =
        _mm256_max_ps(_mm256_set1_ps(-1.0f), _mm256_min_ps(_mm256_set1_ps(1.0f), AValues));
    const __m256 scaled = _mm256_mul_ps(clamped, _mm256_set1_ps(2147483648.0f));
    const __m256 whole = _mm256_round_ps(scaled, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256 rest = _mm256_sub_ps(_mm256_sub_ps(scaled, whole), clamped);
    return _mm256_add_epi32(_mm256_cvttps_epi32(scaled), _mm256_cvtps_epi32(rest));
}

// Doubles: the exact comparisons, added to t while still in doubles (where t ± 1 is exact),
// and NaN lanes cleared before the conversion.
SONVERA_TARGET_AVX2 inline __m128i DoublesToS32(__m256d AValues) {
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d ordered = _mm256_cmp_pd(AValues, AValues, _CMP_ORD_Q);
    const __m256d clamped = _mm256_max_pd(_mm256_set1_pd(-1.0), _mm256_min_pd(one, AValues));
    const __m256d scaled = _mm256_mul_pd(clamped, _mm256_set1_pd(2147483648.0));
    const __m256d whole = _mm256_round_pd(scaled, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
    const __m256d fraction = _mm256_sub_pd(scaled, whole);
    const __m256d up = _mm256_cmp_pd(_mm256_sub_pd(fraction, half), clamped, _CMP_GT_OQ);
    const __m256d down = _mm256_cmp_pd(_mm256_add_pd(fraction, half), clamped, _CMP_LT_OQ);
    const __m256d rounded =
        _mm256_sub_pd(_mm256_add_pd(whole, _mm256_and_pd(up, one)), _mm256_and_pd(down, one));
    return _mm256_cvttpd_epi32(_mm256_and_pd(rounded, ordered));
}

SONVERA_TARGET_AVX2 inline void StorePairs(int32_t* ATarget, __m256i ALeft, __m256i ARight) {
    const __m256i low = _mm256_unpacklo_epi32(ALeft, ARight);
    const __m256i high = _mm256_unpackhi_epi32(ALeft, ARight);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(ATarget),
                        _mm256_permute2x128_si256(low, high, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(ATarget + 8),
                        _mm256_permute2x128_si256(low, high, 0x31));
}

SONVERA_TARGET_AVX2 void FloatsToS32Avx2(const float* ASource, int32_t* ATarget, size_t ACount) {
    size_t i = 0;
    for (; i + 8 <= ACount; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ATarget + i),
                            FloatsToS32(_mm256_loadu_ps(ASource + i)));
    for (; i < ACount; ++i)
        ATarget[i] = FloatToS32(ASource[i]);
}

SONVERA_TARGET_AVX2 void DoublesToS32Avx2(const double* ASource, int32_t* ATarget, size_t ACount) {
    size_t i = 0;
    for (; i + 4 <= ACount; i += 4)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(ATarget + i),
                         DoublesToS32(_mm256_loadu_pd(ASource + i)));
    for (; i < ACount; ++i)
        ATarget[i] = FloatToS32(ASource[i]);
}

SONVERA_TARGET_AVX2 void FloatPairToS32Avx2(const float* ALeft, const float* ARight,
                                            int32_t* ATarget, size_t AFrames) {
    size_t i = 0;
    for (; i + 8 <= AFrames; i += 8)
        StorePairs(ATarget + 2 * i, FloatsToS32(_mm256_loadu_ps(ALeft + i)),
                   FloatsToS32(_mm256_loadu_ps(ARight + i)));
    for (; i < AFrames; ++i) {
        ATarget[2 * i] = FloatToS32(ALeft[i]);
        ATarget[2 * i + 1] = FloatToS32(ARight[i]);
    }
}

SONVERA_TARGET_AVX2 void DoublePairToS32Avx2(const double* ALeft, const double* ARight,
                                             int32_t* ATarget, size_t AFrames) {
    size_t i = 0;
    for (; i + 8 <= AFrames; i += 8) {
        const __m256i left = _mm256_set_m128i(DoublesToS32(_mm256_loadu_pd(ALeft + i + 4)),
                                              DoublesToS32(_mm256_loadu_pd(ALeft + i)));
        const __m256i right = _mm256_set_m128i(DoublesToS32(_mm256_loadu_pd(ARight + i + 4)),
                                               DoublesToS32(_mm256_loadu_pd(ARight + i)));
        StorePairs(ATarget + 2 * i, left, right);
    }
    for (; i < AFrames; ++i) {
        ATarget[2 * i] = FloatToS32(ALeft[i]);
        ATarget[2 * i + 1] = FloatToS32(ARight[i]);
    }
}

} // namespace

SONVERA_TARGET_AVX2 void Int16PairAvx2(const int16_t* ALeft, const int16_t* ARight,
                                       int16_t* ATarget, size_t AFrames) {
    size_t i = 0;
    for (; i + 16 <= AFrames; i += 16) {
        const __m256i left = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ALeft + i));
        const __m256i right = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ARight + i));
        const __m256i low = _mm256_unpacklo_epi16(left, right);
        const __m256i high = _mm256_unpackhi_epi16(left, right);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ATarget + 2 * i),
                            _mm256_permute2x128_si256(low, high, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ATarget + 2 * i + 16),
                            _mm256_permute2x128_si256(low, high, 0x31));
    }
    for (; i < AFrames; ++i) {
        ATarget[2 * i] = ALeft[i];
        ATarget[2 * i + 1] = ARight[i];
    }
}

SONVERA_TARGET_AVX2 void Int32PairAvx2(const int32_t* ALeft, const int32_t* ARight,
                                       int32_t* ATarget, size_t AFrames) {
    size_t i = 0;
    for (; i + 8 <= AFrames; i += 8)
        StorePairs(ATarget + 2 * i, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ALeft + i)),
                   _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ARight + i)));
    for (; i < AFrames; ++i) {
        ATarget[2 * i] = ALeft[i];
        ATarget[2 * i + 1] = ARight[i];
    }
}

const TSampleKernels KAvx2Kernels = {FloatsToS32Avx2,     DoublesToS32Avx2, FloatPairToS32Avx2,
                                     DoublePairToS32Avx2, Int16PairAvx2,    Int32PairAvx2};

} // namespace sonvera::samples

#endif
