#include "sonvera/platform/bases/BVMasterPumping.h"

namespace sonvera {

const TPropertyTableBase& TBVMasterPumping::ClassPropertyTable() {
    using T = TBVMasterPumping;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TBVMasterPumping", TLockPersistent::ClassPropertyTable())
            .Boolean("Enabled", false, &T::GetEnabled, &T::SetEnabled)
            .Cardinal("BufferCount", KDefaultBufferCount, &T::GetBufferCount, &T::SetBufferCount);
    return table;
}

void TBVMasterPumping::SetEnabled(bool AValue) {
    SetPropValue("Enabled", FEnabled, AValue);
}

void TBVMasterPumping::SetBufferCount(uint32_t AValue) {
    SetBoundedPropValue("BufferCount", FBufferCount, AValue, 1u, 64u);
}

} // namespace sonvera
