#include "sonvera/platform/signal/QXBasicDispatcher.h"

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "internal/KernelLevel.h"
#include "platform/signal/QXFloatConversion.h"
#include "sonvera/platform/runtime/UnitInit.h"
#include "sonvera/platform/signal/IPPLoader.h"

namespace sonvera {

namespace {

// Returned by the conversion for a round mode outside near, zero and financial; the value is
// the vendor library's, so that callers see the same status whichever code is bound.
constexpr IppStatus ippStsRoundModeNotSupportedErr = -213;

constexpr int64_t kInt32Min = std::numeric_limits<Ipp32s>::min();
constexpr int64_t kInt32Max = std::numeric_limits<Ipp32s>::max();

__extension__ typedef __int128 TInt128;

inline Ipp32s Saturate32(int64_t AValue) {
    return static_cast<Ipp32s>(std::clamp(AValue, kInt32Min, kInt32Max));
}

// The scale-factor rule of the integer primitives: the exact result v becomes
// v × 2^-scaleFactor, rounded to nearest with ties to even, saturated to 32 bits. The three
// cases are separate types so that each loop is compiled for one of them.
struct TScaleNone {
    Ipp32s operator()(int64_t AValue) const { return Saturate32(AValue); }
};

// Scale factors 1 to 62: v + 2^(sf-1) - 1 reaches the next multiple of 2^sf exactly when the
// remainder is above one half; adding the quotient's lowest bit settles the tie towards even.
struct TScaleDown {
    int FShift;
    int64_t FBias;
    explicit TScaleDown(int AShift) : FShift(AShift), FBias((int64_t{1} << (AShift - 1)) - 1) {}
    Ipp32s operator()(int64_t AValue) const {
        return Saturate32((AValue + FBias + ((AValue >> FShift) & 1)) >> FShift);
    }
};

// Negative scale factors multiply by 2^n. The value is first clamped to the 32-bit range,
// which cannot change a saturated result, so that the product stays inside 64 bits for n up
// to 32; any larger n saturates every nonzero value just as n = 32 does.
struct TScaleUp {
    int64_t FFactor;
    explicit TScaleUp(int AShift) : FFactor(int64_t{1} << AShift) {}
    Ipp32s operator()(int64_t AValue) const {
        return Saturate32(std::clamp(AValue, kInt32Min, kInt32Max) * FFactor);
    }
};

struct TAddOp {
    int64_t operator()(Ipp32s AX, Ipp32s AVal) const { return int64_t{AX} + AVal; }
};
struct TSubOp {
    int64_t operator()(Ipp32s AX, Ipp32s AVal) const { return int64_t{AX} - AVal; }
};
struct TMulOp {
    int64_t operator()(Ipp32s AX, Ipp32s AVal) const { return int64_t{AX} * AVal; }
};

template <class TOp, class TScale>
[[gnu::always_inline]] inline void ConstantLoop(const Ipp32s* ASrc, Ipp32s AVal, Ipp32s* ADst,
                                                int32_t ALen, TOp AOp, TScale AScale) {
    for (int32_t i = 0; i < ALen; ++i)
        ADst[i] = AScale(AOp(ASrc[i], AVal));
}

template <class TOp>
[[gnu::always_inline]] inline void ScaledConstantLoop(const Ipp32s* ASrc, Ipp32s AVal, Ipp32s* ADst,
                                                      int32_t ALen, int32_t AScaleFactor, TOp AOp) {
    if (AScaleFactor == 0)
        ConstantLoop(ASrc, AVal, ADst, ALen, AOp, TScaleNone{});
    else if (AScaleFactor > 62)
        std::fill_n(ADst, ALen, 0); // |v| <= 2^62, so |v| / 2^sf <= 1/2, which rounds to 0
    else if (AScaleFactor > 0)
        ConstantLoop(ASrc, AVal, ADst, ALen, AOp, TScaleDown(AScaleFactor));
    else
        ConstantLoop(ASrc, AVal, ADst, ALen, AOp,
                     TScaleUp(static_cast<int>(std::min<int64_t>(-int64_t{AScaleFactor}, 32))));
}

void AddConstant32s(const Ipp32s* ASrc, Ipp32s AVal, Ipp32s* ADst, int32_t ALen,
                    int32_t AScaleFactor) {
    RunAtKernelLevel([=]<TKernelLevel>() {
        ScaledConstantLoop(ASrc, AVal, ADst, ALen, AScaleFactor, TAddOp{});
    });
}

void SubConstant32s(const Ipp32s* ASrc, Ipp32s AVal, Ipp32s* ADst, int32_t ALen,
                    int32_t AScaleFactor) {
    RunAtKernelLevel([=]<TKernelLevel>() {
        ScaledConstantLoop(ASrc, AVal, ADst, ALen, AScaleFactor, TSubOp{});
    });
}

void MulConstant32s(const Ipp32s* ASrc, Ipp32s AVal, Ipp32s* ADst, int32_t ALen,
                    int32_t AScaleFactor) {
    RunAtKernelLevel([=]<TKernelLevel>() {
        ScaledConstantLoop(ASrc, AVal, ADst, ALen, AScaleFactor, TMulOp{});
    });
}

// Quotient of ANum / ADen rounded to nearest with ties to even (ADen nonzero).
template <class TInt> TInt RoundedQuotient(TInt ANum, TInt ADen) {
    TInt quotient = ANum / ADen;
    const TInt remainder = ANum % ADen;
    const TInt twiceRemainder = remainder < 0 ? -2 * remainder : 2 * remainder;
    const TInt divisor = ADen < 0 ? -ADen : ADen;
    if (twiceRemainder > divisor || (twiceRemainder == divisor && (quotient & 1) != 0))
        quotient += ((ANum < 0) == (ADen < 0)) ? 1 : -1;
    return quotient;
}

// x × 2^-scaleFactor / val exactly, then rounded and saturated. For scale factors -31 to 31
// the scaled dividend and divisor fit 64 bits; below -31 the dividend needs 128 bits (and
// from -63 down every nonzero result saturates, so -64 stands for all of them); from 32 up
// |x| / (|val| × 2^sf) is at most one half, which rounds to 0.
void DivConstant32s(const Ipp32s* ASrc, Ipp32s AVal, Ipp32s* ADst, int32_t ALen,
                    int32_t AScaleFactor) {
    if (AScaleFactor >= 32) {
        std::fill_n(ADst, ALen, 0);
    } else if (AScaleFactor >= 0) {
        const int64_t divisor = int64_t{AVal} * (int64_t{1} << AScaleFactor);
        for (int32_t i = 0; i < ALen; ++i)
            ADst[i] = Saturate32(RoundedQuotient<int64_t>(ASrc[i], divisor));
    } else if (AScaleFactor >= -31) {
        const int64_t factor = int64_t{1} << -AScaleFactor;
        for (int32_t i = 0; i < ALen; ++i)
            ADst[i] = Saturate32(RoundedQuotient<int64_t>(ASrc[i] * factor, AVal));
    } else {
        const TInt128 factor = TInt128{1} << std::min<int64_t>(-int64_t{AScaleFactor}, 64);
        for (int32_t i = 0; i < ALen; ++i) {
            const TInt128 quotient = RoundedQuotient<TInt128>(ASrc[i] * factor, AVal);
            ADst[i] = static_cast<Ipp32s>(std::clamp<TInt128>(quotient, kInt32Min, kInt32Max));
        }
    }
}

// Float to 32-bit conversion. x × 2^-sf is exact in double for |sf| ≤ 300 (a float has 24
// significant bits and an exponent within ±149); beyond that every nonzero input either
// saturates or rounds to 0, as it does at ±300. Each rounding below yields a double whose
// truncation is the rounded value; the clamp that follows has integer bounds, so it cannot
// change a result. The loops are written without floating-point branches so that they
// vectorise.

// Truncation is the conversion's own.
struct TRoundZero {
    double operator()(double AValue) const { return AValue; }
};
// Ties to even, in the rounding mode that TNearestRounding establishes.
struct TRoundNear {
    double operator()(double AValue) const { return std::nearbyint(AValue); }
};
// Ties away from zero: x ± 0.5 then truncation. The sum is exact whenever it matters: a value
// of magnitude one half or more has no bits below 2^-24, and a smaller one sums below 1.
struct TRoundFinancial {
    double operator()(double AValue) const { return AValue + std::copysign(0.5, AValue); }
};

template <class TRound>
[[gnu::always_inline]] inline void ConvertLoop(const Ipp32f* ASrc, Ipp32s* ADst, int32_t ALen,
                                               double AFactor, TRound ARound) {
    constexpr double low = double(kInt32Min);
    constexpr double high = double(kInt32Max);
    for (int32_t i = 0; i < ALen; ++i) {
        double rounded = ARound(static_cast<double>(ZeroIfNaN(ASrc[i])) * AFactor);
        rounded = rounded < low ? low : rounded;
        rounded = rounded > high ? high : rounded;
        ADst[i] = static_cast<Ipp32s>(rounded);
    }
}

// Holds the processor in round-to-nearest-even for the lifetime of the object, whatever mode
// the caller left it in, and restores that mode afterwards.
class TNearestRounding {
public:
    TNearestRounding() : FSaved(std::fegetround()) {
        if (FSaved != FE_TONEAREST)
            std::fesetround(FE_TONEAREST);
    }
    ~TNearestRounding() {
        if (FSaved != FE_TONEAREST)
            std::fesetround(FSaved);
    }
    TNearestRounding(const TNearestRounding&) = delete;
    TNearestRounding& operator=(const TNearestRounding&) = delete;

private:
    int FSaved;
};

void ConvertNearSingleAtLevel(const Ipp32f* ASrc, Ipp32s* ADst, int32_t ALen, float AFactor) {
#ifdef SONVERA_X86_KERNELS
    if (ActiveKernelLevel() >= klAvx2)
        return ConvertNearSingleAvx2(ASrc, ADst, ALen, AFactor);
#endif
    RunAtKernelLevel([=]<TKernelLevel>() { ConvertNearSingle(ASrc, ADst, ALen, AFactor); });
}

void ConvertFloat32s(const Ipp32f* ASrc, Ipp32s* ADst, int32_t ALen, IppRoundMode AMode,
                     int32_t AScaleFactor) {
    const double factor = std::ldexp(1.0, -std::clamp(AScaleFactor, -300, 300));
    if (AMode == ippRndNear) {
        const TNearestRounding nearest;
        if (AScaleFactor >= KSingleScaleLow && AScaleFactor <= KSingleScaleHigh) {
            ConvertNearSingleAtLevel(ASrc, ADst, ALen, std::ldexp(1.0f, -AScaleFactor));
        } else {
            RunAtKernelLevel(
                [=]<TKernelLevel>() { ConvertLoop(ASrc, ADst, ALen, factor, TRoundNear{}); });
        }
    } else if (AMode == ippRndZero) {
        RunAtKernelLevel(
            [=]<TKernelLevel>() { ConvertLoop(ASrc, ADst, ALen, factor, TRoundZero{}); });
    } else {
        RunAtKernelLevel(
            [=]<TKernelLevel>() { ConvertLoop(ASrc, ADst, ALen, factor, TRoundFinancial{}); });
    }
}

// Byte offset of row ARow from a row step that may be negative (bottom-up images).
inline std::ptrdiff_t RowOffset(int32_t ARow, int32_t AStep) {
    return static_cast<std::ptrdiff_t>(ARow) * AStep;
}

// ---- Portable implementations. Each checks null pointers (-8), then sizes (-6), then
// anything else it names, and writes nothing when it fails.

// Copies len bytes; overlapping vectors are copied as if through a temporary.
IppStatus PortableCopy_8u(const Ipp8u* pSrc, Ipp8u* pDst, int32_t len) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    std::memmove(pDst, pSrc, static_cast<size_t>(len));
    return ippStsNoErr;
}

// Sets len elements to zero.
template <class T> IppStatus PortableZero(T* pDst, int32_t len) {
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    std::memset(pDst, 0, static_cast<size_t>(len) * sizeof(T));
    return ippStsNoErr;
}

IppStatus PortableZero_8u(Ipp8u* pDst, int32_t len) {
    return PortableZero(pDst, len);
}
IppStatus PortableZero_16s(Ipp16s* pDst, int32_t len) {
    return PortableZero(pDst, len);
}
IppStatus PortableZero_32s(Ipp32s* pDst, int32_t len) {
    return PortableZero(pDst, len);
}

// Sets len bytes to val.
IppStatus PortableSet_8u(Ipp8u val, Ipp8u* pDst, int32_t len) {
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    std::memset(pDst, val, static_cast<size_t>(len));
    return ippStsNoErr;
}

void Fill32s(Ipp32s AVal, Ipp32s* ADst, int32_t ALen) {
    RunAtKernelLevel([=]<TKernelLevel>() { std::fill_n(ADst, ALen, AVal); });
}

// Sets len 32-bit elements to val.
IppStatus PortableSet_32s(Ipp32s val, Ipp32s* pDst, int32_t len) {
    if (pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    Fill32s(val, pDst, len);
    return ippStsNoErr;
}

// Copies a region of roiSize.cx 32-bit elements by roiSize.cy rows; steps are in bytes and
// are not checked (a negative step walks upwards, as in a bottom-up image). A region whose
// rows are contiguous on both sides is copied in one block.
IppStatus PortableCopy_32s_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                               IppiSize roiSize) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (roiSize.cx < 1 || roiSize.cy < 1)
        return ippStsSizeErr;
    const int64_t rowBytes = int64_t{roiSize.cx} * int64_t{sizeof(Ipp32s)};
    // Contiguous rows: the row length equals a 32-bit step here, so the total fits 64 bits.
    if (srcStep == rowBytes && dstStep == rowBytes) {
        std::memmove(pDst, pSrc, static_cast<size_t>(rowBytes * roiSize.cy));
        return ippStsNoErr;
    }
    const auto* src = reinterpret_cast<const Ipp8u*>(pSrc);
    auto* dst = reinterpret_cast<Ipp8u*>(pDst);
    for (int32_t row = 0; row < roiSize.cy; ++row)
        std::memmove(dst + RowOffset(row, dstStep), src + RowOffset(row, srcStep),
                     static_cast<size_t>(rowBytes));
    return ippStsNoErr;
}

