// The AVX2 kernels: packed 24-bit runs, eight elements per step through byte shuffles; 16-bit
// samples to 24 and 32 bits and back, sixteen per step in 16-bit lanes; floats to 32-bit values,
// eight per step through the processor's rounding conversion.
#include "primitives/PrimitiveSimd.h"

#include "internal/SaturatedLanes.h"

#ifdef SONVERA_X86_KERNELS
#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace sonvera::runs::avx2 {

namespace {

// Eight packed 24-bit elements: elements 0-3 from the 16 bytes at the start in the low lane,
// elements 4-7 from the 16 bytes at offset 8 in the high one, so the two loads cover exactly the
// 24 bytes of the group.
SONVERA_TARGET_AVX2 inline __m256i LoadEight24(const uint8_t* AGroup) {
    const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AGroup));
    const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(AGroup + 8));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// Eight 32-bit lanes to 24 contiguous bytes: byte 0 and bytes AHigh, AHigh + 1 of each lane
// squeezed into the low 12 bytes of its 128-bit lane, and the two halves joined.
SONVERA_TARGET_AVX2 inline __m256i Squeezed24(__m256i ALanes, int AHigh) {
    const auto at = [AHigh](int ALane, int AByte) {
        return char(4 * ALane + (AByte == 0 ? 0 : AHigh + AByte - 1));
    };
    const __m256i squeeze =
        _mm256_setr_epi8(at(0, 0), at(0, 1), at(0, 2), at(1, 0), at(1, 1), at(1, 2), at(2, 0),
                         at(2, 1), at(2, 2), at(3, 0), at(3, 1), at(3, 2), -1, -1, -1, -1, at(0, 0),
                         at(0, 1), at(0, 2), at(1, 0), at(1, 1), at(1, 2), at(2, 0), at(2, 1),
                         at(2, 2), at(3, 0), at(3, 1), at(3, 2), -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    return _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(ALanes, squeeze), join);
}

} // namespace

// Each element's three bytes go to the top of its lane, the low byte cleared: left-justified,
// or brought down sign-extended by an arithmetic shift.
template <bool ALeftJustified>
SONVERA_TARGET_AVX2 inline void UnpackLanes24(const uint8_t* ASource, int32_t* ADest, int ACount) {
    const __m256i spread =
        _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 4, 5, 6, -1, 7,
                         8, 9, -1, 10, 11, 12, -1, 13, 14, 15);
    int i = 0;
    for (; i + 8 <= ACount; i += 8) {
        __m256i v = _mm256_shuffle_epi8(LoadEight24(ASource + 3 * i), spread);
        if constexpr (!ALeftJustified)
            v = _mm256_srai_epi32(v, 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i), v);
    }
    if constexpr (ALeftJustified)
        portable::Unpack24High(ASource + 3 * i, ADest + i, ACount - i);
    else
        portable::Unpack24(ASource + 3 * i, ADest + i, ACount - i);
}

SONVERA_TARGET_AVX2 void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount) {
    UnpackLanes24<false>(ASource, ADest, ACount);
}

SONVERA_TARGET_AVX2 void Unpack24High(const uint8_t* ASource, int32_t* ADest, int ACount) {
    UnpackLanes24<true>(ASource, ADest, ACount);
}

// Eight values at once are made 24-bit ones (AHigh: rounded from left-justified samples, bit 7
// added to the arithmetic shift by 8, the top capped; else by the store rule), their low three
// bytes squeezed into 24 contiguous bytes and written with one 16-byte and one 8-byte store.
template <bool AHigh>
SONVERA_TARGET_AVX2 void PackLanes24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
    const __m256i sign = _mm256_set1_epi32(0x800000);
    const __m256i top = _mm256_set1_epi32(0x7FFFFF);
    int i = 0;
    for (; i + 8 <= ACount; i += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i));
        if constexpr (AHigh)
            v = _mm256_min_epi32(_mm256_sub_epi32(_mm256_srai_epi32(v, 8),
                                                  _mm256_srai_epi32(_mm256_slli_epi32(v, 24), 31)),
                                 top);
        else
            v = _mm256_or_si256(_mm256_and_si256(v, low24),
                                _mm256_and_si256(_mm256_srli_epi32(v, 8), sign));
        v = Squeezed24(v, 1);
        uint8_t* group = ADest + 3 * i;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(group), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(group + 16), _mm256_extracti128_si256(v, 1));
    }
    if constexpr (AHigh)
        portable::PackHigh24(ASource + i, ADest + 3 * i, ACount - i);
    else
        portable::Pack24(ASource + i, ADest + 3 * i, ACount - i);
}

