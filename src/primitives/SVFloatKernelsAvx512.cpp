// The AVX-512 float-effect kernels: biquad cascades of more than four channels, eight to a vector
// of doubles.
#include "primitives/PrimitiveBiquadLanes.h"

#ifdef SONVERA_X86_KERNELS
// GCC 12's AVX-512 intrinsics pass an undefined vector as the merge source of their unmasked
// forms, which -Wmaybe-uninitialized mistakes for a read of an uninitialised value.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace sonvera::runs::avx512 {

namespace {

struct TLanes {
    using TVector = __m512d;
    using TMask = __mmask8;
    static constexpr size_t KWidth = 8;

    SONVERA_TARGET_AVX512 static void Broadcast(TVector& AOut, double AValue) {
        AOut = _mm512_set1_pd(AValue);
    }
    SONVERA_TARGET_AVX512 static void Load(TVector& AOut, const double* AFrom) {
        AOut = _mm512_load_pd(AFrom);
    }
    SONVERA_TARGET_AVX512 static void Store(double* ATo, const TVector& AValue) {
        _mm512_store_pd(ATo, AValue);
    }
    SONVERA_TARGET_AVX512 static void FirstLanes(TMask& AOut, size_t ACount) {
        AOut = TMask((1u << std::min<size_t>(ACount, KWidth)) - 1);
    }
    SONVERA_TARGET_AVX512 static void CopyIn(float* ASlot, const float* AFrame,
                                             const TMask& AMask) {
        _mm256_store_ps(ASlot, _mm256_maskz_loadu_ps(AMask, AFrame));
    }
    SONVERA_TARGET_AVX512 static void CopyOut(float* AFrame, const float* ASlot,
                                              const TMask& AMask) {
        _mm256_mask_storeu_ps(AFrame, AMask, _mm256_load_ps(ASlot));
    }
    // The portable step, lane by lane.
    SONVERA_TARGET_AVX512 static void Step(const TBiquadSectionLanes<TLanes>& AS, TVector& AZ1,
                                           TVector& AZ2, float* AAt) {
        const __m512d x = _mm512_cvtps_pd(_mm256_load_ps(AAt));
        const __m512d y = _mm512_add_pd(_mm512_mul_pd(AS.B0, x), AZ1);
        AZ1 = _mm512_sub_pd(_mm512_add_pd(_mm512_mul_pd(AS.B1, x), AZ2), _mm512_mul_pd(AS.A1, y));
        AZ2 = _mm512_sub_pd(_mm512_mul_pd(AS.B2, x), _mm512_mul_pd(AS.A2, y));
        _mm256_store_ps(AAt, _mm512_cvtpd_ps(y));
    }
};

} // namespace

[[gnu::flatten]] SONVERA_TARGET_AVX512 void Biquad(float* AData, size_t AFrames,
                                                   size_t AChannels, const TSVBiquad* ASections,
                                                   size_t ASectionCount,
                                                   TSVBiquadState* AStates) {
    // Up to four channels fill one AVX2 vector, whose recurrence ran faster than a half-empty
    // AVX-512 one where we measured.
    if (AChannels <= avx2::KBiquadChannels)
        return avx2::Biquad(AData, AFrames, AChannels, ASections, ASectionCount, AStates);
    FilterBiquadCascade<TLanes>(AData, AFrames, AChannels, ASections, ASectionCount, AStates);
}

} // namespace sonvera::runs::avx512
#endif
