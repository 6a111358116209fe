#include "primitives/PrimitiveSampleKernels.h"

namespace sonvera::samples {

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

} // namespace

const TSampleKernels KPortableKernels = {
    FloatsToS32Portable<float>,     FloatsToS32Portable<double>, FloatPairToS32Portable<float>,
    FloatPairToS32Portable<double>, IntPairPortable<int16_t>,    IntPairPortable<int32_t>};

const TSampleKernels& ActiveSampleKernels() {
#ifdef SONVERA_X86_KERNELS
    switch (ActiveKernelLevel()) {
    case klAvx512Vbmi:
    case klAvx512:
        return KAvx512Kernels;
    case klAvx2:
        return KAvx2Kernels;
    case klPortable:
        break;
    }
#endif
    return KPortableKernels;
}

} // namespace sonvera::samples
