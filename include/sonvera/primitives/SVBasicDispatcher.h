// The library's table of vectorised primitives. Each slot is a global function pointer named
// after the vendor primitive it stands for and typed with that primitive's published
// prototype; start-up binds it to the vendor library when that library supplies the name and
// to this unit's portable implementation otherwise. Callers never ask which one they got: the
// portable code returns the same statuses and writes the same bytes.
//
// Statuses: 0 success, 6 a divisor was zero (results still written), -6 a length, width or
// height below 1, -8 a required pointer is null, -10 division by a zero constant, -14 a row
// step below 1. A negative status means nothing was written.
#pragma once

#include <cstdint>
#include <vector>

#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera {

// Argument shapes shared by several slots (T is the element type of the name).
template <class T>
using TIppiBinaryInPlaceSfs = IppStatus (*)(const T* pSrc, int32_t srcStep, T* pSrcDst,
                                            int32_t srcDstStep, IppiSize roiSize,
                                            int32_t scaleFactor);
template <class T>
using TIppsConstInPlaceSfs = IppStatus (*)(T val, T* pSrcDst, int32_t len, int32_t scaleFactor);
template <class T>
using TIppsConstSfs = IppStatus (*)(const T* pSrc, T val, T* pDst, int32_t len,
                                    int32_t scaleFactor);
template <class T>
using TIppiConstInPlaceSfs = IppStatus (*)(T val, T* pSrcDst, int32_t srcDstStep, IppiSize roiSize,
                                           int32_t scaleFactor);
template <class T>
using TIppiConstSfs = IppStatus (*)(const T* pSrc, int32_t srcStep, T val, T* pDst, int32_t dstStep,
                                    IppiSize roiSize, int32_t scaleFactor);
template <class T>
using TIppiSet = IppStatus (*)(T val, T* pDst, int32_t dstStep, IppiSize roiSize);
template <class TSrc, class TDst>
using TIppiCopy = IppStatus (*)(const TSrc* pSrc, int32_t srcStep, TDst* pDst, int32_t dstStep,
                                IppiSize roiSize);
template <class TSrc, class TDst>
using TIppiScaleHint = IppStatus (*)(const TSrc* pSrc, int32_t srcStep, TDst* pDst, int32_t dstStep,
                                     IppiSize roiSize, IppHintAlgorithm hint);

using TPtr_ippiAdd_8u_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp8u>;
using TPtr_ippiAdd_16s_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp16s>;
using TPtr_ippiSub_8u_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp8u>;
using TPtr_ippiSub_16s_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp16s>;
using TPtr_ippiMul_8u_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp8u>;
using TPtr_ippiMul_16s_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp16s>;
using TPtr_ippiDiv_8u_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp8u>;
using TPtr_ippiDiv_16s_C1IRSfs = TIppiBinaryInPlaceSfs<Ipp16s>;
using TPtr_ippsDivC_16s_ISfs = TIppsConstInPlaceSfs<Ipp16s>;
using TPtr_ippsDivC_16s_Sfs = TIppsConstSfs<Ipp16s>;
using TPtr_ippsSet_16s = IppStatus (*)(Ipp16s val, Ipp16s* pDst, int32_t len);
using TPtr_ippsConvert_8s16s = IppStatus (*)(const Ipp8s* pSrc, Ipp16s* pDst, int32_t len);
using TPtr_ippiScale_16u8u_C1R = TIppiScaleHint<Ipp16u, Ipp8u>;
using TPtr_ippiSet_8u_C1R = TIppiSet<Ipp8u>;
using TPtr_ippiSet_16s_C1R = TIppiSet<Ipp16s>;
using TPtr_ippiSet_32s_C1R = TIppiSet<Ipp32s>;
using TPtr_ippsAddC_8u_ISfs = TIppsConstInPlaceSfs<Ipp8u>;
using TPtr_ippsAddC_8u_Sfs = TIppsConstSfs<Ipp8u>;
using TPtr_ippsAddC_16s_ISfs = TIppsConstInPlaceSfs<Ipp16s>;
using TPtr_ippsAddC_16s_Sfs = TIppsConstSfs<Ipp16s>;
using TPtr_ippiAddC_8u_C1IRSfs = TIppiConstInPlaceSfs<Ipp8u>;
using TPtr_ippiAddC_8u_C1RSfs = TIppiConstSfs<Ipp8u>;
using TPtr_ippiAddC_16s_C1IRSfs = TIppiConstInPlaceSfs<Ipp16s>;
using TPtr_ippiAddC_16s_C1RSfs = TIppiConstSfs<Ipp16s>;
using TPtr_ippsSubC_8u_ISfs = TIppsConstInPlaceSfs<Ipp8u>;
using TPtr_ippsSubC_8u_Sfs = TIppsConstSfs<Ipp8u>;
using TPtr_ippsSubC_16s_ISfs = TIppsConstInPlaceSfs<Ipp16s>;
using TPtr_ippsSubC_16s_Sfs = TIppsConstSfs<Ipp16s>;
using TPtr_ippiSubC_8u_C1IRSfs = TIppiConstInPlaceSfs<Ipp8u>;
using TPtr_ippiSubC_8u_C1RSfs = TIppiConstSfs<Ipp8u>;
using TPtr_ippiSubC_16s_C1IRSfs = TIppiConstInPlaceSfs<Ipp16s>;
using TPtr_ippiSubC_16s_C1RSfs = TIppiConstSfs<Ipp16s>;
using TPtr_ippsMulC_8u_ISfs = TIppsConstInPlaceSfs<Ipp8u>;
using TPtr_ippsMulC_8u_Sfs = TIppsConstSfs<Ipp8u>;
using TPtr_ippsMulC_16s_ISfs = TIppsConstInPlaceSfs<Ipp16s>;
using TPtr_ippsMulC_16s_Sfs = TIppsConstSfs<Ipp16s>;
using TPtr_ippiMulC_8u_C1IRSfs = TIppiConstInPlaceSfs<Ipp8u>;
using TPtr_ippiMulC_8u_C1RSfs = TIppiConstSfs<Ipp8u>;
using TPtr_ippiMulC_16s_C1IRSfs = TIppiConstInPlaceSfs<Ipp16s>;
using TPtr_ippiMulC_16s_C1RSfs = TIppiConstSfs<Ipp16s>;
using TPtr_ippsDivC_8u_ISfs = TIppsConstInPlaceSfs<Ipp8u>;
using TPtr_ippsDivC_8u_Sfs = TIppsConstSfs<Ipp8u>;
using TPtr_ippiDivC_8u_C1IRSfs = TIppiConstInPlaceSfs<Ipp8u>;
using TPtr_ippiDivC_8u_C1RSfs = TIppiConstSfs<Ipp8u>;
using TPtr_ippiDivC_16s_C1IRSfs = TIppiConstInPlaceSfs<Ipp16s>;
using TPtr_ippiDivC_16s_C1RSfs = TIppiConstSfs<Ipp16s>;
using TPtr_ippiCopy_8u_C1R = TIppiCopy<Ipp8u, Ipp8u>;
using TPtr_ippiCopy_16s_C1R = TIppiCopy<Ipp16s, Ipp16s>;
using TPtr_ippiConvert_8u32f_C1R = TIppiCopy<Ipp8u, Ipp32f>;
using TPtr_ippiConvert_32f8u_C1R = IppStatus (*)(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst,
                                                 int32_t dstStep, IppiSize roiSize,
                                                 IppRoundMode roundMode);
