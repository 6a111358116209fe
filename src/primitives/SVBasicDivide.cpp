// Portable division with a scale factor, 8u and 16s: element-wise in place, and by a constant
// in the signal and image forms. The arithmetic is done in extended precision (long double),
// which is what makes the quotients and their ties come out exactly.
#include <array>
#include <cmath>

#include "primitives/SVBasicPortable.h"
#include "primitives/SVBasicRegions.h"

namespace sonvera::svportable {

namespace {

using svbasic::AnyZero;
using svbasic::CombineRegion;
using svbasic::IsBadStep;
using svbasic::IsEmpty;
using svbasic::MakeRegion;
using svbasic::MakeRun;
using svbasic::MapRegion;
using svbasic::TRegion;

// Beyond this bound a scale factor gives the same results as the bound itself: every
// quotient of a nonzero dividend is then far outside the element range or far below 1/2, and
// 0 stays 0. Holding 2^-scaleFactor to it keeps the factor finite, so 0 is never multiplied
// by infinity.
constexpr int32_t KScaleFactorBound = 64;

// 2^-scaleFactor, exactly (what doubling or halving 1.0 step by step gives).
long double PowerOfTwo(int32_t AScaleFactor) {
    const int32_t bounded =
        AScaleFactor < -KScaleFactorBound
            ? -KScaleFactorBound
            : (AScaleFactor > KScaleFactorBound ? KScaleFactorBound : AScaleFactor);
    return std::ldexp(1.0L, -bounded);
}

// Rounds AY (at least -AOffset) to nearest with ties to even: z = AY + AOffset + 0.5 is
// truncated, and an odd result that z equals exactly was a tie and goes down to the even one.
// The offset keeps z positive, so that truncation rounds down.
inline int32_t RoundTiesToEvenAbove(long double AY, int32_t AOffset) {
    const long double z = AY + static_cast<long double>(AOffset) + 0.5L;
    int64_t n = static_cast<int64_t>(z);
    if ((n & 1) != 0 && z == static_cast<long double>(n))
        --n;
    return static_cast<int32_t>(n - AOffset);
}

// Rounds AQ (of magnitude below 2^62) to nearest with ties to even. Both the truncation and
// the fraction are exact, so a tie is recognised only when it is one.
inline int64_t RoundTiesToEven(long double AQ) {
    int64_t n = static_cast<int64_t>(AQ);
    const long double fraction = AQ - static_cast<long double>(n);
    const long double distance = fraction < 0 ? -fraction : fraction;
    if (distance > 0.5L || (distance == 0.5L && (n & 1) != 0))
        n += fraction < 0 ? -1 : 1;
    return n;
}

// The reciprocal table of the 8u division by a constant: entry v holds 1/v rounded half up to
// six decimals, as a float. k / 10^6 in double lies within half a double ulp of the decimal,
// and none of these decimals is that close to a point halfway between two floats, so the
// conversion gives the float nearest to the decimal. Entry 0 holds 0.000001.
constexpr std::array<float, 256> MakeReciprocals() {
    std::array<float, 256> table{};
    table[0] = 0.000001f;
    for (int32_t v = 1; v < 256; ++v) {
        const int32_t millionths = (2000000 + v) / (2 * v);
        table[v] = static_cast<float>(static_cast<double>(millionths) / 1e6);
    }
    return table;
}

constexpr std::array<float, 256> KReciprocals = MakeReciprocals();

// x / val for 16s: y = x * 2^-sf / val, saturated, rounded with ties to even. When the factor
// lies within [-0.9999, 1] no y can leave the range; testing the range anyway changes
// nothing there.
struct TDivide16sByFactor {
    long double Factor;
    Ipp16s operator()(Ipp16s AX) const {
        const long double y = AX * Factor;
        if (y < -32768.0L)
            return -32768;
        if (y > 32767.0L)
            return 32767;
        return static_cast<Ipp16s>(RoundTiesToEvenAbove(y, 32768));
    }
};

// x / val for 8u: y = x * 2^-sf * R[val]; above 255 saturated, otherwise rounded with ties to
// even (y is never negative).
struct TDivide8uByFactor {
    long double Factor;
    Ipp8u operator()(Ipp8u AX) const {
        const long double y = AX * Factor;
        if (y > 255.0L)
            return 255;
        return static_cast<Ipp8u>(RoundTiesToEvenAbove(y, 0));
    }
};

// An 8u division looks its 256 possible results up once the region is long enough to pay for
// computing them.
constexpr ptrdiff_t KLookUpMinimum = 256;
struct TLookUp8u {
    const Ipp8u* Results;
    Ipp8u operator()(Ipp8u AX) const { return Results[AX]; }
};

void Divide8uByConstant(const void* ASrc, Ipp8u AValue, void* ADst, const TRegion& ARegion,
                        int32_t AScaleFactor) {
    const TDivide8uByFactor divide{PowerOfTwo(AScaleFactor) *
                                   static_cast<long double>(KReciprocals[AValue])};
    if (ARegion.Width * ARegion.Height < KLookUpMinimum) {
        MapRegion<Ipp8u, Ipp8u>(ASrc, ADst, ARegion, divide);
        return;
    }
    std::array<Ipp8u, 256> results;
    for (int32_t x = 0; x < 256; ++x)
        results[x] = divide(static_cast<Ipp8u>(x));
    MapRegion<Ipp8u, Ipp8u>(ASrc, ADst, ARegion, TLookUp8u{results.data()});
}

void Divide16sByConstant(const void* ASrc, Ipp16s AValue, void* ADst, const TRegion& ARegion,
                         int32_t AScaleFactor) {
    MapRegion<Ipp16s, Ipp16s>(ASrc, ADst, ARegion,
                              TDivide16sByFactor{PowerOfTwo(AScaleFactor) / AValue});
}

// dividend / divisor for the element-wise divide. A zero divisor gives 0 for a zero dividend
// and the end of the range on the dividend's side otherwise.
template <class T, int32_t AMin, int32_t AMax> struct TDivideElements {
    long double Scale; // 2^-sf
    T operator()(T ADividend, T ADivisor) const {
        if (ADivisor == 0)
            return static_cast<T>(ADividend == 0 ? 0 : (ADividend > 0 ? AMax : AMin));
        const long double q = ADividend * Scale / ADivisor;
        if (q >= AMax)
            return static_cast<T>(AMax);
        if (q <= AMin)
            return static_cast<T>(AMin);
        return static_cast<T>(RoundTiesToEven(q));
    }
};

// srcDst = srcDst / src; 6 when any divisor is zero (the whole region is still written).
template <class T, int32_t AMin, int32_t AMax>
IppStatus DivideElements(const T* pSrc, int32_t srcStep, T* pSrcDst, int32_t srcDstStep,
                         IppiSize roiSize, int32_t scaleFactor) {
    if (pSrc == nullptr || pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    if (IsBadStep(srcStep) || IsBadStep(srcDstStep))
        return ippStsStepErr;
    const TRegion region = MakeRegion<T, T>(roiSize, srcStep, srcDstStep);
    // Looked for first: the divisors may be the destination itself.
    const bool zeroDivisor = AnyZero<T>(pSrc, region);
    CombineRegion<T>(pSrc, pSrcDst, region,
                     TDivideElements<T, AMin, AMax>{PowerOfTwo(scaleFactor)});
    return zeroDivisor ? ippStsDivByZero : ippStsNoErr;
}

template <class T, void (*ADivide)(const void*, T, void*, const TRegion&, int32_t)>
IppStatus SignalDivideByConstant(const T* pSrc, T val, T* pDst, int32_t len, int32_t scaleFactor) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (val == 0)
        return ippStsDivByZeroErr;
    ADivide(pSrc, val, pDst, MakeRun(len), scaleFactor);
    return ippStsNoErr;
}

template <class T, void (*ADivide)(const void*, T, void*, const TRegion&, int32_t)>
IppStatus ImageDivideByConstant(const T* pSrc, int32_t srcStep, T val, T* pDst, int32_t dstStep,
                                IppiSize roiSize, int32_t scaleFactor) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    if (IsBadStep(srcStep) || IsBadStep(dstStep))
        return ippStsStepErr;
    if (val == 0)
        return ippStsDivByZeroErr;
    ADivide(pSrc, val, pDst, MakeRegion<T, T>(roiSize, srcStep, dstStep), scaleFactor);
    return ippStsNoErr;
}

} // namespace

