#include "RVLAVSampleKernels.h"

namespace sonvera::lav {

namespace {

template <class TFloat>
void FloatsToS32Portable(const TFloat* ASource, int32_t* ATarget, size_t ACount) {
    for (size_t i = 0; i < ACount; ++i)
        ATarget[i] = FloatToS32(ASource[i]);
}

template <class TFloat>
void FloatPairToS32Portable(const TFloat* ALeft, const TFloat* ARight, int32_t* ATarget,
                            size_t AFrames) {
    for (size_t i = 0; i < AFrames; ++i) {
        ATarget[2 * i] = FloatToS32(ALeft[i]);
        ATarget[2 * i + 1] = FloatToS32(ARight[i]);
    }
}

template <class TInt>
void IntPairPortable(const TInt* ALeft, const TInt* ARight, TInt* ATarget, size_t AFrames) {
    for (size_t i = 0; i < AFrames; ++i) {
        ATarget[2 * i] = ALeft[i];
        ATarget[2 * i + 1] = ARight[i];
    }
}

bool Supports(TKernelLevel ALevel) {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    if (ALevel == klAvx512)
        return KAvx512Kernels.FloatsToS32 && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vl");
    if (ALevel == klAvx2)
        return KAvx2Kernels.FloatsToS32 && __builtin_cpu_supports("avx2") &&
               __builtin_cpu_supports("fma");
#endif
    return ALevel == klPortable;
}

} // namespace

const TSampleKernels KPortableKernels = {
    FloatsToS32Portable<float>,     FloatsToS32Portable<double>, FloatPairToS32Portable<float>,
    FloatPairToS32Portable<double>, IntPairPortable<int16_t>,    IntPairPortable<int32_t>};

bool KernelLevelAvailable(TKernelLevel ALevel) {
    static const bool available[] = {Supports(klPortable), Supports(klAvx2), Supports(klAvx512)};
    return available[ALevel];
}

const TSampleKernels& SampleKernels(TKernelLevel ALevel) {
    if (!KernelLevelAvailable(ALevel))
        return KPortableKernels;
    return ALevel == klAvx512 ? KAvx512Kernels : ALevel == klAvx2 ? KAvx2Kernels : KPortableKernels;
}

const TSampleKernels& BestSampleKernels() {
    static const TSampleKernels& best = SampleKernels(KernelLevelAvailable(klAvx512) ? klAvx512
                                                      : KernelLevelAvailable(klAvx2) ? klAvx2
                                                                                     : klPortable);
    return best;
}

} // namespace sonvera::lav