using TPtr_ippiScale_8u16s_C1R = TIppiCopy<Ipp8u, Ipp16s>;
using TPtr_ippiScale_8u32s_C1R = TIppiCopy<Ipp8u, Ipp32s>;
using TPtr_ippiScale_16s8u_C1R = TIppiScaleHint<Ipp16s, Ipp8u>;
using TPtr_ippiScale_32s8u_C1R = TIppiScaleHint<Ipp32s, Ipp8u>;

// The slots, in binding order. Never null, not even before start-up: until bound they hold
// the portable implementation.
extern TPtr_ippiAdd_8u_C1IRSfs ippiAdd_8u_C1IRSfs;
extern TPtr_ippiAdd_16s_C1IRSfs ippiAdd_16s_C1IRSfs;
extern TPtr_ippiSub_8u_C1IRSfs ippiSub_8u_C1IRSfs;
extern TPtr_ippiSub_16s_C1IRSfs ippiSub_16s_C1IRSfs;
extern TPtr_ippiMul_8u_C1IRSfs ippiMul_8u_C1IRSfs;
extern TPtr_ippiMul_16s_C1IRSfs ippiMul_16s_C1IRSfs;
extern TPtr_ippiDiv_8u_C1IRSfs ippiDiv_8u_C1IRSfs;
extern TPtr_ippiDiv_16s_C1IRSfs ippiDiv_16s_C1IRSfs;
extern TPtr_ippsDivC_16s_ISfs ippsDivC_16s_ISfs;
extern TPtr_ippsDivC_16s_Sfs ippsDivC_16s_Sfs;
extern TPtr_ippsSet_16s ippsSet_16s;
extern TPtr_ippsConvert_8s16s ippsConvert_8s16s;
extern TPtr_ippiScale_16u8u_C1R ippiScale_16u8u_C1R;
extern TPtr_ippiSet_8u_C1R ippiSet_8u_C1R;
extern TPtr_ippiSet_16s_C1R ippiSet_16s_C1R;
extern TPtr_ippiSet_32s_C1R ippiSet_32s_C1R;
extern TPtr_ippsAddC_8u_ISfs ippsAddC_8u_ISfs;
extern TPtr_ippsAddC_8u_Sfs ippsAddC_8u_Sfs;
extern TPtr_ippsAddC_16s_ISfs ippsAddC_16s_ISfs;
extern TPtr_ippsAddC_16s_Sfs ippsAddC_16s_Sfs;
extern TPtr_ippiAddC_8u_C1IRSfs ippiAddC_8u_C1IRSfs;
extern TPtr_ippiAddC_8u_C1RSfs ippiAddC_8u_C1RSfs;
extern TPtr_ippiAddC_16s_C1IRSfs ippiAddC_16s_C1IRSfs;
extern TPtr_ippiAddC_16s_C1RSfs ippiAddC_16s_C1RSfs;
extern TPtr_ippsSubC_8u_ISfs ippsSubC_8u_ISfs;
extern TPtr_ippsSubC_8u_Sfs ippsSubC_8u_Sfs;
extern TPtr_ippsSubC_16s_ISfs ippsSubC_16s_ISfs;
extern TPtr_ippsSubC_16s_Sfs ippsSubC_16s_Sfs;
extern TPtr_ippiSubC_8u_C1IRSfs ippiSubC_8u_C1IRSfs;
extern TPtr_ippiSubC_8u_C1RSfs ippiSubC_8u_C1RSfs;
extern TPtr_ippiSubC_16s_C1IRSfs ippiSubC_16s_C1IRSfs;
extern TPtr_ippiSubC_16s_C1RSfs ippiSubC_16s_C1RSfs;
extern TPtr_ippsMulC_8u_ISfs ippsMulC_8u_ISfs;
extern TPtr_ippsMulC_8u_Sfs ippsMulC_8u_Sfs;
extern TPtr_ippsMulC_16s_ISfs ippsMulC_16s_ISfs;
extern TPtr_ippsMulC_16s_Sfs ippsMulC_16s_Sfs;
extern TPtr_ippiMulC_8u_C1IRSfs ippiMulC_8u_C1IRSfs;
extern TPtr_ippiMulC_8u_C1RSfs ippiMulC_8u_C1RSfs;
extern TPtr_ippiMulC_16s_C1IRSfs ippiMulC_16s_C1IRSfs;
extern TPtr_ippiMulC_16s_C1RSfs ippiMulC_16s_C1RSfs;
extern TPtr_ippsDivC_8u_ISfs ippsDivC_8u_ISfs;
extern TPtr_ippsDivC_8u_Sfs ippsDivC_8u_Sfs;
extern TPtr_ippiDivC_8u_C1IRSfs ippiDivC_8u_C1IRSfs;
extern TPtr_ippiDivC_8u_C1RSfs ippiDivC_8u_C1RSfs;
extern TPtr_ippiDivC_16s_C1IRSfs ippiDivC_16s_C1IRSfs;
extern TPtr_ippiDivC_16s_C1RSfs ippiDivC_16s_C1RSfs;
extern TPtr_ippiCopy_8u_C1R ippiCopy_8u_C1R;
extern TPtr_ippiCopy_16s_C1R ippiCopy_16s_C1R;
extern TPtr_ippiConvert_8u32f_C1R ippiConvert_8u32f_C1R;
extern TPtr_ippiConvert_32f8u_C1R ippiConvert_32f8u_C1R;
extern TPtr_ippiScale_8u16s_C1R ippiScale_8u16s_C1R;
extern TPtr_ippiScale_8u32s_C1R ippiScale_8u32s_C1R;
extern TPtr_ippiScale_16s8u_C1R ippiScale_16s8u_C1R;
extern TPtr_ippiScale_32s8u_C1R ippiScale_32s8u_C1R;

