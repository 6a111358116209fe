// Portable set, copy, conversion and range scaling between sample widths.
#include "primitives/SVBasicPortable.h"
#include "primitives/SVBasicRegions.h"

namespace sonvera {

namespace {

using svbasic::CopyRegion;
using svbasic::FillRegion;
using svbasic::IsBadStep;
using svbasic::IsEmpty;
using svbasic::MakeRegion;
using svbasic::MakeRun;
using svbasic::MapRegion;

// The constants of the accurate narrowing to 8u. The 16-bit factor is the float nearest to
// 255/65535; a 16-bit sample times it, plus either offset, is exact in double. The 32-bit
// factor and offset are doubles, and that product is formed in extended precision.
constexpr double KScale16To8 = static_cast<float>(255.0 / 65535.0);
constexpr double KOffset16sTo8u = 128.001953125;
constexpr double KOffset16uTo8u = 0.5;
constexpr long double KScale32To8 = 5.937181414556033e-08;
constexpr long double KOffset32sTo8u = 128.0000000296859;

// y truncated, less 1 when that integer is odd and equals y exactly (y lies in [0, 256)).
template <class TReal> inline Ipp8u TruncateTiesDownToEven(TReal AY) {
    int32_t n = static_cast<int32_t>(AY);
    if ((n & 1) != 0 && AY == static_cast<TReal>(n))
        --n;
    return static_cast<Ipp8u>(n);
}

template <class TSrc, class TReal> struct TNarrowAccurate {
    TReal Factor;
    TReal Offset;
    Ipp8u operator()(TSrc AX) const {
        return TruncateTiesDownToEven<TReal>(static_cast<TReal>(AX) * Factor + Offset);
    }
};

// The fast narrowing: s - s/256 (arithmetic shifts) keeps the top byte of a signed sample in
// range, which is then moved from signed to unsigned by subtracting 128 (modulo 256).
template <int32_t AShift> inline Ipp8u NarrowFast(int32_t AS) {
    return static_cast<Ipp8u>(((AS - (AS >> 8)) >> AShift) - 128);
}

struct TNarrow16sFast {
    Ipp8u operator()(Ipp16s AX) const { return NarrowFast<8>(AX); }
};

struct TNarrow16uFast {
    Ipp8u operator()(Ipp16u AX) const { return NarrowFast<8>(int32_t{AX} - 32768); }
};

struct TNarrow32sFast {
    Ipp8u operator()(Ipp32s AX) const { return NarrowFast<24>(AX); }
};

struct TWiden8sTo16s {
    Ipp16s operator()(Ipp8s AX) const { return AX; }
};

struct TWiden8uTo32f {
    Ipp32f operator()(Ipp8u AX) const { return AX; }
};

// 0 to the bottom and 255 to the top of the wider range: x * 257 - 32768.
struct TScale8uTo16s {
    Ipp16s operator()(Ipp8u AX) const { return static_cast<Ipp16s>(AX * 257 - 32768); }
};

// x * 16843009 - 2^31 (16843009 = 0x01010101).
struct TScale8uTo32s {
    Ipp32s operator()(Ipp8u AX) const {
        return static_cast<Ipp32s>(int64_t{AX} * 16843009 - 2147483648LL);
    }
};

struct TShift8uTo16u {
    Ipp16u operator()(Ipp8u AX) const { return static_cast<Ipp16u>(AX << 8); }
};

// Float to 8u: 255 from 255 up, 0 for zero, negatives and NaN, otherwise rounded to nearest
// with ties to even. Truncation and the fraction are exact, so no rounding mode is involved.
struct TConvert32fTo8uNearest {
    Ipp8u operator()(Ipp32f AX) const {
        if (AX >= 255.0f)
            return 255;
        if (!(AX > 0.0f))
            return 0;
        const int32_t whole = static_cast<int32_t>(AX);
        const float fraction = AX - static_cast<float>(whole);
        const bool up = fraction > 0.5f || (fraction == 0.5f && (whole & 1) != 0);
        return static_cast<Ipp8u>(whole + (up ? 1 : 0));
    }
};

struct TConvert32fTo8uTruncate {
    Ipp8u operator()(Ipp32f AX) const {
        if (AX >= 255.0f)
            return 255;
        if (!(AX > 0.0f))
            return 0;
        return static_cast<Ipp8u>(AX);
    }
};

template <class T> IppStatus ImageSet(T val, T* pDst, int32_t dstStep, IppiSize roiSize) {
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    if (IsBadStep(dstStep))
        return ippStsStepErr;
    FillRegion<T>(pDst, MakeRegion<T>(roiSize, dstStep), val);
    return ippStsNoErr;
}

template <class T>
IppStatus ImageCopy(const T* pSrc, int32_t srcStep, T* pDst, int32_t dstStep, IppiSize roiSize) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    CopyRegion<T>(pSrc, pDst, MakeRegion<T, T>(roiSize, srcStep, dstStep));
    return ippStsNoErr;
}

// The checks of the conversions and scalings, which test steps as well.
template <class TSrc, class TDst>
IppStatus CheckConversion(const TSrc* pSrc, int32_t srcStep, const TDst* pDst, int32_t dstStep,
                          IppiSize roiSize) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    if (IsBadStep(srcStep) || IsBadStep(dstStep))
        return ippStsStepErr;
    return ippStsNoErr;
}

