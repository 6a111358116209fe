#include "sonvera/platform/signal/QXInternalStore.h"

#include <algorithm>
#include <cstring>

#include "sonvera/platform/runtime/SmallObjects.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

namespace sonvera {

namespace {

constexpr uint64_t KOneReference = 1;
constexpr uint64_t KOneOwner = uint64_t{1} << 32;
constexpr uint64_t KReferenceMask = KOneOwner - 1;

constexpr uint64_t ReferenceUnit(bool AOwner) noexcept {
    return AOwner ? KOneReference + KOneOwner : KOneReference;
}

} // namespace

TQXSmartBuffer::TQXSmartBuffer([[maybe_unused]] const TQXSmartBuffer& AOther,
                               [[maybe_unused]] bool APreserve) noexcept {}

void TQXSmartBuffer::AddReff(bool AOwner) noexcept {
    FReferences.fetch_add(ReferenceUnit(AOwner), std::memory_order_relaxed);
}

void TQXSmartBuffer::RemoveReff(bool AOwner) noexcept {
    const uint64_t unit = ReferenceUnit(AOwner);
    // Release publishes this holder's use of the store to whoever writes or destroys it next.
    const uint64_t remaining = FReferences.fetch_sub(unit, std::memory_order_acq_rel) - unit;
    if ((remaining & KReferenceMask) == 0)
        delete this;
}

void TQXSmartBuffer::RemoveOwnerShip() noexcept {
    uint64_t current = FReferences.load(std::memory_order_relaxed);
    while (current >= KOneOwner && !FReferences.compare_exchange_weak(current, current - KOneOwner,
                                                                      std::memory_order_acq_rel,
                                                                      std::memory_order_relaxed)) {
    }
}

bool TQXSmartBuffer::SingleOwner() const noexcept {
    // Acquire pairs with the release of the holders that left, so their reads of the bytes
    // happen before the in-place write this answer allows.
    return FReferences.load(std::memory_order_acquire) == ReferenceUnit(true);
}

TQXSmartBuffer* TQXSmartBuffer::Clone(bool APreserve) {
    return CloneObject(APreserve);
}

uint32_t TQXSmartBuffer::ReferenceCount() const noexcept {
    return static_cast<uint32_t>(FReferences.load(std::memory_order_acquire) & KReferenceMask);
}

uint32_t TQXSmartBuffer::OwnerCount() const noexcept {
    return static_cast<uint32_t>(FReferences.load(std::memory_order_acquire) >> 32);
}

void* TQXSmartBuffer::operator new(size_t ASize) {
    return SmallObjectAllocate(ASize);
}

void TQXSmartBuffer::operator delete(void* AObject, size_t ASize) noexcept {
    SmallObjectDeallocate(AObject, ASize);
}

TQXSmartByteBuffer::TQXSmartByteBuffer(uint32_t ASize)
    : FData(static_cast<uint8_t*>(QXBufferAllocate(ASize))), FSize(ASize) {}

TQXSmartByteBuffer::TQXSmartByteBuffer(const void* AData, uint32_t ASize)
    : TQXSmartByteBuffer(ASize) {
    if (AData && ASize > 0)
        std::memcpy(FData, AData, ASize);
}

TQXSmartByteBuffer::TQXSmartByteBuffer(const TQXSmartByteBuffer& AOther, bool APreserve)
    : TQXSmartBuffer(AOther, APreserve),
      FData(static_cast<uint8_t*>(QXBufferAllocate(AOther.FSize))), FSize(AOther.FSize) {
    const uint32_t count = APreserve ? FSize : std::min(FSize, QXStoreHeaderSize);
    if (count > 0)
        std::memcpy(FData, AOther.FData, count);
}

TQXSmartByteBuffer::~TQXSmartByteBuffer() {
    QXBufferDeallocate(FData, FSize);
}

TQXSmartBuffer* TQXSmartByteBuffer::CloneObject(bool APreserve) const {
    return new TQXSmartByteBuffer(*this, APreserve);
}

} // namespace sonvera
