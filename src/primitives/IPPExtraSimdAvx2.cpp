// The AVX2 kernels: packed 24-bit runs, eight elements per step through byte shuffles.
#include "primitives/IPPExtraSimd.h"

#ifdef SONVERA_X86_KERNELS
#include <immintrin.h>

namespace sonvera::extra::avx2 {

// Elements 0-3 come from the 16 bytes at the start, elements 4-7 from the 16 bytes at offset 8,
// so the two loads cover exactly the 24 bytes of the group. Each element's three bytes go to
// the top of its lane and an arithmetic shift brings them down sign-extended.
SONVERA_TARGET_AVX2 void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount) {
    const __m256i spread =
        _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 4, 5, 6, -1, 7,
                         8, 9, -1, 10, 11, 12, -1, 13, 14, 15);
    int i = 0;
    for (; i + 8 <= ACount; i += 8) {
        const uint8_t* group = ASource + 3 * i;
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group + 8));
        __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        v = _mm256_srai_epi32(_mm256_shuffle_epi8(v, spread), 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i), v);
    }
    portable::Unpack24(ASource + 3 * i, ADest + i, ACount - i);
}

// The store rule is applied to eight values at once, each lane's four elements are squeezed
// into its low 12 bytes, the two halves are joined into 24 contiguous bytes and written with
// one 16-byte and one 8-byte store.
SONVERA_TARGET_AVX2 void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    const __m256i squeeze =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                         8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
    const __m256i sign = _mm256_set1_epi32(0x800000);
    int i = 0;
    for (; i + 8 <= ACount; i += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i));
        v = _mm256_or_si256(_mm256_and_si256(v, low24),
                            _mm256_and_si256(_mm256_srli_epi32(v, 8), sign));
        v = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, squeeze), join);
        uint8_t* group = ADest + 3 * i;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(group), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(group + 16), _mm256_extracti128_si256(v, 1));
    }
    portable::Pack24(ASource + i, ADest + 3 * i, ACount - i);
}

} // namespace sonvera::extra::avx2
#endif
