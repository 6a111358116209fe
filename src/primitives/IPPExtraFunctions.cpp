// Arithmetic, fill, copy and element access of the extra primitives. The width and float
// conversions live in IPPExtraConversions.cpp, the run walkers in PrimitiveWalkers.h.
#include "sonvera/primitives/IPPExtraFunctions.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "primitives/PrimitiveArithmetic.h"
#include "primitives/PrimitiveWalkers.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera {

using runs::Combine;
using runs::CountOf;
using runs::Map;
using runs::TByte;
using runs::TInt24;
using runs::TInt32;
using runs::TruncDiv;
using runs::WrapAdd;
using runs::WrapDiv;
using runs::WrapMul;
using runs::WrapSub;

namespace {

constexpr int32_t KSilence8 = TSVSampleTraits<8>::KBiasedZero;

// ---- Biased 8-bit element operations (values 0..255; the store keeps the low 8 bits) -------

constexpr auto Add8 = [](int32_t ADest, int32_t ASource) { return ADest + (ASource - KSilence8); };
constexpr auto Sub8 = [](int32_t ADest, int32_t ASource) { return ADest + (KSilence8 - ASource); };
constexpr auto Mul8 = [](int32_t ADest, int32_t ASource) {
    return (ADest - KSilence8) * (ASource - KSilence8) + KSilence8;
};
// A silent divisor gives silence (folded in with a mask, which keeps the loop vectorisable).
// Both operands lie in -127..128, far inside TruncDiv's range.
constexpr auto Div8 = [](int32_t ADest, int32_t ASource) {
    const int32_t divisor = ASource - KSilence8;
    const int32_t zero = -int32_t(divisor == 0);
    const int32_t quotient = TruncDiv(ADest - KSilence8, divisor | (zero & 1));
    return ((quotient + KSilence8) & ~zero) | (KSilence8 & zero);
};

struct TMulC8 {
    int32_t Factor;
    int32_t operator()(int32_t AValue) const {
        return WrapAdd(WrapMul(AValue - KSilence8, Factor), KSilence8);
    }
};

// A zero constant gives silence; otherwise the 8-bit sample is small enough that no quotient
// overflows, whatever the constant.
struct TDivC8 {
    int32_t Divisor;
    int32_t operator()(int32_t AValue) const {
        const int32_t zero = -int32_t(Divisor == 0);
        const int32_t quotient = TruncDiv(AValue - KSilence8, Divisor | (zero & 1));
        return ((quotient + KSilence8) & ~zero) | (KSilence8 & zero);
    }
};

template <class TElem, class TOp>
void CombineRegion(const void* ASource, int32_t ASourceStep, void* ADest, int32_t ADestStep,
                   const IppiSize& ARegion, TOp AOp) {
    Combine<TElem>(ASource, ASourceStep, ADest, ADestStep, CountOf(ARegion.cx, ARegion.cy), AOp);
}

// ---- Element operations by a constant, on 32-bit values (24-bit and 32-bit samples) --------

struct TAddC {
    int32_t Value;
    int32_t operator()(int32_t AValue) const { return WrapAdd(AValue, Value); }
};
struct TSubC {
    int32_t Value;
    int32_t operator()(int32_t AValue) const { return WrapSub(AValue, Value); }
};
struct TMulC {
    int32_t Value;
    int32_t operator()(int32_t AValue) const { return WrapMul(AValue, Value); }
};
struct TDivC {
    int32_t Value;
    int32_t operator()(int32_t AValue) const { return WrapDiv(AValue, Value); }
};

template <class TElem, class TOp>
void MapInPlace(void* AData, int64_t AStep, int64_t ACount, TOp AOp) {
    Map<TElem, TElem>(AData, AStep, AData, AStep, ACount, AOp);
}

template <class TElem, class TOp>
void MapRegion(const void* ASource, void* ADest, int32_t AStep, const IppiSize& ARegion, TOp AOp) {
    Map<TElem, TElem>(ASource, AStep, ADest, AStep, CountOf(ARegion.cx, ARegion.cy), AOp);
}

// ---- Fill helpers ----------------------------------------------------------------------------

// Byte b of a 12-byte group of four packed elements holds byte b mod 3 of the value.
uint32_t GroupWord(const uint8_t* AValueBytes, int AWord) {
    uint32_t word = 0;
    for (int b = 0; b < 4; ++b)
        word |= uint32_t(AValueBytes[(4 * AWord + b) % 3]) << (8 * b);
    return word;
}

} // namespace