template <void (*AKernel)(const Ipp32s*, Ipp32s, Ipp32s*, int32_t, int32_t)>
IppStatus ConstantPrimitive(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t len,
                            int32_t scaleFactor) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    AKernel(pSrc, val, pDst, len, scaleFactor);
    return ippStsNoErr;
}

template <void (*AKernel)(const Ipp32s*, Ipp32s, Ipp32s*, int32_t, int32_t)>
IppStatus InPlaceConstantPrimitive(Ipp32s val, Ipp32s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return ConstantPrimitive<AKernel>(pSrcDst, val, pSrcDst, len, scaleFactor);
}

// dst = saturate(round((src + val) × 2^-scaleFactor)), computed exactly in 64 bits.
IppStatus PortableAddC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t len,
                               int32_t scaleFactor) {
    return ConstantPrimitive<AddConstant32s>(pSrc, val, pDst, len, scaleFactor);
}
IppStatus PortableAddC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return InPlaceConstantPrimitive<AddConstant32s>(val, pSrcDst, len, scaleFactor);
}

// dst = saturate(round((src - val) × 2^-scaleFactor)), computed exactly in 64 bits.
IppStatus PortableSubC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t len,
                               int32_t scaleFactor) {
    return ConstantPrimitive<SubConstant32s>(pSrc, val, pDst, len, scaleFactor);
}
IppStatus PortableSubC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return InPlaceConstantPrimitive<SubConstant32s>(val, pSrcDst, len, scaleFactor);
}