SONVERA_TARGET_AVX2 void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    PackLanes24<false>(ASource, ADest, ACount);
}

SONVERA_TARGET_AVX2 void PackHigh24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    PackLanes24<true>(ASource, ADest, ACount);
}

// 24-bit widths

// Widen16To24 in 16-bit lanes: the fraction t from the product's high half, given the sample's
// sign, and the high half s + (t >> 15). Interleaved into 32-bit lanes (the quadword order 0, 2,
// 1, 3 makes them samples 0-7 and 8-15), each lane's bytes 0, 2 and 3 are squeezed together. The
// first eight samples go out with one 32-byte store whose last 8 bytes the second eight overwrite.
SONVERA_TARGET_AVX2 void Pack16To24(const int16_t* ASource, uint8_t* ADest, int ACount) {
    const __m256i magnitudeBits = _mm256_set1_epi16(0x7FFF);
    const __m256i factor = _mm256_set1_epi16(32641);
    int i = 0;
    for (; i + 16 <= ACount; i += 16) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i));
        s = _mm256_permute4x64_epi64(s, 0xD8);
        const __m256i magnitude = _mm256_and_si256(_mm256_abs_epi16(s), magnitudeBits);
        const __m256i t =
            _mm256_sign_epi16(_mm256_srli_epi16(_mm256_mulhi_epu16(magnitude, factor), 6), s);
        const __m256i high = _mm256_add_epi16(s, _mm256_srai_epi16(t, 15));
        const __m256i first = Squeezed24(_mm256_unpacklo_epi16(t, high), 2);
        const __m256i second = Squeezed24(_mm256_unpackhi_epi16(t, high), 2);
        uint8_t* group = ADest + 3 * i;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(group), first);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(group + 24), _mm256_castsi256_si128(second));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(group + 40),
                         _mm256_extracti128_si256(second, 1));
    }
    portable::Pack16To24(ASource + i, ADest + 3 * i, ACount - i);
}

// Packed 24-bit samples to 16 bits in 16-bit lanes. Eight samples load as in Unpack24; each
// 128-bit lane is sorted into its four high halves (bytes 1-2) and its four low bytes
// (zero-extended), two such registers are joined into sixteen high halves and sixteen low
// bytes, and the final quadword order puts the samples back in line. ARound: bit 7 of the low
// byte added to the high half, saturating at the top; else Narrow24To16: with the sign mask m,
// the fraction of the magnitude's rule, the quotient corrected where the low byte passes it.
template <bool ARound>
SONVERA_TARGET_AVX2 void NarrowLanes24To16(const uint8_t* ASource, int16_t* ADest, int ACount) {
    const __m256i split = _mm256_setr_epi8(1, 2, 4, 5, 7, 8, 10, 11, 0, -1, 3, -1, 6, -1, 9, -1, 5,
                                           6, 8, 9, 11, 12, 14, 15, 4, -1, 7, -1, 10, -1, 13, -1);
    const __m256i magnitudeBits = _mm256_set1_epi16(0x7FFF);
    const __m256i lowByte = _mm256_set1_epi16(0xFF);
    const __m256i factor = _mm256_set1_epi16(32641);
    int i = 0;
    for (; i + 16 <= ACount; i += 16) {
        const __m256i a = _mm256_shuffle_epi8(LoadEight24(ASource + 3 * i), split);
        const __m256i b = _mm256_shuffle_epi8(LoadEight24(ASource + 3 * i + 24), split);
        const __m256i high = _mm256_unpacklo_epi64(a, b);
        __m256i r;
        if constexpr (ARound) {
            r = _mm256_adds_epi16(high, _mm256_srli_epi16(_mm256_unpackhi_epi64(a, b), 7));
        } else {
            const __m256i mask = _mm256_srai_epi16(high, 15);
            const __m256i h = _mm256_xor_si256(high, mask);
            const __m256i l =
                _mm256_and_si256(_mm256_xor_si256(_mm256_unpackhi_epi64(a, b), mask), lowByte);
            const __m256i fraction = _mm256_srli_epi16(
                _mm256_mulhi_epu16(_mm256_xor_si256(h, magnitudeBits), factor), 6);
            const __m256i sum = _mm256_sub_epi16(_mm256_add_epi16(l, fraction), mask);
            const __m256i q = _mm256_add_epi16(h, _mm256_cmpgt_epi16(lowByte, sum));
            r = _mm256_sub_epi16(_mm256_xor_si256(q, mask), mask);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i),
                            _mm256_permute4x64_epi64(r, 0xD8));
    }
    if constexpr (ARound)
        portable::Round24To16(ASource + 3 * i, ADest + i, ACount - i);
    else
        portable::Unpack24To16(ASource + 3 * i, ADest + i, ACount - i);
}