// ---- Element-wise, in place ----------------------------------------------------------------

void ippiAdd_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t) {
    CombineRegion<TByte>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, Add8);
}
void ippiSub_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t) {
    CombineRegion<TByte>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, Sub8);
}
void ippiMul_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t) {
    CombineRegion<TByte>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, Mul8);
}
void ippiDiv_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t) {
    CombineRegion<TByte>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, Div8);
}

void ippiAdd_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt24>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapAdd);
}
void ippiSub_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt24>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapSub);
}
void ippiMul_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt24>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapMul);
}
void ippiDiv_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt24>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapDiv);
}

void ippiAdd_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt32>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapAdd);
}
void ippiSub_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt32>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapSub);
}
void ippiMul_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt32>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapMul);
}
void ippiDiv_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t) {
    CombineRegion<TInt32>(pSrc, srcStep, pSrcDst, srcDstStep, roiSize, WrapDiv);
}

// ---- By a constant, in place, contiguous ---------------------------------------------------

void ippsMulC_8s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t) {
    MapInPlace<TByte>(pSrcDst, 1, len, TMulC8{val});
}
void ippsDivC_8s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t) {
    MapInPlace<TByte>(pSrcDst, 1, len, TDivC8{val});
}
void ippsAddC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t) {
    MapInPlace<TInt24>(pSrcDst, 3, len, TAddC{val});
}
void ippsSubC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t) {
    MapInPlace<TInt24>(pSrcDst, 3, len, TSubC{val});
}
void ippsMulC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t) {
    MapInPlace<TInt24>(pSrcDst, 3, len, TMulC{val});
}
void ippsDivC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t) {
    MapInPlace<TInt24>(pSrcDst, 3, len, TDivC{val});
}

// ---- By a constant, in place, strided ------------------------------------------------------

void ippiMulC_8s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                         int32_t) {
    MapRegion<TByte>(pSrcDst, pSrcDst, srcDstStep, roiSize, TMulC8{val});
}
void ippiDivC_8s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                         int32_t) {
    MapRegion<TByte>(pSrcDst, pSrcDst, srcDstStep, roiSize, TDivC8{val});
}
void ippiAddC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt24>(pSrcDst, pSrcDst, srcDstStep, roiSize, TAddC{val});
}
void ippiSubC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt24>(pSrcDst, pSrcDst, srcDstStep, roiSize, TSubC{val});
}
void ippiMulC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt24>(pSrcDst, pSrcDst, srcDstStep, roiSize, TMulC{val});
}
void ippiDivC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt24>(pSrcDst, pSrcDst, srcDstStep, roiSize, TDivC{val});
}
void ippiAddC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt32>(pSrcDst, pSrcDst, srcDstStep, roiSize, TAddC{val});
}
void ippiSubC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt32>(pSrcDst, pSrcDst, srcDstStep, roiSize, TSubC{val});
}
void ippiMulC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt32>(pSrcDst, pSrcDst, srcDstStep, roiSize, TMulC{val});
}
void ippiDivC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t) {
    MapRegion<TInt32>(pSrcDst, pSrcDst, srcDstStep, roiSize, TDivC{val});
}

// ---- By a constant into a destination ------------------------------------------------------

