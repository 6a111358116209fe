// Saturation of eight floats the processor has converted to 32-bit integers, shared by the
// signal layer's and the primitives' float kernels. The conversion gives the most negative value
// for anything outside the 32-bit range and for NaN; three operations make that the range's
// end on the side the value lies, and 0 for NaN.
#pragma once

#include "internal/KernelLevel.h"

#ifdef SONVERA_X86_KERNELS
#include <immintrin.h>

namespace sonvera {

// AConverted holds AScaled converted (rounded or truncated): lanes of AScaled at or above 2^31
// are flipped to the largest value, NaN lanes cleared.
SONVERA_TARGET_AVX2 inline __m256i SaturatedLanes(__m256 AScaled, __m256i AConverted) {
    const __m256i high =
        _mm256_castps_si256(_mm256_cmp_ps(AScaled, _mm256_set1_ps(2147483648.0f), _CMP_GE_OQ));
    const __m256i number = _mm256_castps_si256(_mm256_cmp_ps(AScaled, AScaled, _CMP_ORD_Q));
    return _mm256_and_si256(_mm256_xor_si256(AConverted, high), number);
}

} // namespace sonvera
#endif