SONVERA_TARGET_AVX2 void Unpack24To16(const uint8_t* ASource, int16_t* ADest, int ACount) {
    NarrowLanes24To16<false>(ASource, ADest, ACount);
}

SONVERA_TARGET_AVX2 void Round24To16(const uint8_t* ASource, int16_t* ADest, int ACount) {
    NarrowLanes24To16<true>(ASource, ADest, ACount);
}

// Widen16To32 in 16-bit lanes: 65538 s is 65536 (s - [s < 0]) + (2s mod 2^16), so the high
// half is s + (s >> 15), whose saturation gives -32768 the high half of the most negative
// 32-bit value, and the low half is 2s, corrected by +1 at 32767 and -1 at -32767 (which never
// carry into the high half). The quadword order 0, 2, 1, 3 makes the in-lane interleaves write
// samples 0-7 and 8-15.
SONVERA_TARGET_AVX2 void Widen16(const int16_t* ASource, int32_t* ADest, int ACount) {
    const __m256i top = _mm256_set1_epi16(32767);
    const __m256i bottom = _mm256_set1_epi16(-32767);
    int i = 0;
    for (; i + 16 <= ACount; i += 16) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i));
        s = _mm256_permute4x64_epi64(s, 0xD8);
        const __m256i high = _mm256_adds_epi16(s, _mm256_srai_epi16(s, 15));
        __m256i low = _mm256_add_epi16(s, s);
        low = _mm256_sub_epi16(low, _mm256_cmpeq_epi16(s, top));
        low = _mm256_add_epi16(low, _mm256_cmpeq_epi16(s, bottom));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i),
                            _mm256_unpacklo_epi16(low, high));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i + 8),
                            _mm256_unpackhi_epi16(low, high));
    }
    portable::Widen16(ASource + i, ADest + i, ACount - i);
}

// Narrow32To16 from the halves s = 65536 H + L, as the AVX-512 kernel (see there): with
// n = [s < 0] and z = H + n + [L > 2H + n] (unsigned, 16-bit wrap: at H = -1 the bound 0xFFFF is
// never exceeded) the quotient is z for s < 0 and z - 1 for s >= 0, floored at 0 by unsigned
// saturation. The unsigned comparison is the saturated difference L - bound capped at 1. Each
// 128-bit lane is sorted into its four low halves and four high halves; the final quadword
// order puts samples back in line.
SONVERA_TARGET_AVX2 void Narrow32(const int32_t* ASource, int16_t* ADest, int ACount) {
    const __m256i split = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15, 0,
                                           1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
    const __m256i one = _mm256_set1_epi16(1);
    int i = 0;
    for (; i + 16 <= ACount; i += 16) {
        const __m256i a = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i)), split);
        const __m256i b = _mm256_shuffle_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i + 8)), split);
        const __m256i low = _mm256_unpacklo_epi64(a, b);
        const __m256i high = _mm256_unpackhi_epi64(a, b);
        const __m256i n = _mm256_srli_epi16(high, 15);
        const __m256i shifted = _mm256_add_epi16(high, n);     // H + n
        const __m256i bound = _mm256_add_epi16(high, shifted); // 2H + n
        const __m256i above = _mm256_min_epu16(_mm256_subs_epu16(low, bound), one);
        const __m256i z = _mm256_add_epi16(shifted, above);
        const __m256i q = _mm256_subs_epu16(z, _mm256_xor_si256(n, one));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i),
                            _mm256_permute4x64_epi64(q, 0xD8));
    }
    portable::Narrow32(ASource + i, ADest + i, ACount - i);
}

