// A list of pins that owns them: a component's variable set of output pins, one per channel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sonvera/platform/pins/PXPins.h"

namespace sonvera {

// Pins are added by the creation callback that PinListAddSetter gives, while they are built;
// a pin whose construction fails leaves the list again by itself. Pins are destroyed by Remove,
// Clear and the list's destructor, which therefore must not run while the list's owner holds
// a lock that deliveries wait for (see the lock order in PXPins.h).
class TPXPinList {
public:
    TPXPinList() = default;
    TPXPinList(const TPXPinList&) = delete;
    TPXPinList& operator=(const TPXPinList&) = delete;
    ~TPXPinList();

    uint32_t Count() const noexcept { return static_cast<uint32_t>(FPins.size()); }
    // AIndex past the end raises ERangeError "Index out of range = %u".
    TPXPin* Items(uint32_t AIndex) const;
    // -1 when APin is not in the list.
    int32_t IndexOf(const TPXPin* APin) const noexcept;
    // Destroys the pin at AIndex (disconnecting it); ERangeError past the end.
    void Remove(uint32_t AIndex);
    // Takes the pin at AIndex out of the list without destroying it, for destruction later
    // (outside a lock).
    std::unique_ptr<TPXPin> Extract(uint32_t AIndex);
    void Clear();
    // Notifies every pin in list order; true when any pin's notify returned true.
    bool Notify(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState = 0);

    // The creation callback that appends the new pin to this list, which then owns it.
    TPXPinCreated PinListAddSetter();

private:
    friend class TPXPin;
    void Forget(TPXPin* APin) noexcept;

    std::vector<TPXPin*> FPins;
};

} // namespace sonvera
