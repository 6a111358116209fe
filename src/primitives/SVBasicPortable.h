// The dispatch table's slots, in binding order, and the declarations of their portable
// implementations (namespace svportable, same names as the slots).
#pragma once

#include <type_traits>

#include "sonvera/primitives/SVBasicDispatcher.h"

// X(family, name) for every slot, in the order the slots are bound.
#define SONVERA_SV_DISPATCH_SLOTS(X)                                                               \
    X(pfImage, ippiAdd_8u_C1IRSfs)                                                                 \
    X(pfImage, ippiAdd_16s_C1IRSfs)                                                                \
    X(pfImage, ippiSub_8u_C1IRSfs)                                                                 \
    X(pfImage, ippiSub_16s_C1IRSfs)                                                                \
    X(pfImage, ippiMul_8u_C1IRSfs)                                                                 \
    X(pfImage, ippiMul_16s_C1IRSfs)                                                                \
    X(pfImage, ippiDiv_8u_C1IRSfs)                                                                 \
    X(pfImage, ippiDiv_16s_C1IRSfs)                                                                \
    X(pfSignal, ippsDivC_16s_ISfs)                                                                 \
    X(pfSignal, ippsDivC_16s_Sfs)                                                                  \
    X(pfSignal, ippsSet_16s)                                                                       \
    X(pfSignal, ippsConvert_8s16s)                                                                 \
    X(pfImage, ippiScale_16u8u_C1R)                                                                \
    X(pfImage, ippiSet_8u_C1R)                                                                     \
    X(pfImage, ippiSet_16s_C1R)                                                                    \
    X(pfImage, ippiSet_32s_C1R)                                                                    \
    X(pfSignal, ippsAddC_8u_ISfs)                                                                  \
    X(pfSignal, ippsAddC_8u_Sfs)                                                                   \
    X(pfSignal, ippsAddC_16s_ISfs)                                                                 \
    X(pfSignal, ippsAddC_16s_Sfs)                                                                  \
    X(pfImage, ippiAddC_8u_C1IRSfs)                                                                \
    X(pfImage, ippiAddC_8u_C1RSfs)                                                                 \
    X(pfImage, ippiAddC_16s_C1IRSfs)                                                               \
    X(pfImage, ippiAddC_16s_C1RSfs)                                                                \
    X(pfSignal, ippsSubC_8u_ISfs)                                                                  \
    X(pfSignal, ippsSubC_8u_Sfs)                                                                   \
    X(pfSignal, ippsSubC_16s_ISfs)                                                                 \
    X(pfSignal, ippsSubC_16s_Sfs)                                                                  \
    X(pfImage, ippiSubC_8u_C1IRSfs)                                                                \
    X(pfImage, ippiSubC_8u_C1RSfs)                                                                 \
    X(pfImage, ippiSubC_16s_C1IRSfs)                                                               \
    X(pfImage, ippiSubC_16s_C1RSfs)                                                                \
    X(pfSignal, ippsMulC_8u_ISfs)                                                                  \
    X(pfSignal, ippsMulC_8u_Sfs)                                                                   \
    X(pfSignal, ippsMulC_16s_ISfs)                                                                 \
    X(pfSignal, ippsMulC_16s_Sfs)                                                                  \
    X(pfImage, ippiMulC_8u_C1IRSfs)                                                                \
    X(pfImage, ippiMulC_8u_C1RSfs)                                                                 \
    X(pfImage, ippiMulC_16s_C1IRSfs)                                                               \
    X(pfImage, ippiMulC_16s_C1RSfs)                                                                \
    X(pfSignal, ippsDivC_8u_ISfs)                                                                  \
    X(pfSignal, ippsDivC_8u_Sfs)                                                                   \
    X(pfImage, ippiDivC_8u_C1IRSfs)                                                                \
    X(pfImage, ippiDivC_8u_C1RSfs)                                                                 \
    X(pfImage, ippiDivC_16s_C1IRSfs)                                                               \
    X(pfImage, ippiDivC_16s_C1RSfs)                                                                \
    X(pfImage, ippiCopy_8u_C1R)                                                                    \
    X(pfImage, ippiCopy_16s_C1R)                                                                   \
    X(pfImage, ippiConvert_8u32f_C1R)                                                              \
    X(pfImage, ippiConvert_32f8u_C1R)                                                              \
    X(pfImage, ippiScale_8u16s_C1R)                                                                \
    X(pfImage, ippiScale_8u32s_C1R)                                                                \
    X(pfImage, ippiScale_16s8u_C1R)                                                                \
    X(pfImage, ippiScale_32s8u_C1R)

namespace sonvera::svportable {

// Declares a function of the slot's own prototype.
#define SONVERA_SV_DECLARE_PORTABLE(AFamily, AName) std::remove_pointer_t<TPtr_##AName> AName;
SONVERA_SV_DISPATCH_SLOTS(SONVERA_SV_DECLARE_PORTABLE)
#undef SONVERA_SV_DECLARE_PORTABLE

} // namespace sonvera::svportable