// 32-byte-aligned allocation, suited to the vendor library's widest vector loads. A size
// below 1, or an allocation failure, gives null; _ippFree ignores null.
void* _ippMalloc(int32_t len);
void _ippFree(void* ptr);

// dst = src * 256 (the byte moves to the high byte; 255 becomes 65280). Always this library's
// own code; checks nothing and always returns 0; an empty region or a null pointer writes
// nothing.
IppStatus ippiScale_8u16u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                              IppiSize roiSize);

// Where a slot's name is looked up: the vendor's signal (ipps) or image (ippi) library.
enum TSVPrimitiveFamily : uint8_t { pfSignal, pfImage };

// One slot as the `sonvera info` tool lists it.
struct TSVDispatchSlotInfo {
    const char* Name;
    TSVPrimitiveFamily Family;
    const void* Bound;    // the function the slot holds now
    const void* Portable; // this unit's implementation of the name
    bool IsVendor() const { return Bound != Portable; }
};

// The slots in binding order, with what each holds at the time of the call.
std::vector<TSVDispatchSlotInfo> SVDispatchSlots();

// Binds every slot, in table order: the vendor function of the slot's name where the vendor
// library supplies it, the portable implementation otherwise. Runs before every unit that
// calls a primitive; a repeated call only counts. Finalization only counts back: slots are
// never unbound.
void InitializeSVBasicDispatcher();
void FinalizeSVBasicDispatcher();

} // namespace sonvera
