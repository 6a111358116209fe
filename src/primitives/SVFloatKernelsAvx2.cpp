// The AVX2 float-effect kernels: biquad cascades with four channels to a vector of doubles.
#include "primitives/PrimitiveBiquadLanes.h"

#ifdef SONVERA_X86_KERNELS
#include <immintrin.h>

namespace sonvera::runs::avx2 {

namespace {

struct TLanes {
    using TVector = __m256d;
    using TMask = __m128i; // the 32-bit lanes of a group's floats
    static constexpr size_t KWidth = KBiquadChannels;

    SONVERA_TARGET_AVX2 static void Broadcast(TVector& AOut, double AValue) {
        AOut = _mm256_set1_pd(AValue);
    }
    SONVERA_TARGET_AVX2 static void Load(TVector& AOut, const double* AFrom) {
        AOut = _mm256_load_pd(AFrom);
    }
    SONVERA_TARGET_AVX2 static void Store(double* ATo, const TVector& AValue) {
        _mm256_store_pd(ATo, AValue);
    }
    SONVERA_TARGET_AVX2 static void FirstLanes(TMask& AOut, size_t ACount) {
        AOut = _mm_cmpgt_epi32(_mm_set1_epi32(int(std::min<size_t>(ACount, KWidth))),
                               _mm_setr_epi32(0, 1, 2, 3));
    }
    SONVERA_TARGET_AVX2 static void CopyIn(float* ASlot, const float* AFrame, const TMask& AMask) {
        _mm_store_ps(ASlot, _mm_maskload_ps(AFrame, AMask));
    }
    SONVERA_TARGET_AVX2 static void CopyOut(float* AFrame, const float* ASlot, const TMask& AMask) {
        _mm_maskstore_ps(AFrame, AMask, _mm_load_ps(ASlot));
    }
    // The portable step, lane by lane.
    SONVERA_TARGET_AVX2 static void Step(const TBiquadSectionLanes<TLanes>& AS, TVector& AZ1,
                                         TVector& AZ2, float* AAt) {
        const __m256d x = _mm256_cvtps_pd(_mm_load_ps(AAt));
        const __m256d y = _mm256_add_pd(_mm256_mul_pd(AS.B0, x), AZ1);
        AZ1 = _mm256_sub_pd(_mm256_add_pd(_mm256_mul_pd(AS.B1, x), AZ2), _mm256_mul_pd(AS.A1, y));
        AZ2 = _mm256_sub_pd(_mm256_mul_pd(AS.B2, x), _mm256_mul_pd(AS.A2, y));
        _mm_store_ps(AAt, _mm256_cvtpd_ps(y));
    }
};

} // namespace

[[gnu::flatten]] SONVERA_TARGET_AVX2 void Biquad(float* AData, size_t AFrames, size_t AChannels,
                                                 const TSVBiquad* ASections, size_t ASectionCount,
                                                 TSVBiquadState* AStates) {
    FilterBiquadCascade<TLanes>(AData, AFrames, AChannels, ASections, ASectionCount, AStates);
}

} // namespace sonvera::runs::avx2
#endif