IppStatus ippiDiv_8u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor) {
    return DivideElements<Ipp8u, 0, 255>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiDiv_16s_C1IRSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst,
                              int32_t srcDstStep, IppiSize roiSize, int32_t scaleFactor) {
    return DivideElements<Ipp16s, -32768, 32767>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                                                 scaleFactor);
}

IppStatus ippsDivC_16s_ISfs(Ipp16s val, Ipp16s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalDivideByConstant<Ipp16s, Divide16sByConstant>(pSrcDst, val, pSrcDst, len,
                                                               scaleFactor);
}

IppStatus ippsDivC_16s_Sfs(const Ipp16s* pSrc, Ipp16s val, Ipp16s* pDst, int32_t len,
                           int32_t scaleFactor) {
    return SignalDivideByConstant<Ipp16s, Divide16sByConstant>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippsDivC_8u_ISfs(Ipp8u val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalDivideByConstant<Ipp8u, Divide8uByConstant>(pSrcDst, val, pSrcDst, len,
                                                             scaleFactor);
}

IppStatus ippsDivC_8u_Sfs(const Ipp8u* pSrc, Ipp8u val, Ipp8u* pDst, int32_t len,
                          int32_t scaleFactor) {
    return SignalDivideByConstant<Ipp8u, Divide8uByConstant>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippiDivC_8u_C1IRSfs(Ipp8u val, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                              int32_t scaleFactor) {
    return ImageDivideByConstant<Ipp8u, Divide8uByConstant>(pSrcDst, srcDstStep, val, pSrcDst,
                                                            srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiDivC_8u_C1RSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u val, Ipp8u* pDst,
                             int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageDivideByConstant<Ipp8u, Divide8uByConstant>(pSrc, srcStep, val, pDst, dstStep,
                                                            roiSize, scaleFactor);
}

IppStatus ippiDivC_16s_C1IRSfs(Ipp16s val, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                               int32_t scaleFactor) {
    return ImageDivideByConstant<Ipp16s, Divide16sByConstant>(pSrcDst, srcDstStep, val, pSrcDst,
                                                              srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiDivC_16s_C1RSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s val, Ipp16s* pDst,
                              int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageDivideByConstant<Ipp16s, Divide16sByConstant>(pSrc, srcStep, val, pDst, dstStep,
                                                              roiSize, scaleFactor);
}

} // namespace sonvera::svportable
