// Portable add, subtract and multiply with a scale factor, 8u and 16s: element-wise in place
// and with a constant. The exact integer result v of the element operation becomes
// v * 2^-scaleFactor rounded to nearest with ties to even, saturated to the element type.
#include <type_traits>

#include "primitives/SVBasicPortable.h"
#include "primitives/SVBasicRegions.h"

namespace sonvera::svportable {

namespace {

using svbasic::CombineRegion;
using svbasic::CopyRegion;
using svbasic::FillRegion;
using svbasic::IsEmpty;
using svbasic::MakeRegion;
using svbasic::MakeRun;
using svbasic::MapRegion;
using svbasic::TRegion;

template <class T> struct TRange;

template <> struct TRange<Ipp8u> {
    static constexpr int32_t Min = 0;
    static constexpr int32_t Max = 255;
    static constexpr int32_t Bits = 8;
};

template <> struct TRange<Ipp16s> {
    static constexpr int32_t Min = -32768;
    static constexpr int32_t Max = 32767;
    static constexpr int32_t Bits = 16;
};

template <class T> inline int32_t Saturate(int32_t AValue) {
    return AValue < TRange<T>::Min ? TRange<T>::Min
                                   : (AValue > TRange<T>::Max ? TRange<T>::Max : AValue);
}

// The element operations on operands widened to 32 bits; no result exceeds 2^30 in
// magnitude (the largest is -32768 * -32768).
struct TAdd {
    static int32_t Apply(int32_t A, int32_t B) { return A + B; }
    static bool IsNeutral(int32_t AValue) { return AValue == 0; }
};

struct TSub {
    static int32_t Apply(int32_t A, int32_t B) { return A - B; }
    static bool IsNeutral(int32_t AValue) { return AValue == 0; }
};

struct TMul {
    static int32_t Apply(int32_t A, int32_t B) { return A * B; }
    static bool IsNeutral(int32_t AValue) { return AValue == 1; }
};

// How a scale factor is applied; chosen once per call so that each inner loop is one
// branch-free expression.
enum TScaleKind {
    skClamp,      // scale factor 0
    skRoundShift, // 1..30: shift right, rounding to nearest with ties to even
    skMultiply,   // small negative: multiply, with the value saturated before and after
    skSignMap,    // so negative that any nonzero value leaves the range
    skZero,       // so positive that every value rounds to 0
};

struct TScaling {
    TScaleKind Kind;
    int32_t Shift;  // skRoundShift: the scale factor
    int32_t Bias;   // skRoundShift: 2^(Shift-1) - 1
    int32_t Factor; // skMultiply: 2^-scaleFactor
};

// Results never exceed 2^30 in magnitude, so from a scale factor of 31 on they round to 0 (a
// tie at 2^30 / 2^31 goes to the even 0), and the shift below never overflows 32 bits.
constexpr int32_t KLargestShift = 30;

template <class T> TScaling ChooseScaling(int32_t AScaleFactor) {
    if (AScaleFactor == 0)
        return {skClamp, 0, 0, 1};
    if (AScaleFactor > KLargestShift)
        return {skZero, 0, 0, 1};
    if (AScaleFactor > 0)
        return {skRoundShift, AScaleFactor, (1 << (AScaleFactor - 1)) - 1, 1};
    if (AScaleFactor <= -TRange<T>::Bits)
        return {skSignMap, 0, 0, 1};
    return {skMultiply, 0, 0, 1 << -AScaleFactor};
}

// Saturating before the multiplication changes no result and keeps the product within 32
// bits.
template <class T, TScaleKind AKind>
inline T ApplyScaling(int32_t AValue, const TScaling& AScaling) {
    if constexpr (AKind == skClamp) {
        return static_cast<T>(Saturate<T>(AValue));
    } else if constexpr (AKind == skRoundShift) {
        const int32_t odd = (AValue >> AScaling.Shift) & 1;
        return static_cast<T>(Saturate<T>((AValue + AScaling.Bias + odd) >> AScaling.Shift));
    } else if constexpr (AKind == skMultiply) {
        return static_cast<T>(Saturate<T>(Saturate<T>(AValue) * AScaling.Factor));
    } else {
        static_assert(AKind == skSignMap);
        return static_cast<T>(AValue > 0 ? TRange<T>::Max : (AValue < 0 ? TRange<T>::Min : 0));
    }
}

template <class T, class TOp, TScaleKind AKind> struct TScaledCombine {
    TScaling Scaling;
    T operator()(T ADst, T ASrc) const {
        return ApplyScaling<T, AKind>(TOp::Apply(ADst, ASrc), Scaling);
    }
};

template <class T, class TOp, TScaleKind AKind> struct TScaledWithConstant {
    TScaling Scaling;
    int32_t Value;
    T operator()(T AX) const { return ApplyScaling<T, AKind>(TOp::Apply(AX, Value), Scaling); }
};

// Unscaled 8-bit results fit 16 bits: sums and differences lie within -255..510, products
// within 0..65025. In 16-bit arithmetic the compiler keeps twice the lanes per vector that the
// 32-bit forms above get, with the same results.
template <class TOp> Ipp8u Clamp8uIn16Bits(int32_t A, int32_t B) {
    if constexpr (std::is_same_v<TOp, TMul>) {
        const auto value = static_cast<uint16_t>(A * B);
        return static_cast<Ipp8u>(value > 255 ? 255 : value);
    } else {
        const auto value = static_cast<int16_t>(TOp::Apply(A, B));
        return static_cast<Ipp8u>(value < 0 ? 0 : (value > 255 ? 255 : value));
    }
}

template <class TOp> struct TScaledCombine<Ipp8u, TOp, skClamp> {
    TScaling Scaling;
    Ipp8u operator()(Ipp8u ADst, Ipp8u ASrc) const { return Clamp8uIn16Bits<TOp>(ADst, ASrc); }
};

template <class TOp> struct TScaledWithConstant<Ipp8u, TOp, skClamp> {
    TScaling Scaling;
    int32_t Value;
    Ipp8u operator()(Ipp8u AX) const { return Clamp8uIn16Bits<TOp>(AX, Value); }
};

// An 8-bit product shifted by 1 to 8 with its rounding also stays within 16 unsigned bits:
// 65025 + 127 + 1 at most. The shifts are high halves of 16-bit products by 2^(16 - shift),
// which vectors have for every lane at once.
struct TProduct8uShiftedIn16Bits {
    uint16_t Value;
    uint16_t Bias;
    uint16_t ShiftFactor; // 2^(16 - shift)

