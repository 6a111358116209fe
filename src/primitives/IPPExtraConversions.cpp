// Width conversion, float conversion and multiplication by a real factor of the extra
// primitives.
//
// The width conversions are defined as s * A / B truncated toward zero with 64-bit products.
// Written that way they would run one scalar 64-bit division per sample; instead each is
// rewritten below into exact 32-bit steps that vectorise: whole multiples split off, divisions
// by 2^n - 1 done with shifts, or an estimate of the quotient from a shift, never off by more
// than one, corrected by the sign of the exact remainder. The tests compare every rewrite with
// the 64-bit formula over every 24-bit and 16-bit input and over random and edge 32-bit inputs
// (the two 32-bit rewrites were also checked over all 2^32 inputs).
#include <cmath>
#include <cstdlib>
#include <type_traits>

#include "primitives/PrimitiveArithmetic.h"
#include "primitives/PrimitiveSimd.h"
#include "primitives/PrimitiveWalkers.h"
#include "sonvera/primitives/IPPExtraFunctions.h"

namespace sonvera {

using runs::CountOf;
using runs::Map;
using runs::TByte;
using runs::TFloat32;
using runs::TInt16;
using runs::TInt24;
using runs::TInt32;
using runs::TSignedByte;
using runs::Wrap;

namespace {

constexpr uint32_t KMinInt32Magnitude = 0x80000000u;

// The conversions work on magnitudes and put the sign back last. Both steps go through the
// sign mask (0 or -1) rather than a condition: a branch on the sign of audio data is a coin
// toss for the processor.
int32_t SignMask(int32_t AValue) {
    return AValue >> 31;
}
int32_t WithSign(int32_t AMagnitude, int32_t ASignMask) {
    return (AMagnitude ^ ASignMask) - ASignMask;
}
// For samples of up to 24 bits, whose magnitude always fits.
int32_t Magnitude(int32_t AValue) {
    return std::abs(AValue);
}
uint32_t Magnitude32(int32_t AValue) {
    const uint32_t mask = uint32_t(SignMask(AValue));
    return (uint32_t(AValue) ^ mask) - mask;
}

// A magnitude with the sign of ASample, the most negative 32-bit value standing in for any
// magnitude beyond it (the nearest representable result).
int32_t Signed32(int32_t ASample, uint32_t AMagnitude) {
    const uint32_t mask = uint32_t(SignMask(ASample));
    return Wrap((std::min(AMagnitude, KMinInt32Magnitude) ^ mask) - mask);
}

// ---- Widening --------------------------------------------------------------------------------

// (s - 127) * 8388607 / 127, where 8388607 = 66052 * 127 + 3: the quotient is 66052 t plus
// the whole part of 3t / 127, at most 3. The byte 255 lands just above full scale.
constexpr auto Scale8uTo24 = [](int32_t ASample) {
    const int32_t t = ASample - 127;
    const int32_t a = Magnitude(t);
    const int32_t rest = 3 * a;
    const int32_t q = 66052 * a + (rest >= 127) + (rest >= 254) + (rest >= 381);
    return WithSign(std::min(q, 8388607), SignMask(t));
};

// The 16/24- and 16/32-bit rules live beside the kernels that run them over contiguous runs;
// the walkers take them as lambdas so that every compiled loop inlines them.
constexpr auto Scale16To24 = [](int32_t ASample) { return runs::Widen16To24(ASample); };
constexpr auto Scale16To32 = [](int32_t ASample) { return runs::Widen16To32(ASample); };
constexpr auto Scale32To16 = [](int32_t ASample) { return runs::Narrow32To16(ASample); };

// s * 2147483647 / 8388607 = 256 s + 255 s / 8388607, the second quotient a division by
// 2^23 - 1, done with shifts as for 16 to 24 bits.
constexpr auto Scale24To32 = [](int32_t ASample) {
    const uint32_t a = Magnitude32(ASample);
    const uint32_t rest = 255u * a;
    const uint32_t q = (rest + (rest >> 23) + 1) >> 23;
    return Signed32(ASample, 256u * a + q);
};

// ---- Narrowing ---------------------------------------------------------------------------

// s * 127 / 8388607 + 127: a division by 2^23 - 1, done with shifts as for 24 to 32 bits.
constexpr auto Scale24To8u = [](int32_t ASample) {
    const int32_t rest = 127 * Magnitude(ASample);
    const int32_t q = (rest + (rest >> 23) + 1) >> 23;
    return WithSign(q, SignMask(ASample)) + 127;
};

// s * 32767 / 8388607 with 8388607 = 256 * 32767 + 255: |s| / 256 is never below the quotient
// and at most one above it; the remainder 32767 (a - 256 q) - 255 q decides. The compiled 32-bit
// walks run this form, in fewer steps than the 16-bit one of the kernels (runs::Narrow24To16),
// which gives the same quotients.
constexpr auto Scale24To16 = [](int32_t ASample) {
    const int32_t a = Magnitude(ASample);
    int32_t q = a >> 8;
    q -= 32767 * (a & 255) - 255 * q < 0;
    return WithSign(q, SignMask(ASample));
};

// s * 8388607 / 2147483647 with 2147483647 = 256 * 8388607 + 255: as for 24 to 16 bits.
constexpr auto Scale32To24 = [](int32_t ASample) {
    const uint32_t a = Magnitude32(ASample);
    int32_t q = int32_t(a >> 8);
    q -= 8388607 * int32_t(a & 255) - 255 * q < 0;
    return WithSign(q, SignMask(ASample));
};

// ---- Float ---------------------------------------------------------------------------------

// 2^AExponent in single precision; exponents far outside the float range give 0 or infinity.
float PowerOfTwo(int64_t AExponent) {
    return std::ldexp(1.0f, int(std::clamp<int64_t>(AExponent, -1000, 1000)));
}

constexpr auto ToFloat = [](int32_t ASample) { return float(ASample); };

struct TToFloatDivided {
    float Divisor;
    float operator()(int32_t ASample) const { return float(ASample) / Divisor; }
};

// x / 2^k as a product: the reciprocal of a float power of two within -126 <= k <= 126 is a
// float, and both forms round the same exact value once.
struct TToFloatScaled {
    float Factor;
    float operator()(int32_t ASample) const { return float(ASample) * Factor; }
};

// x / (2^n - 1) for a sample of n + 1 bits, as x 2^-n + x (2^-n / (2^n - 1)): two products and
// a sum in place of a division, whose results match the quotient's for every such sample (the
// tests go through all of them for 8, 16 and 24 bits; the form is not exact for wider samples).
struct TToUnitFloat {
    float Scale;
    float Correction;
    float operator()(int32_t ASample) const {
        const float x = float(ASample);
        return x * Scale + x * Correction;
    }
    // The same, fused from AVX2 on (see ToFloatContiguous).
    template <TKernelLevel ALevel> float At(int32_t ASample) const {
        const float x = float(ASample);
        if constexpr (ALevel >= klAvx2)
            return __builtin_fmaf(x, Correction, x * Scale);
        else
            return x * Scale + x * Correction;
    }
};

// Whether 2^AExponent and its reciprocal are both normal floats.
bool HasFloatReciprocal(int64_t AExponent) {
    return AExponent >= -126 && AExponent <= 126;
}

template <class TIn>
void ConvertToFloat(const void* ASource, int32_t ASourceStep, Ipp32f* ADest, int32_t ADestStep,
                    const IppiSize& ARegion, float ADivisor, bool ADivide) {
    const int64_t count = CountOf(ARegion.cx, ARegion.cy);
    if (ADivide)
        Map<TIn, TFloat32>(ASource, ASourceStep, ADest, ADestStep, count,
                           TToFloatDivided{ADivisor});
    else
        Map<TIn, TFloat32>(ASource, ASourceStep, ADest, ADestStep, count, ToFloat);
}

// sample / (2^-sf - 1), the divisor held in single precision; sf = 0 gives the sample. The
// scale factor that maps the sample's own full scale onto -1 ... 1 takes the product form.
// Contiguous native samples to contiguous floats in one loop at the level, without the walker's
// blocks. From AVX2 on the unit form's two products and sum are one fused multiply-add:
// fma(x, c, x 2^-n) rounds the exact x 2^-n + x c once, and gives the bytes of the two roundings
// for every sample of 8, 16 and 24 bits (checked over all of them), in one instruction less.
template <class TIn, class TOp>
bool ToFloatContiguous(const void* ASource, int32_t ASourceStep, Ipp32f* ADest, int32_t ADestStep,
                       int64_t ACount, TOp AOp) {
    using TValue = typename TIn::TValue;
    if constexpr (!TIn::KNative) {
        return false;
    } else {
        if (ACount < 1 || !runs::IsContiguous<TIn>(ASourceStep) ||
            !runs::IsContiguous<TFloat32>(ADestStep) ||
            !runs::BlockSafe(ASource, ASourceStep, TIn::KSize, ADest, ADestStep, 4, ACount))
            return false;
        const auto* source = static_cast<const TValue*>(ASource);
        // The vector loop starts where the floats start a 64-byte line: wide stores that split
        // lines cost more here than the conversion (the SSE loop beat the AVX ones without it).
        const auto misalignment = int64_t(reinterpret_cast<uintptr_t>(ADest) & 63);
        const int64_t head = std::min<int64_t>(ACount, (64 - misalignment) % 64 / 4);
        RunAtKernelLevel([=]<TKernelLevel ALevel>() {
            for (int64_t i = 0; i < head; ++i)
                ADest[i] = AOp.template At<ALevel>(int32_t(source[i]));
            for (int64_t i = head; i < ACount; ++i)
                ADest[i] = AOp.template At<ALevel>(int32_t(source[i]));
        });
        return true;
    }
}

// Contiguous 16-bit samples into contiguous floats by the unit form go through the active level's
// kernel (see ScaleToFloats for why it is not the compiled loop).
bool ThroughUnitKernel(const Ipp16s* ASource, int32_t ASourceStep, Ipp32f* ADest,
                       int32_t ADestStep, int64_t ACount, const TToUnitFloat& AOp) {
    if (ACount < 1 || ACount > (int64_t(1) << 30) || !runs::IsContiguous<TInt16>(ASourceStep) ||
        !runs::IsContiguous<TFloat32>(ADestStep) ||
        !runs::BlockSafe(ASource, ASourceStep, 2, ADest, ADestStep, 4, ACount))
        return false;
    runs::ActiveSimdKernels().UnitFloats16(ASource, ADest, int(ACount), AOp.Scale, AOp.Correction);
    return true;
}

template <class TIn>
void ConvertToUnitFloat(const void* ASource, int32_t ASourceStep, Ipp32f* ADest, int32_t ADestStep,
                        const IppiSize& ARegion, int32_t AScaleFactor) {
    const float divisor = PowerOfTwo(-int64_t(AScaleFactor)) - 1.0f;
    if (AScaleFactor == 1 - 8 * TIn::KSize) {
        const float scale = PowerOfTwo(AScaleFactor);
        const TToUnitFloat op{scale, 1.0f / divisor * scale};
        const int64_t count = CountOf(ARegion.cx, ARegion.cy);
        if constexpr (std::is_same_v<TIn, TInt16>) {
            if (ThroughUnitKernel(static_cast<const Ipp16s*>(ASource), ASourceStep, ADest,
                                  ADestStep, count, op))
                return;
        }
        if (!ToFloatContiguous<TIn>(ASource, ASourceStep, ADest, ADestStep, count, op))
            Map<TIn, TFloat32>(ASource, ASourceStep, ADest, ADestStep, count, op);
        return;
    }
    ConvertToFloat<TIn>(ASource, ASourceStep, ADest, ADestStep, ARegion, divisor,
                        AScaleFactor != 0);
}

// x * Factor (in single precision) rounded half to even, low 32 bits.
struct TRoundScaled {
    float Factor;
    int32_t operator()(float AValue) const { return runs::RoundToLow32(AValue * Factor); }
    void Block(const float* AIn, int32_t* AOut) const {
        float scaled[runs::KBlock];
        for (int i = 0; i < runs::KBlock; ++i)
            scaled[i] = AIn[i] * Factor;
        runs::RoundBlockToLow32(scaled, AOut);
    }
};

// ---- Real factor ---------------------------------------------------------------------------

// x * Factor (in double precision) rounded half to even, low 32 bits.
struct TMultiplyReal {
    double Factor;
    int32_t operator()(int32_t AValue) const { return runs::RoundToLow32(AValue * Factor); }
    template <class TIn, class TOut> void Block(const TIn* AIn, TOut* AOut) const {
        double products[runs::KBlock];
        for (int i = 0; i < runs::KBlock; ++i)
            products[i] = AIn[i] * Factor;
        int32_t rounded[runs::KBlock];
        runs::RoundBlockToLow32(products, rounded);
        for (int i = 0; i < runs::KBlock; ++i)
            AOut[i] = static_cast<TOut>(rounded[i]);
    }
};

// The same when no product can leave the 32-bit range, which the block needs no check for.
struct TMultiplyRealInRange : TMultiplyReal {
    template <class TIn, class TOut> void Block(const TIn* AIn, TOut* AOut) const {
        for (int i = 0; i < runs::KBlock; ++i)
            AOut[i] = static_cast<TOut>(runs::RoundInRange(AIn[i] * Factor));
    }
};

// Whether |x * AFactor| stays well inside the 32-bit range for every sample of the encoding
// (false for NaN).
template <class TElem> bool ProductsInRange(double AFactor) {
    const double largest = TElem::KSize == 1 ? 255.0 : std::ldexp(1.0, 8 * TElem::KSize - 1);
    return std::fabs(AFactor) * largest <= 2147482624.0;
}

template <class TElem>
void MultiplyByReal(double AFactor, const void* ASource, void* ADest, int32_t AStep,
                    const IppiSize& ARegion) {
    const int64_t count = CountOf(ARegion.cx, ARegion.cy);
    if (ProductsInRange<TElem>(AFactor))
        Map<TElem, TElem>(ASource, AStep, ADest, AStep, count, TMultiplyRealInRange{{AFactor}});
    else
        Map<TElem, TElem>(ASource, AStep, ADest, AStep, count, TMultiplyReal{AFactor});
}

template <class TElem>
void MultiplyByRealInPlace(double AFactor, void* AData, int32_t AStep, const IppiSize& ARegion) {
    if (AFactor == 1.0)
        return;
    MultiplyByReal<TElem>(AFactor, AData, AData, AStep, ARegion);
}

// Contiguous runs that do not overlap go through the active level's kernel (16-bit lanes, twice
// the samples per instruction of the compiled 32-bit walk), in pieces its int count can hold.
template <class TIn, class TOut, class TSource, class TDest, class TKernel>
bool ThroughRunKernel(const TSource* ASource, int32_t ASourceStep, TDest* ADest, int32_t ADestStep,
                      int64_t ACount, TKernel AKernel) {
    if (ACount < 1 || !runs::IsContiguous<TIn>(ASourceStep) ||
        !runs::IsContiguous<TOut>(ADestStep) ||
        !runs::Disjoint(runs::SpanOf(ASource, ASourceStep, ACount, TIn::KSize),
                        runs::SpanOf(ADest, ADestStep, ACount, TOut::KSize)))
        return false;
    // Pointer units per element: 1, or 3 for packed 24-bit samples addressed as bytes.
    constexpr int64_t KSourceUnits = TIn::KSize / int64_t(sizeof(TSource));
    constexpr int64_t KDestUnits = TOut::KSize / int64_t(sizeof(TDest));
    runs::InKernelPieces(ACount, [&](int64_t AFirst, int ACountOfPiece) {
        AKernel(ASource + AFirst * KSourceUnits, ADest + AFirst * KDestUnits, ACountOfPiece);
    });
    return true;
}

// Strided runs that blocks may reorder, when at least one side moves through a window kernel:
// gathered into packed blocks, converted by the kernel, and spread out again.
template <class TIn, class TOut, class TSource, class TDest>
bool ThroughKernelBlocks(const TSource* ASource, int32_t ASourceStep, TDest* ADest,
                         int32_t ADestStep, int64_t ACount,
                         void (*AKernel)(const TSource*, TDest*, int)) {
    const auto* source = reinterpret_cast<const uint8_t*>(ASource);
    auto* dest = reinterpret_cast<uint8_t*>(ADest);
    const runs::TRunReader<TIn> reader(source, ASourceStep);
    const runs::TRunWriter<TOut> writer(dest, ADestStep);
    if (ACount < 1 || !runs::WorthBlocks(reader.Access(), writer.Access()) ||
        !runs::BlockSafe(source, ASourceStep, TIn::KSize, dest, ADestStep, TOut::KSize, ACount))
        return false;
    constexpr int KBlock = runs::KBlock;
    alignas(64) TSource in[(KBlock * TIn::KSize + runs::KSlackBytes) / sizeof(TSource)];
    alignas(64) TDest out[(KBlock * TOut::KSize + runs::KSlackBytes) / sizeof(TDest)];
    for (int64_t k = 0; k < ACount; k += KBlock) {
        const int count = int(std::min<int64_t>(KBlock, ACount - k));
        const uint8_t* packed = reader.Bytes(k, count, reinterpret_cast<uint8_t*>(in));
        uint8_t* target = writer.Target(k, reinterpret_cast<uint8_t*>(out));
        AKernel(reinterpret_cast<const TSource*>(packed), reinterpret_cast<TDest*>(target), count);
        writer.Commit(k, count, target);
    }
    return true;
}

// A conversion with a kernel for its whole and its strided runs: the kernel where it can run,
// the element rule otherwise.
template <class TIn, class TOut, class TSource, class TDest, class TRule>
void ThroughKernelOrRule(const TSource* ASource, int32_t ASourceStep, TDest* ADest,
                         int32_t ADestStep, const IppiSize& ARoi,
                         void (*AKernel)(const TSource*, TDest*, int), TRule ARule) {
    const int64_t count = CountOf(ARoi.cx, ARoi.cy);
    if (!ThroughRunKernel<TIn, TOut>(ASource, ASourceStep, ADest, ADestStep, count, AKernel) &&
        !ThroughKernelBlocks<TIn, TOut>(ASource, ASourceStep, ADest, ADestStep, count, AKernel))
        Map<TIn, TOut>(ASource, ASourceStep, ADest, ADestStep, count, ARule);
}

// Contiguous floats into 32-bit elements one or two apart (a whole run, or one channel of
// stereo frames) go through the active level's rounding kernel, when the block order is the
// element order (see BlockSafe).
bool ThroughRoundKernel(const Ipp32f* ASource, int32_t ASourceStep, Ipp32s* ADest,
                        int32_t ADestStep, int64_t ACount, float AFactor) {
    if (ACount < 1 || !runs::IsContiguous<TFloat32>(ASourceStep) ||
        (ADestStep != 4 && ADestStep != 8) ||
        !runs::BlockSafe(ASource, ASourceStep, 4, ADest, ADestStep, 4, ACount))
        return false;
    const auto kernel = runs::ActiveSimdKernels().RoundFloats;
    const int elementStep = ADestStep / 4;
    runs::InKernelPieces(ACount, [&](int64_t AFirst, int ACountOfPiece) {
        kernel(ASource + AFirst, ADest + AFirst * elementStep, elementStep, ACountOfPiece, AFactor);
    });
    return true;
}

// Contiguous 32-bit values into contiguous floats times a power of two go through the active
// level's kernel, which reads whole cache lines where the two runs sit differently in theirs.
bool ThroughScaleKernel(const Ipp32s* ASource, int32_t ASourceStep, Ipp32f* ADest,
                        int32_t ADestStep, int64_t ACount, float AFactor) {
    if (ACount < 1 || !runs::IsContiguous<TInt32>(ASourceStep) ||
        !runs::IsContiguous<TFloat32>(ADestStep) ||
        !runs::BlockSafe(ASource, ASourceStep, 4, ADest, ADestStep, 4, ACount))
        return false;
    const auto kernel = runs::ActiveSimdKernels().ScaleToFloats;
    runs::InKernelPieces(ACount, [&](int64_t AFirst, int ACountOfPiece) {
        kernel(ASource + AFirst, ADest + AFirst, ACountOfPiece, AFactor);
    });
    return true;
}

} // namespace

// ---- Width conversion --------------------------------------------------------------------

void ippiScale_8u24s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                         const IppiSize& roiSize) {
    Map<TByte, TInt24>(pSrc, srcStep, pDst, dstStep, CountOf(roiSize.cx, roiSize.cy), Scale8uTo24);
}
void ippiScale_16s24s_C1R(const Ipp16s* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                          const IppiSize& roiSize) {
    ThroughKernelOrRule<TInt16, TInt24>(pSrc, srcStep, pDst, dstStep, roiSize,
                                        runs::ActiveSimdKernels().Pack16To24, Scale16To24);
}
void ippiScale_16s32s_C1R(const Ipp16s* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                          const IppiSize& roiSize) {
    const int64_t count = CountOf(roiSize.cx, roiSize.cy);
    if (!ThroughRunKernel<TInt16, TInt32>(pSrc, srcStep, pDst, dstStep, count,
                                          runs::ActiveSimdKernels().Widen16))
        Map<TInt16, TInt32>(pSrc, srcStep, pDst, dstStep, count, Scale16To32);
}
void ippiScale_24s32s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                          const IppiSize& roiSize) {
    Map<TInt24, TInt32>(pSrc, srcStep, pDst, dstStep, CountOf(roiSize.cx, roiSize.cy), Scale24To32);
}
void ippiScale_24s8u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                         const IppiSize& roiSize, IppHintAlgorithm) {
    Map<TInt24, TByte>(pSrc, srcStep, pDst, dstStep, CountOf(roiSize.cx, roiSize.cy), Scale24To8u);
}
void ippiScale_24s16s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16s* pDst, int32_t dstStep,
                          const IppiSize& roiSize, IppHintAlgorithm) {
    ThroughKernelOrRule<TInt24, TInt16>(pSrc, srcStep, pDst, dstStep, roiSize,
                                        runs::ActiveSimdKernels().Unpack24To16, Scale24To16);
}
void ippiScale_32s16s_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp16s* pDst, int32_t dstStep,
                          const IppiSize& roiSize, IppHintAlgorithm) {
    const int64_t count = CountOf(roiSize.cx, roiSize.cy);
    if (!ThroughRunKernel<TInt32, TInt16>(pSrc, srcStep, pDst, dstStep, count,
                                          runs::ActiveSimdKernels().Narrow32))
        Map<TInt32, TInt16>(pSrc, srcStep, pDst, dstStep, count, Scale32To16);
}
void ippiScale_32s24s_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                          const IppiSize& roiSize, IppHintAlgorithm) {
    Map<TInt32, TInt24>(pSrc, srcStep, pDst, dstStep, CountOf(roiSize.cx, roiSize.cy), Scale32To24);
}