// dst = saturate(round(src × val × 2^-scaleFactor)), the product exact in 64 bits.
IppStatus PortableMulC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t len,
                               int32_t scaleFactor) {
    return ConstantPrimitive<MulConstant32s>(pSrc, val, pDst, len, scaleFactor);
}
IppStatus PortableMulC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return InPlaceConstantPrimitive<MulConstant32s>(val, pSrcDst, len, scaleFactor);
}

// dst = saturate(round(src × 2^-scaleFactor)) with the requested rounding: ippRndZero
// truncates, ippRndNear rounds ties to even, ippRndFinancial rounds ties away from zero.
// NaN gives 0; infinities saturate. Any other round mode is refused.
IppStatus PortableConvert_32f32s_Sfs(const Ipp32f* pSrc, Ipp32s* pDst, int32_t len,
                                     IppRoundMode rndMode, int32_t scaleFactor) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (rndMode != ippRndZero && rndMode != ippRndNear && rndMode != ippRndFinancial)
        return ippStsRoundModeNotSupportedErr;
    ConvertFloat32s(pSrc, pDst, len, rndMode, scaleFactor);
    return ippStsNoErr;
}

template <class TSlot> void BindSlot(TSlot& ASlot, void* AVendorFunction) {
    if (AVendorFunction != nullptr)
        ASlot = reinterpret_cast<TSlot>(AVendorFunction);
}

