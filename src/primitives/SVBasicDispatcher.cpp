#include "sonvera/primitives/SVBasicDispatcher.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "primitives/SVBasicPortable.h"
#include "sonvera/platform/runtime/UnitInit.h"
#include "sonvera/platform/signal/IPPLoader.h"

namespace sonvera {

// Every slot starts on its portable implementation (constant initialisation), so a primitive
// called before start-up, say from another library's static initialiser, still works.
#define SONVERA_SV_DEFINE_SLOT(AFamily, AName) TPtr_##AName AName = svportable::AName;
SONVERA_SV_DISPATCH_SLOTS(SONVERA_SV_DEFINE_SLOT)
#undef SONVERA_SV_DEFINE_SLOT

namespace {

constinit TUnitInitCounter GSVBasicDispatcherCounter;

// One slot of the table with what binding and listing it need, all constant-initialised.
struct TSlotBinding {
    const char* Name;
    TSVPrimitiveFamily Family;
    void (*Bind)(void* AVendorFunction);
    const void* (*Bound)();
    const void* (*Portable)();
};

template <auto& ASlot, auto APortable> void BindSlot(void* AVendorFunction) {
    ASlot = AVendorFunction != nullptr ? reinterpret_cast<decltype(APortable)>(AVendorFunction)
                                       : APortable;
}

template <auto& ASlot> const void* SlotFunction() {
    return reinterpret_cast<const void*>(ASlot);
}

template <auto APortable> const void* PortableFunction() {
    return reinterpret_cast<const void*>(APortable);
}

#define SONVERA_SV_SLOT_BINDING(AFamily, AName)                                                    \
    TSlotBinding{#AName, AFamily, &BindSlot<AName, &svportable::AName>, &SlotFunction<AName>,      \
                 &PortableFunction<&svportable::AName>},
constexpr TSlotBinding KSlotBindings[] = {SONVERA_SV_DISPATCH_SLOTS(SONVERA_SV_SLOT_BINDING)};
#undef SONVERA_SV_SLOT_BINDING

void BindSlots() {
    for (const TSlotBinding& slot : KSlotBindings)
        slot.Bind(slot.Family == pfSignal ? GetIPPSProcAddress(slot.Name)
                                          : GetIPPIProcAddress(slot.Name));
}

// _ippMalloc keeps the raw block's address just below the aligned pointer it returns.
constexpr uintptr_t KAlignment = 32;
constexpr size_t KHeader = sizeof(void*);

} // namespace

std::vector<TSVDispatchSlotInfo> SVDispatchSlots() {
    std::vector<TSVDispatchSlotInfo> slots;
    slots.reserve(std::size(KSlotBindings));
    for (const TSlotBinding& slot : KSlotBindings)
        slots.push_back({slot.Name, slot.Family, slot.Bound(), slot.Portable()});
    return slots;
}

void InitializeSVBasicDispatcher() {
    GSVBasicDispatcherCounter.Initialize(BindSlots);
}

void FinalizeSVBasicDispatcher() {
    GSVBasicDispatcherCounter.Finalize([] {});
}

void* _ippMalloc(int32_t len) {
    if (len < 1)
        return nullptr;
    // Room for the header and for moving up to the next boundary.
    void* raw = std::malloc(static_cast<size_t>(len) + KHeader + KAlignment - 1);
    if (raw == nullptr)
        return nullptr;
    const uintptr_t aligned =
        (reinterpret_cast<uintptr_t>(raw) + KHeader + KAlignment - 1) & ~(KAlignment - 1);
    void* result = reinterpret_cast<void*>(aligned);
    std::memcpy(static_cast<char*>(result) - KHeader, &raw, KHeader);
    return result;
}

void _ippFree(void* ptr) {
    if (ptr == nullptr)
        return;
    void* raw;
    std::memcpy(&raw, static_cast<char*>(ptr) - KHeader, KHeader);
    std::free(raw);
}

} // namespace sonvera
