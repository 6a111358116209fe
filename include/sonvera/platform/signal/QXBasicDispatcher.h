// The signal package's own primitive table: 32-bit and byte primitives with the vendor
// library's semantics for these names, bound at start-up to the vendor library when it is
// installed and to portable code otherwise. The two 32-bit divides are plain functions.
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

extern TPtr_ippsCopy_8u ippsCopy_8u;
extern TPtr_ippsZero_8u ippsZero_8u;
extern TPtr_ippsZero_16s ippsZero_16s;
extern TPtr_ippsZero_32s ippsZero_32s;
extern TPtr_ippsSet_8u ippsSet_8u;
extern TPtr_ippsSet_32s ippsSet_32s;
extern TPtr_ippiCopy_32s_C1R ippiCopy_32s_C1R;
extern TPtr_ippsAddC_32s_ISfs ippsAddC_32s_ISfs;
extern TPtr_ippsAddC_32s_Sfs ippsAddC_32s_Sfs;
extern TPtr_ippsSubC_32s_ISfs ippsSubC_32s_ISfs;
extern TPtr_ippsSubC_32s_Sfs ippsSubC_32s_Sfs;
extern TPtr_ippsMulC_32s_ISfs ippsMulC_32s_ISfs;
extern TPtr_ippsMulC_32s_Sfs ippsMulC_32s_Sfs;
extern TPtr_ippsConvert_32f32s_Sfs ippsConvert_32f32s_Sfs;

IppStatus ippsDivC_32s_ISfs(Ipp32s val, Ipp32s* pSrcDst, int32_t len, int32_t scaleFactor);
IppStatus ippsDivC_32s_Sfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t len,
                           int32_t scaleFactor);

// Binds the slots; runs once at library start-up, before any unit that calls a primitive.
void InitializeQXBasicDispatcher();
void FinalizeQXBasicDispatcher();

} // namespace sonvera