// ---- Float conversion ----------------------------------------------------------------------

void ippiConvert_24s32f_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                            const IppiSize& roiSize) {
    ConvertToFloat<TInt24>(pSrc, srcStep, pDst, dstStep, roiSize, 1.0f, false);
}
void ippiConvert_32s32f_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                            const IppiSize& roiSize) {
    ConvertToFloat<TInt32>(pSrc, srcStep, pDst, dstStep, roiSize, 1.0f, false);
}
void ippiConvert_32f24s_C1R(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                            const IppiSize& roiSize, IppRoundMode) {
    Map<TFloat32, TInt24>(pSrc, srcStep, pDst, dstStep, CountOf(roiSize.cx, roiSize.cy),
                          TRoundScaled{1.0f});
}
void ippiConvert_32f32s_C1RSfs(const Ipp32f* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                               const IppiSize& roiSize, IppRoundMode, int32_t scaleFactor) {
    // For a scale factor of 0 the factor is 1, and x * 1 is x for every float.
    const float factor = PowerOfTwo(-int64_t(scaleFactor));
    const int64_t count = CountOf(roiSize.cx, roiSize.cy);
    if (!ThroughRoundKernel(pSrc, srcStep, pDst, dstStep, count, factor))
        Map<TFloat32, TInt32>(pSrc, srcStep, pDst, dstStep, count, TRoundScaled{factor});
}
void ippiConvert_32s32f_C1RSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                               const IppiSize& roiSize, int32_t scaleFactor) {
    if (scaleFactor != 0 && HasFloatReciprocal(scaleFactor)) {
        const TToFloatScaled op{PowerOfTwo(scaleFactor)};
        const int64_t count = CountOf(roiSize.cx, roiSize.cy);
        if (!ThroughScaleKernel(pSrc, srcStep, pDst, dstStep, count, op.Factor))
            Map<TInt32, TFloat32>(pSrc, srcStep, pDst, dstStep, count, op);
        return;
    }
    ConvertToFloat<TInt32>(pSrc, srcStep, pDst, dstStep, roiSize, PowerOfTwo(-int64_t(scaleFactor)),
                           scaleFactor != 0);
}
void ippiConvert_24s32f_C1RSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                               const IppiSize& roiSize, int32_t scaleFactor) {
    ConvertToUnitFloat<TInt24>(pSrc, srcStep, pDst, dstStep, roiSize, scaleFactor);
}
void ippiConvert_16s32f_C1RSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                               const IppiSize& roiSize, int32_t scaleFactor) {
    ConvertToUnitFloat<TInt16>(pSrc, srcStep, pDst, dstStep, roiSize, scaleFactor);
}
void ippiConvert_8s32f_C1RSfs(const Ipp8s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                              const IppiSize& roiSize, int32_t scaleFactor) {
    ConvertToUnitFloat<TSignedByte>(pSrc, srcStep, pDst, dstStep, roiSize, scaleFactor);
}