void BindSlots() {
    BindSlot(ippsCopy_8u, GetIPPSProcAddress("ippsCopy_8u"));
    BindSlot(ippsZero_8u, GetIPPSProcAddress("ippsZero_8u"));
    BindSlot(ippsZero_16s, GetIPPSProcAddress("ippsZero_16s"));
    BindSlot(ippsZero_32s, GetIPPSProcAddress("ippsZero_32s"));
    BindSlot(ippsSet_8u, GetIPPSProcAddress("ippsSet_8u"));
    BindSlot(ippsSet_32s, GetIPPSProcAddress("ippsSet_32s"));
    BindSlot(ippiCopy_32s_C1R, GetIPPIProcAddress("ippiCopy_32s_C1R"));
    BindSlot(ippsAddC_32s_ISfs, GetIPPSProcAddress("ippsAddC_32s_ISfs"));
    BindSlot(ippsAddC_32s_Sfs, GetIPPSProcAddress("ippsAddC_32s_Sfs"));
    BindSlot(ippsSubC_32s_ISfs, GetIPPSProcAddress("ippsSubC_32s_ISfs"));
    BindSlot(ippsSubC_32s_Sfs, GetIPPSProcAddress("ippsSubC_32s_Sfs"));
    BindSlot(ippsMulC_32s_ISfs, GetIPPSProcAddress("ippsMulC_32s_ISfs"));
    BindSlot(ippsMulC_32s_Sfs, GetIPPSProcAddress("ippsMulC_32s_Sfs"));
    BindSlot(ippsConvert_32f32s_Sfs, GetIPPSProcAddress("ippsConvert_32f32s_Sfs"));
}

