// Element types, status values and enumerations of the vendor-style primitives, with the
// vendor library's binary layout so that its functions can be bound in place of ours.
#pragma once

#include <cstdint>

#include "sonvera/platform/runtime/Types.h"

namespace sonvera {

using Ipp8u = uint8_t;
using Ipp8s = int8_t;
using Ipp16u = uint16_t;
using Ipp16s = int16_t;
using Ipp32u = uint32_t;
using Ipp32s = int32_t;
using Ipp32f = float;
using Ipp64f = double;
using IppStatus = int32_t;
using IppiSize = TSize;

enum IppStatusValue : IppStatus {
    ippStsStepErr = -14,
    ippStsDivByZeroErr = -10,
    ippStsNullPtrErr = -8,
    ippStsSizeErr = -6,
    ippStsNoErr = 0,
    ippStsDivByZero = 6,
};

enum IppHintAlgorithm : int32_t {
    ippAlgHintNone = 0,
    ippAlgHintFast = 1,
    ippAlgHintAccurate = 2,
};

enum IppRoundMode : int32_t {
    ippRndZero = 0,
    ippRndNear = 1,
    ippRndFinancial = 2,
};

} // namespace sonvera