// ---- Multiplication by a real factor -------------------------------------------------------

void MultiplyByReal8uI(double factor, Ipp8u* pSrcDst, int32_t step, const IppiSize& roiSize) {
    MultiplyByRealInPlace<TByte>(factor, pSrcDst, step, roiSize);
}
void MultiplyByReal16sI(double factor, Ipp16s* pSrcDst, int32_t step, const IppiSize& roiSize) {
    MultiplyByRealInPlace<TInt16>(factor, pSrcDst, step, roiSize);
}
void MultiplyByReal24sI(double factor, Ipp8u* pSrcDst, int32_t step, const IppiSize& roiSize) {
    MultiplyByRealInPlace<TInt24>(factor, pSrcDst, step, roiSize);
}
void MultiplyByReal32sI(double factor, Ipp32s* pSrcDst, int32_t step, const IppiSize& roiSize) {
    MultiplyByRealInPlace<TInt32>(factor, pSrcDst, step, roiSize);
}
void MultiplyByReal8u(double factor, const Ipp8u* pSrc, Ipp8u* pDst, int32_t step,
                      const IppiSize& roiSize) {
    MultiplyByReal<TByte>(factor, pSrc, pDst, step, roiSize);
}
void MultiplyByReal16s(double factor, const Ipp16s* pSrc, Ipp16s* pDst, int32_t step,
                       const IppiSize& roiSize) {
    MultiplyByReal<TInt16>(factor, pSrc, pDst, step, roiSize);
}
void MultiplyByReal24s(double factor, const Ipp8u* pSrc, Ipp8u* pDst, int32_t step,
                       const IppiSize& roiSize) {
    MultiplyByReal<TInt24>(factor, pSrc, pDst, step, roiSize);
}
void MultiplyByReal32s(double factor, const Ipp32s* pSrc, Ipp32s* pDst, int32_t step,
                       const IppiSize& roiSize) {
    MultiplyByReal<TInt32>(factor, pSrc, pDst, step, roiSize);
}

} // namespace sonvera