// float conversions

SONVERA_TARGET_AVX2 void ScaleToFloats(const int32_t* ASource, float* ADest, int ACount,
                                       float AFactor) {
    const __m256 factor = _mm256_set1_ps(AFactor);
    int i = 0;
    for (; i + 8 <= ACount; i += 8)
        _mm256_storeu_ps(ADest + i,
                         _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_loadu_si256(
                                           reinterpret_cast<const __m256i*>(ASource + i))),
                                       factor));
    portable::ScaleToFloats(ASource + i, ADest + i, ACount - i, AFactor);
}

SONVERA_TARGET_AVX2 void UnitFloats16(const int16_t* ASource, float* ADest, int ACount,
                                      float AScale, float ACorrection) {
    const __m256 scale = _mm256_set1_ps(AScale);
    const __m256 correction = _mm256_set1_ps(ACorrection);
    int i = 0;
    for (; i + 8 <= ACount; i += 8) {
        const __m256 x = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(ASource + i))));
        _mm256_storeu_ps(ADest + i, _mm256_fmadd_ps(x, correction, _mm256_mul_ps(x, scale)));
    }
    portable::UnitFloats16(ASource + i, ADest + i, ACount - i, AScale, ACorrection);
}

// Thirty-two floats per step, all converted before any is stored (loads queued behind stores
// to nearby addresses wait for them). The processor's conversion rounds in the current mode and
// gives the most negative 32-bit value for every input outside its range and for NaN; a step
// where any lane holds it is redone by the exact rule, which a value of -2^31 itself also meets.
// Contiguous runs store whole 32-byte lines after a scalar start. Every other element is stored
// one by one: the other elements may be another channel's, written at the same time, and the
// masked stores of AVX2 are slower than single ones on some processors.
SONVERA_TARGET_AVX2 void RoundFloats(const float* ASource, int32_t* ADest, int ADestStep,
                                     int ACount, float AFactor) {
    if (ADestStep != 1 && ADestStep != 2)
        return portable::RoundFloats(ASource, ADest, ADestStep, ACount, AFactor);
    const __m256 factor = _mm256_set1_ps(AFactor);
    const __m256i outsideValue = _mm256_set1_epi32(INT32_MIN);
    int i = 0;
    if (ADestStep == 1) {
        const auto misalignment = int(reinterpret_cast<uintptr_t>(ADest) & 31);
        i = std::min((32 - misalignment) % 32 / 4, ACount);
        portable::RoundFloats(ASource, ADest, 1, i, AFactor);
    }
    for (; i + 32 <= ACount; i += 32) {
        alignas(32) int32_t values[32];
        __m256i outside = _mm256_setzero_si256();
        for (int k = 0; k < 32; k += 8) {
            const __m256i rounded =
                _mm256_cvtps_epi32(_mm256_mul_ps(_mm256_loadu_ps(ASource + i + k), factor));
            outside = _mm256_or_si256(outside, _mm256_cmpeq_epi32(rounded, outsideValue));
            _mm256_store_si256(reinterpret_cast<__m256i*>(values + k), rounded);
        }
        int32_t* dest = ADest + ptrdiff_t(i) * ADestStep;
        if (_mm256_testz_si256(outside, outside) == 0)
            portable::RoundFloats(ASource + i, dest, ADestStep, 32, AFactor);
        else if (ADestStep == 1)
            std::memcpy(dest, values, sizeof values);
        else
            for (int k = 0; k < 32; ++k)
                dest[2 * k] = values[k];
    }
    portable::RoundFloats(ASource + i, ADest + ptrdiff_t(i) * ADestStep, ADestStep, ACount - i,
                          AFactor);
}