void ippsAddC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t) {
    Map<TInt24, TInt24>(pSrc, 3, pDst, 3, len, TAddC{val});
}
void ippsSubC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t) {
    Map<TInt24, TInt24>(pSrc, 3, pDst, 3, len, TSubC{val});
}
void ippsMulC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t) {
    Map<TInt24, TInt24>(pSrc, 3, pDst, 3, len, TMulC{val});
}
void ippsDivC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t) {
    Map<TInt24, TInt24>(pSrc, 3, pDst, 3, len, TDivC{val});
}
void ippiAddC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt24>(pSrc, pDst, step, roiSize, TAddC{val});
}
void ippiSubC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt24>(pSrc, pDst, step, roiSize, TSubC{val});
}
void ippiMulC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt24>(pSrc, pDst, step, roiSize, TMulC{val});
}
void ippiDivC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt24>(pSrc, pDst, step, roiSize, TDivC{val});
}
void ippiAddC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt32>(pSrc, pDst, step, roiSize, TAddC{val});
}
void ippiSubC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt32>(pSrc, pDst, step, roiSize, TSubC{val});
}
void ippiMulC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt32>(pSrc, pDst, step, roiSize, TMulC{val});
}
void ippiDivC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t) {
    MapRegion<TInt32>(pSrc, pDst, step, roiSize, TDivC{val});
}

// ---- Fill and copy -------------------------------------------------------------------------

void ippsZero_24s(Ipp8u* pDst, int32_t len) {
    // len * 3 can pass the 32-bit length of the byte primitive: zero in pieces.
    int64_t remaining = int64_t(len) * 3;
    while (remaining > 0) {
        const int32_t piece = int32_t(std::min<int64_t>(remaining, INT32_MAX));
        ippsZero_8u(pDst, piece);
        pDst += piece;
        remaining -= piece;
    }
}

void ippsSet_24s(Ipp32s val, Ipp8u* pDst, int32_t len) {
    if (len < 1)
        return;
    const uint8_t bytes[3] = {uint8_t(val), uint8_t(val >> 8), uint8_t(val >> 16)};
    const int32_t groups = len / 4;
    if (groups > 0) {
        for (int word = 0; word < 3; ++word)
            ippiSet_32u_C1R(GroupWord(bytes, word), reinterpret_cast<Ipp32u*>(pDst + 4 * word), 12,
                            IppiSize{1, groups});
    }
    Ipp8u* tail = pDst + int64_t(groups) * 12;
    for (int32_t i = 0; i < len % 4; ++i)
        std::memcpy(tail + 3 * i, bytes, 3);
}

void ippiSet_24s_C1R(Ipp32s val, Ipp8u* pDst, int32_t dstStep, const IppiSize& roiSize) {
    runs::Fill<TInt24>(pDst, dstStep, CountOf(roiSize.cx, roiSize.cy), val);
}

void ippiSet_32u_C1R(Ipp32u val, Ipp32u* pDst, int32_t dstStep, const IppiSize& roiSize) {
    ippiSet_32s_C1R(static_cast<Ipp32s>(val), reinterpret_cast<Ipp32s*>(pDst), dstStep, roiSize);
}

IppStatus ippiCopy_24s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                           IppiSize roiSize) {
    ippiCopy_16s_C1R(reinterpret_cast<const Ipp16s*>(pSrc), srcStep,
                     reinterpret_cast<Ipp16s*>(pDst), dstStep, roiSize);
    ippiCopy_8u_C1R(pSrc + 2, srcStep, pDst + 2, dstStep, roiSize);
    return ippStsNoErr;
}

// ---- Single packed elements ----------------------------------------------------------------

int32_t Convert24BitTo32Bit(const Ipp8u* ASource) {
    return TSVSampleTraits<24>::Load(ASource);
}

void Convert32BitTo24Bit(int32_t AValue, Ipp8u* ADest) {
    runs::Store24(ADest, AValue);
}

} // namespace sonvera