    static bool Fits(const TScaling& AScaling) {
        return AScaling.Kind == skRoundShift && AScaling.Shift <= 8;
    }
    TProduct8uShiftedIn16Bits(int32_t AValue, const TScaling& AScaling)
        : Value(static_cast<uint16_t>(AValue)), Bias(static_cast<uint16_t>(AScaling.Bias)),
          ShiftFactor(static_cast<uint16_t>(1u << (16 - AScaling.Shift))) {}

    uint16_t Shifted(uint16_t AX) const {
        return static_cast<uint16_t>((uint32_t{AX} * ShiftFactor) >> 16);
    }
    Ipp8u operator()(Ipp8u AX) const {
        const auto product = static_cast<uint16_t>(AX * Value);
        const auto odd = static_cast<uint16_t>(Shifted(product) & 1);
        const uint16_t rounded = Shifted(static_cast<uint16_t>(product + Bias + odd));
        return static_cast<Ipp8u>(rounded > 255 ? 255 : rounded);
    }
};

// srcDst = srcDst op src over the region.
template <class T, class TOp>
void CombineScaled(const void* ASrc, void* ASrcDst, const TRegion& ARegion, int32_t AScaleFactor) {
    const TScaling scaling = ChooseScaling<T>(AScaleFactor);
    switch (scaling.Kind) {
    case skClamp:
        return CombineRegion<T>(ASrc, ASrcDst, ARegion, TScaledCombine<T, TOp, skClamp>{scaling});
    case skRoundShift:
        return CombineRegion<T>(ASrc, ASrcDst, ARegion,
                                TScaledCombine<T, TOp, skRoundShift>{scaling});
    case skMultiply:
        return CombineRegion<T>(ASrc, ASrcDst, ARegion,
                                TScaledCombine<T, TOp, skMultiply>{scaling});
    case skSignMap:
        return CombineRegion<T>(ASrc, ASrcDst, ARegion, TScaledCombine<T, TOp, skSignMap>{scaling});
    case skZero:
        return FillRegion<T>(ASrcDst, ARegion, T(0));
    }
}

// dst = src op value over the region; the source may be the destination.
template <class T, class TOp>
void MapScaled(const void* ASrc, T AValue, void* ADst, const TRegion& ARegion,
               int32_t AScaleFactor) {
    if (AScaleFactor == 0 && TOp::IsNeutral(AValue)) {
        if (ASrc != ADst || ARegion.SrcStep != ARegion.DstStep)
            CopyRegion<T>(ASrc, ADst, ARegion);
        return;
    }
    if constexpr (std::is_same_v<TOp, TMul>) {
        if (AValue == 0)
            return FillRegion<T>(ADst, ARegion, T(0));
    }
    const TScaling scaling = ChooseScaling<T>(AScaleFactor);
    if constexpr (std::is_same_v<T, Ipp8u> && std::is_same_v<TOp, TMul>) {
        if (TProduct8uShiftedIn16Bits::Fits(scaling))
            return MapRegion<T, T>(ASrc, ADst, ARegion, TProduct8uShiftedIn16Bits(AValue, scaling));
    }
    switch (scaling.Kind) {
    case skClamp:
        return MapRegion<T, T>(ASrc, ADst, ARegion,
                               TScaledWithConstant<T, TOp, skClamp>{scaling, AValue});
    case skRoundShift:
        return MapRegion<T, T>(ASrc, ADst, ARegion,
                               TScaledWithConstant<T, TOp, skRoundShift>{scaling, AValue});
    case skMultiply:
        return MapRegion<T, T>(ASrc, ADst, ARegion,
                               TScaledWithConstant<T, TOp, skMultiply>{scaling, AValue});
    case skSignMap:
        return MapRegion<T, T>(ASrc, ADst, ARegion,
                               TScaledWithConstant<T, TOp, skSignMap>{scaling, AValue});
    case skZero:
        return FillRegion<T>(ADst, ARegion, T(0));
    }
}

// The argument shapes; add, subtract and multiply test pointers and sizes, not steps.

template <class T, class TOp>
IppStatus ImageCombine(const T* pSrc, int32_t srcStep, T* pSrcDst, int32_t srcDstStep,
                       IppiSize roiSize, int32_t scaleFactor) {
    if (pSrc == nullptr || pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    CombineScaled<T, TOp>(pSrc, pSrcDst, MakeRegion<T, T>(roiSize, srcStep, srcDstStep),
                          scaleFactor);
    return ippStsNoErr;
}

template <class T, class TOp>
IppStatus SignalConstInPlace(T val, T* pSrcDst, int32_t len, int32_t scaleFactor) {
    if (pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    MapScaled<T, TOp>(pSrcDst, val, pSrcDst, MakeRun(len), scaleFactor);
    return ippStsNoErr;
}

template <class T, class TOp>
IppStatus SignalConst(const T* pSrc, T val, T* pDst, int32_t len, int32_t scaleFactor) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    MapScaled<T, TOp>(pSrc, val, pDst, MakeRun(len), scaleFactor);
    return ippStsNoErr;
}

template <class T, class TOp>
IppStatus ImageConstInPlace(T val, T* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                            int32_t scaleFactor) {
    if (pSrcDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    MapScaled<T, TOp>(pSrcDst, val, pSrcDst, MakeRegion<T>(roiSize, srcDstStep), scaleFactor);
    return ippStsNoErr;
}

template <class T, class TOp>
IppStatus ImageConst(const T* pSrc, int32_t srcStep, T val, T* pDst, int32_t dstStep,
                     IppiSize roiSize, int32_t scaleFactor) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (IsEmpty(roiSize))
        return ippStsSizeErr;
    MapScaled<T, TOp>(pSrc, val, pDst, MakeRegion<T, T>(roiSize, srcStep, dstStep), scaleFactor);
    return ippStsNoErr;
}

} // namespace

// Element-wise, in place: srcDst = srcDst op src.

IppStatus ippiAdd_8u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor) {
    return ImageCombine<Ipp8u, TAdd>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiAdd_16s_C1IRSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst,
                              int32_t srcDstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageCombine<Ipp16s, TAdd>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiSub_8u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor) {
    return ImageCombine<Ipp8u, TSub>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiSub_16s_C1IRSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst,
                              int32_t srcDstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageCombine<Ipp16s, TSub>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiMul_8u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor) {
    return ImageCombine<Ipp8u, TMul>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiMul_16s_C1IRSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s* pSrcDst,
                              int32_t srcDstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageCombine<Ipp16s, TMul>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

// With a constant: x op val.

IppStatus ippsAddC_8u_ISfs(Ipp8u val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalConstInPlace<Ipp8u, TAdd>(val, pSrcDst, len, scaleFactor);
}

IppStatus ippsAddC_8u_Sfs(const Ipp8u* pSrc, Ipp8u val, Ipp8u* pDst, int32_t len,
                          int32_t scaleFactor) {
    return SignalConst<Ipp8u, TAdd>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippsAddC_16s_ISfs(Ipp16s val, Ipp16s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalConstInPlace<Ipp16s, TAdd>(val, pSrcDst, len, scaleFactor);
}

IppStatus ippsAddC_16s_Sfs(const Ipp16s* pSrc, Ipp16s val, Ipp16s* pDst, int32_t len,
                           int32_t scaleFactor) {
    return SignalConst<Ipp16s, TAdd>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippiAddC_8u_C1IRSfs(Ipp8u val, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                              int32_t scaleFactor) {
    return ImageConstInPlace<Ipp8u, TAdd>(val, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiAddC_8u_C1RSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u val, Ipp8u* pDst,
                             int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageConst<Ipp8u, TAdd>(pSrc, srcStep, val, pDst, dstStep, roiSize, scaleFactor);
}

IppStatus ippiAddC_16s_C1IRSfs(Ipp16s val, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                               int32_t scaleFactor) {
    return ImageConstInPlace<Ipp16s, TAdd>(val, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiAddC_16s_C1RSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s val, Ipp16s* pDst,
                              int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageConst<Ipp16s, TAdd>(pSrc, srcStep, val, pDst, dstStep, roiSize, scaleFactor);
}

IppStatus ippsSubC_8u_ISfs(Ipp8u val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalConstInPlace<Ipp8u, TSub>(val, pSrcDst, len, scaleFactor);
}

IppStatus ippsSubC_8u_Sfs(const Ipp8u* pSrc, Ipp8u val, Ipp8u* pDst, int32_t len,
                          int32_t scaleFactor) {
    return SignalConst<Ipp8u, TSub>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippsSubC_16s_ISfs(Ipp16s val, Ipp16s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalConstInPlace<Ipp16s, TSub>(val, pSrcDst, len, scaleFactor);
}

IppStatus ippsSubC_16s_Sfs(const Ipp16s* pSrc, Ipp16s val, Ipp16s* pDst, int32_t len,
                           int32_t scaleFactor) {
    return SignalConst<Ipp16s, TSub>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippiSubC_8u_C1IRSfs(Ipp8u val, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                              int32_t scaleFactor) {
    return ImageConstInPlace<Ipp8u, TSub>(val, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiSubC_8u_C1RSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u val, Ipp8u* pDst,
                             int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageConst<Ipp8u, TSub>(pSrc, srcStep, val, pDst, dstStep, roiSize, scaleFactor);
}

IppStatus ippiSubC_16s_C1IRSfs(Ipp16s val, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                               int32_t scaleFactor) {
    return ImageConstInPlace<Ipp16s, TSub>(val, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiSubC_16s_C1RSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s val, Ipp16s* pDst,
                              int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageConst<Ipp16s, TSub>(pSrc, srcStep, val, pDst, dstStep, roiSize, scaleFactor);
}

IppStatus ippsMulC_8u_ISfs(Ipp8u val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalConstInPlace<Ipp8u, TMul>(val, pSrcDst, len, scaleFactor);
}

IppStatus ippsMulC_8u_Sfs(const Ipp8u* pSrc, Ipp8u val, Ipp8u* pDst, int32_t len,
                          int32_t scaleFactor) {
    return SignalConst<Ipp8u, TMul>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippsMulC_16s_ISfs(Ipp16s val, Ipp16s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return SignalConstInPlace<Ipp16s, TMul>(val, pSrcDst, len, scaleFactor);
}

IppStatus ippsMulC_16s_Sfs(const Ipp16s* pSrc, Ipp16s val, Ipp16s* pDst, int32_t len,
                           int32_t scaleFactor) {
    return SignalConst<Ipp16s, TMul>(pSrc, val, pDst, len, scaleFactor);
}

IppStatus ippiMulC_8u_C1IRSfs(Ipp8u val, Ipp8u* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                              int32_t scaleFactor) {
    return ImageConstInPlace<Ipp8u, TMul>(val, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiMulC_8u_C1RSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u val, Ipp8u* pDst,
                             int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageConst<Ipp8u, TMul>(pSrc, srcStep, val, pDst, dstStep, roiSize, scaleFactor);
}

IppStatus ippiMulC_16s_C1IRSfs(Ipp16s val, Ipp16s* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                               int32_t scaleFactor) {
    return ImageConstInPlace<Ipp16s, TMul>(val, pSrcDst, srcDstStep, roiSize, scaleFactor);
}

IppStatus ippiMulC_16s_C1RSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp16s val, Ipp16s* pDst,
                              int32_t dstStep, IppiSize roiSize, int32_t scaleFactor) {
    return ImageConst<Ipp16s, TMul>(pSrc, srcStep, val, pDst, dstStep, roiSize, scaleFactor);
}

} // namespace sonvera::svportable