template <class TSrc, class TDst, class TFn>
IppStatus ImageConvert(const TSrc* pSrc, int32_t srcStep, TDst* pDst, int32_t dstStep,
                       IppiSize roiSize, TFn AFn) {
    const IppStatus status = CheckConversion(pSrc, srcStep, pDst, dstStep, roiSize);
    if (status == ippStsNoErr)
        MapRegion<TSrc, TDst>(pSrc, pDst, MakeRegion<TSrc, TDst>(roiSize, srcStep, dstStep), AFn);
    return status;
}

// A narrowing to 8u: the accurate path for the accurate hint, the fast one for any other.
template <class TSrc, class TAccurate, class TFast>
IppStatus ImageNarrow(const TSrc* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                      IppiSize roiSize, IppHintAlgorithm hint, TAccurate AAccurate, TFast AFast) {
    if (hint == ippAlgHintAccurate)
        return ImageConvert(pSrc, srcStep, pDst, dstStep, roiSize, AAccurate);
    return ImageConvert(pSrc, srcStep, pDst, dstStep, roiSize, AFast);
}

} // namespace

namespace svportable {

IppStatus ippsSet_16s(Ipp16s val, Ipp16s* pDst, int32_t len) {
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    FillRegion<Ipp16s>(pDst, MakeRun(len), val);
    return ippStsNoErr;
}

IppStatus ippsConvert_8s16s(const Ipp8s* pSrc, Ipp16s* pDst, int32_t len) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    MapRegion<Ipp8s, Ipp16s>(pSrc, pDst, MakeRun(len), TWiden8sTo16s{});
    return ippStsNoErr;
}

IppStatus ippiScale_16u8u_C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                              IppiSize roiSize, IppHintAlgorithm hint) {
    return ImageNarrow(pSrc, srcStep, pDst, dstStep, roiSize, hint,
                       TNarrowAccurate<Ipp16u, double>{KScale16To8, KOffset16uTo8u},
                       TNarrow16uFast{});
}

IppStatus ippiSet_8u_C1R(Ipp8u val, Ipp8u* pDst, int32_t dstStep, IppiSize roiSize) {
    return ImageSet(val, pDst, dstStep, roiSize);
}

IppStatus ippiSet_16s_C1R(Ipp16s val, Ipp16s* pDst, int32_t dstStep, IppiSize roiSize) {
    return ImageSet(val, pDst, dstStep, roiSize);
}

IppStatus ippiSet_32s_C1R(Ipp32s val, Ipp32s* pDst, int32_t dstStep, IppiSize roiSize) {
    return ImageSet(val, pDst, dstStep, roiSize);
}

IppStatus ippiCopy_8u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                          IppiSize roiSize) {
    return ImageCopy(pSrc, srcStep, pDst, dstStep, roiSize);
}

IppStatus ippiCopy_16s_C1R(const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pDst, int32_t dstStep,
                           IppiSize roiSize) {
    return ImageCopy(pSrc, srcStep, pDst, dstStep, roiSize);
}

IppStatus ippiConvert_8u32f_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                                IppiSize roiSize) {
    return ImageConvert(pSrc, srcStep, pDst, dstStep, roiSize, TWiden8uTo32f{});
}

IppStatus ippiConvert_32f8u_C1R(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                                IppiSize roiSize, IppRoundMode roundMode) {
    if (roundMode == ippRndNear)
        return ImageConvert(pSrc, srcStep, pDst, dstStep, roiSize, TConvert32fTo8uNearest{});
    return ImageConvert(pSrc, srcStep, pDst, dstStep, roiSize, TConvert32fTo8uTruncate{});
}

IppStatus ippiScale_8u16s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16s* pDst, int32_t dstStep,
                              IppiSize roiSize) {
    return ImageConvert(pSrc, srcStep, pDst, dstStep, roiSize, TScale8uTo16s{});
}

IppStatus ippiScale_8u32s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                              IppiSize roiSize) {
    return ImageConvert(pSrc, srcStep, pDst, dstStep, roiSize, TScale8uTo32s{});
}

IppStatus ippiScale_16s8u_C1R(const Ipp16s* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                              IppiSize roiSize, IppHintAlgorithm hint) {
    return ImageNarrow(pSrc, srcStep, pDst, dstStep, roiSize, hint,
                       TNarrowAccurate<Ipp16s, double>{KScale16To8, KOffset16sTo8u},
                       TNarrow16sFast{});
}

IppStatus ippiScale_32s8u_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                              IppiSize roiSize, IppHintAlgorithm hint) {
    return ImageNarrow(pSrc, srcStep, pDst, dstStep, roiSize, hint,
                       TNarrowAccurate<Ipp32s, long double>{KScale32To8, KOffset32sTo8u},
                       TNarrow32sFast{});
}

} // namespace svportable

IppStatus ippiScale_8u16u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                              IppiSize roiSize) {
    if (pSrc != nullptr && pDst != nullptr && !IsEmpty(roiSize))
        MapRegion<Ipp8u, Ipp16u>(pSrc, pDst, MakeRegion<Ipp8u, Ipp16u>(roiSize, srcStep, dstStep),
                                 TShift8uTo16u{});
    return ippStsNoErr;
}

} // namespace sonvera
