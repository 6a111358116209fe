// The signal package's own primitive table: 32-bit and byte primitives with the vendor
// library's semantics for these names, bound at start-up to the vendor library when it is
// installed and to portable code otherwise. The two 32-bit divides are plain functions.
//
// Every primitive returns ippStsNullPtrErr for a null pointer, then ippStsSizeErr for a length,
// width or height below 1, and writes nothing when it fails. The Sfs forms compute the exact
// result, multiply it by 2^-scaleFactor, round to nearest with ties to even and saturate to
// the 32-bit range.
#pragma once

#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera {

using TPtr_ippsCopy_8u = IppStatus (*)(const Ipp8u* pSrc, Ipp8u* pDst, int32_t len);
using TPtr_ippsZero_8u = IppStatus (*)(Ipp8u* pDst, int32_t len);
using TPtr_ippsZero_16s = IppStatus (*)(Ipp16s* pDst, int32_t len);
using TPtr_ippsZero_32s = IppStatus (*)(Ipp32s* pDst, int32_t len);
using TPtr_ippsSet_8u = IppStatus (*)(Ipp8u val, Ipp8u* pDst, int32_t len);
using TPtr_ippsSet_32s = IppStatus (*)(Ipp32s val, Ipp32s* pDst, int32_t len);
using TPtr_ippiCopy_32s_C1R = IppStatus (*)(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pDst,
                                            int32_t dstStep, IppiSize roiSize);
using TPtr_ippsAddC_32s_ISfs = IppStatus (*)(Ipp32s val, Ipp32s* pSrcDst, int32_t len,
                                             int32_t scaleFactor);
using TPtr_ippsAddC_32s_Sfs = IppStatus (*)(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst,
                                            int32_t len, int32_t scaleFactor);
using TPtr_ippsSubC_32s_ISfs = TPtr_ippsAddC_32s_ISfs;
using TPtr_ippsSubC_32s_Sfs = TPtr_ippsAddC_32s_Sfs;
using TPtr_ippsMulC_32s_ISfs = TPtr_ippsAddC_32s_ISfs;
using TPtr_ippsMulC_32s_Sfs = TPtr_ippsAddC_32s_Sfs;
using TPtr_ippsConvert_32f32s_Sfs = IppStatus (*)(const Ipp32f* pSrc, Ipp32s* pDst, int32_t len,
                                                  IppRoundMode rndMode, int32_t scaleFactor);

// The slots hold the portable code from the start (constant initialisation) and are rebound to
// the vendor library's functions at start-up; they are never unbound.

// Copies len bytes (overlapping vectors as if through a temporary).
extern TPtr_ippsCopy_8u ippsCopy_8u;
// Set len elements to zero.
extern TPtr_ippsZero_8u ippsZero_8u;
extern TPtr_ippsZero_16s ippsZero_16s;
extern TPtr_ippsZero_32s ippsZero_32s;
// Set len elements to val.
extern TPtr_ippsSet_8u ippsSet_8u;
extern TPtr_ippsSet_32s ippsSet_32s;
// Copies a region of 32-bit elements row by row; steps are in bytes and are not checked.
extern TPtr_ippiCopy_32s_C1R ippiCopy_32s_C1R;
// x + val, x - val and x × val with scaling, in place (I) or into pDst.
extern TPtr_ippsAddC_32s_ISfs ippsAddC_32s_ISfs;
extern TPtr_ippsAddC_32s_Sfs ippsAddC_32s_Sfs;
extern TPtr_ippsSubC_32s_ISfs ippsSubC_32s_ISfs;
extern TPtr_ippsSubC_32s_Sfs ippsSubC_32s_Sfs;
extern TPtr_ippsMulC_32s_ISfs ippsMulC_32s_ISfs;
extern TPtr_ippsMulC_32s_Sfs ippsMulC_32s_Sfs;
// x × 2^-scaleFactor rounded by rndMode (ippRndZero truncates, ippRndNear rounds ties to even,
// ippRndFinancial rounds ties away from zero) and saturated; NaN gives 0. Any other round mode
// returns the vendor's "round mode not supported" status, -213.
extern TPtr_ippsConvert_32f32s_Sfs ippsConvert_32f32s_Sfs;

// x / val with scaling, the exact quotient rounded; val = 0 returns ippStsDivByZeroErr.
IppStatus ippsDivC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int32_t len, int32_t scaleFactor);
IppStatus ippsDivC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t len,
                           int32_t scaleFactor);

// Binds the slots to the vendor library where it supplies them; runs once at library start-up,
// after the runtime and before any unit that calls a primitive. Finalize only counts.
void InitializeQXBasicDispatcher();
void FinalizeQXBasicDispatcher();

} // namespace sonvera
