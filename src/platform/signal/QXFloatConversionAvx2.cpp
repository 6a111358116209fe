// The AVX2 kernel of the dispatcher's float conversion.
#include "platform/signal/QXFloatConversion.h"

#ifdef SONVERA_X86_KERNELS
#include <algorithm>

#include "internal/SaturatedLanes.h"

namespace sonvera {

namespace {

// Eight floats of ConvertNearSingle through the processor's conversion, which rounds in the mode
// TNearestRounding holds, then saturated.
SONVERA_TARGET_AVX2 inline __m256i ConvertNearLanes(const Ipp32f* ASrc, __m256 AFactor) {
    const __m256 scaled = _mm256_mul_ps(_mm256_loadu_ps(ASrc), AFactor);
    return SaturatedLanes(scaled, _mm256_cvtps_epi32(scaled));
}

} // namespace

// Whole 32-byte lines are stored after a scalar start, four at a time after all four are
// converted: loads queued behind stores to nearby addresses wait for them. The AVX-512 levels
// use it too: on processors that split 64-byte operations in two, wider registers gain nothing
// here.
SONVERA_TARGET_AVX2 void ConvertNearSingleAvx2(const Ipp32f* ASrc, Ipp32s* ADst, int32_t ALen,
                                               float AFactor) {
    const auto misalignment = int32_t(reinterpret_cast<uintptr_t>(ADst) & 31);
    int32_t i = std::min((32 - misalignment) % 32 / 4, ALen);
    ConvertNearSingle(ASrc, ADst, i, AFactor);
    const __m256 factor = _mm256_set1_ps(AFactor);
    for (; i + 32 <= ALen; i += 32) {
        __m256i lanes[4];
        for (int32_t k = 0; k < 4; ++k)
            lanes[k] = ConvertNearLanes(ASrc + i + 8 * k, factor);
        for (int32_t k = 0; k < 4; ++k)
            _mm256_store_si256(reinterpret_cast<__m256i*>(ADst + i + 8 * k), lanes[k]);
    }
    ConvertNearSingle(ASrc + i, ADst + i, ALen - i, AFactor);
}

} // namespace sonvera
#endif