constinit TUnitInitCounter GQXBasicDispatcherCounter;

} // namespace

// The slots start on the portable code (constant initialisation, so they are usable from any
// unit's start-up whatever the order of static initialisation); start-up rebinds each to the
// vendor function of the same name when the vendor library supplies it.
TPtr_ippsCopy_8u ippsCopy_8u = PortableCopy_8u;
TPtr_ippsZero_8u ippsZero_8u = PortableZero_8u;
TPtr_ippsZero_16s ippsZero_16s = PortableZero_16s;
TPtr_ippsZero_32s ippsZero_32s = PortableZero_32s;
TPtr_ippsSet_8u ippsSet_8u = PortableSet_8u;
TPtr_ippsSet_32s ippsSet_32s = PortableSet_32s;
TPtr_ippiCopy_32s_C1R ippiCopy_32s_C1R = PortableCopy_32s_C1R;
TPtr_ippsAddC_32s_ISfs ippsAddC_32s_ISfs = PortableAddC_32s_ISfs;
TPtr_ippsAddC_32s_Sfs ippsAddC_32s_Sfs = PortableAddC_32s_Sfs;
TPtr_ippsSubC_32s_ISfs ippsSubC_32s_ISfs = PortableSubC_32s_ISfs;
TPtr_ippsSubC_32s_Sfs ippsSubC_32s_Sfs = PortableSubC_32s_Sfs;
TPtr_ippsMulC_32s_ISfs ippsMulC_32s_ISfs = PortableMulC_32s_ISfs;
TPtr_ippsMulC_32s_Sfs ippsMulC_32s_Sfs = PortableMulC_32s_Sfs;
TPtr_ippsConvert_32f32s_Sfs ippsConvert_32f32s_Sfs = PortableConvert_32f32s_Sfs;

// dst = saturate(round(src × 2^-scaleFactor / val)), rounded to nearest with ties to even on
// the exact quotient (so INT32_MIN / -1 saturates to INT32_MAX); val = 0 is refused with -10.
IppStatus ippsDivC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t len,
                           int32_t scaleFactor) {
    if (pSrc == nullptr || pDst == nullptr)
        return ippStsNullPtrErr;
    if (len < 1)
        return ippStsSizeErr;
    if (val == 0)
        return ippStsDivByZeroErr;
    DivConstant32s(pSrc, val, pDst, len, scaleFactor);
    return ippStsNoErr;
}

IppStatus ippsDivC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int32_t len, int32_t scaleFactor) {
    return ippsDivC_32s_Sfs(pSrcDst, val, pSrcDst, len, scaleFactor);
}

void InitializeQXBasicDispatcher() {
    GQXBasicDispatcherCounter.Initialize(BindSlots);
}

// The slots stay bound: units finalised later may still call a primitive.
void FinalizeQXBasicDispatcher() {
    GQXBasicDispatcherCounter.Finalize([] {});
}

} // namespace sonvera