// Eight scaled floats rounded to nearest (ties to even, whatever the rounding mode), truncated
// and saturated.
SONVERA_TARGET_AVX2 inline __m256i SaturateLanes(const float* ASource, __m256 AFactor) {
    const __m256 scaled = _mm256_mul_ps(_mm256_loadu_ps(ASource), AFactor);
    const __m256 rounded = _mm256_round_ps(scaled, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    return SaturatedLanes(scaled, _mm256_cvttps_epi32(rounded));
}

// Sixteen frames per step, converted before any is stored: the in-lane interleaves give frames
// 0-1, 4-5 and 2-3, 6-7 of each eight, which the lane permutes put in order.
SONVERA_TARGET_AVX2 void SaturateFloatPairs(const float* ALeft, const float* ARight,
                                            int32_t* AFrames, int ACount, float AFactor) {
    const __m256 factor = _mm256_set1_ps(AFactor);
    int i = 0;
    for (; i + 16 <= ACount; i += 16) {
        __m256i frames[4];
        for (int k = 0; k < 2; ++k) {
            const __m256i left = SaturateLanes(ALeft + i + 8 * k, factor);
            const __m256i right = SaturateLanes(ARight + i + 8 * k, factor);
            const __m256i low = _mm256_unpacklo_epi32(left, right);
            const __m256i high = _mm256_unpackhi_epi32(left, right);
            frames[2 * k] = _mm256_permute2x128_si256(low, high, 0x20);
            frames[2 * k + 1] = _mm256_permute2x128_si256(low, high, 0x31);
        }
        for (int k = 0; k < 4; ++k)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(AFrames + 2 * i + 8 * k), frames[k]);
    }
    portable::SaturateFloatPairs(ALeft + i, ARight + i, AFrames + 2 * i, ACount - i, AFactor);
}

// Eight floats times AFactor, at most AHigh, rounded to nearest with ties to even: what lies
// below the 32-bit range converts to its lowest value, and NaN lanes, which fail the ordered
// comparison, are cleared.
SONVERA_TARGET_AVX2 inline __m256i RoundedLanes(const float* ASource, __m256 AFactor,
                                                __m256 AHigh) {
    const __m256 scaled = _mm256_mul_ps(_mm256_loadu_ps(ASource), AFactor);
    const __m256 ordered = _mm256_cmp_ps(scaled, scaled, _CMP_ORD_Q);
    const __m256 rounded = _mm256_round_ps(_mm256_min_ps(scaled, AHigh),
                                           _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    return _mm256_and_si256(_mm256_cvttps_epi32(rounded), _mm256_castps_si256(ordered));
}

// The low bound is applied to the integers: ALow is a whole number, and NaN's 0 lies above it.
SONVERA_TARGET_AVX2 void RoundFloatsWithin(const float* ASource, int32_t* ADest, int ACount,
                                           float AFactor, float ALow, float AHigh) {
    const __m256 factor = _mm256_set1_ps(AFactor);
    const __m256 high = _mm256_set1_ps(AHigh);
    const __m256i low = _mm256_set1_epi32(static_cast<int32_t>(ALow));
    int i = 0;
    for (; i + 8 <= ACount; i += 8)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i),
                            _mm256_max_epi32(RoundedLanes(ASource + i, factor, high), low));
    portable::RoundFloatsWithin(ASource + i, ADest + i, ACount - i, AFactor, ALow, AHigh);
}

// Sixteen per step; the saturating pack takes the low side.
SONVERA_TARGET_AVX2 void RoundFloatsTo16(const float* ASource, int16_t* ADest, int ACount,
                                         float AFactor) {
    const __m256 factor = _mm256_set1_ps(AFactor);
    const __m256 high = _mm256_set1_ps(INT16_MAX);
    int i = 0;
    for (; i + 16 <= ACount; i += 16) {
        const __m256i packed = _mm256_packs_epi32(RoundedLanes(ASource + i, factor, high),
                                                  RoundedLanes(ASource + i + 8, factor, high));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i),
                            _mm256_permute4x64_epi64(packed, 0xD8));
    }
    portable::RoundFloatsTo16(ASource + i, ADest + i, ACount - i, AFactor);
}

} // namespace sonvera::runs::avx2
#endif
