// Master pumping: an output that paces its chain itself. When Enabled, the output tells its
// generator to leave its own clock (a master-pump operation) as its stream starts, then keeps
// BufferCount buffers asked for (a pump request for each one it consumes).
#pragma once

#include <cstdint>

#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

class TBVMasterPumping : public TLockPersistent {
public:
    static constexpr uint32_t KDefaultBufferCount = 2;

    using TLockPersistent::TLockPersistent;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    bool GetEnabled() const { return GetPropValue(FEnabled); }
    void SetEnabled(bool AValue);
    // Buffers asked for ahead (1 to 64).
    uint32_t GetBufferCount() const { return GetPropValue(FBufferCount); }
    void SetBufferCount(uint32_t AValue);

private:
    bool FEnabled = false;
    uint32_t FBufferCount = KDefaultBufferCount;
};

} // namespace sonvera
