#include "AllocationFaults.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "sonvera/platform/runtime/SmallObjects.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

namespace sonvera::testing {

namespace {

// The armed thread's countdown: 0 when no fault is armed, else the allocations left until
// the failing one (1: the next fails).
thread_local uint64_t GCountdown = 0;
thread_local bool GFired = false;
std::atomic<int64_t> GLive{0};

// Counts one allocation of the armed thread and raises when it is the failing one.
void CountAllocation() {
    if (GCountdown == 0)
        return;
    if (--GCountdown == 0) {
        GFired = true;
        throw std::bad_alloc();
    }
}

void CountBlockAllocation(size_t) {
    CountAllocation();
}

void* Allocate(size_t ASize) {
    CountAllocation();
    void* block = std::malloc(ASize == 0 ? 1 : ASize);
    if (!block)
        throw std::bad_alloc();
    GLive.fetch_add(1, std::memory_order_relaxed);
    return block;
}

void Free(void* ABlock) noexcept {
    if (!ABlock)
        return;
    GLive.fetch_sub(1, std::memory_order_relaxed);
    std::free(ABlock);
}

} // namespace

TAllocationFault::TAllocationFault(uint64_t AFailAt) {
    // Every allocation from here on must reach operator new to be counted.
    SmallObjectCleanUp();
    GCountdown = AFailAt;
    GFired = false;
    QXSetAllocationHook(CountBlockAllocation);
}

TAllocationFault::~TAllocationFault() {
    QXSetAllocationHook(nullptr);
    GCountdown = 0;
}

bool TAllocationFault::Fired() const noexcept {
    return GFired;
}

int64_t LiveAllocations() noexcept {
    SmallObjectCleanUp();
    return GLive.load(std::memory_order_relaxed);
}

} // namespace sonvera::testing

// The replaceable global allocation functions of the executable. The aligned forms stay the
// standard library's: the block allocator, which uses them, is counted through its hook.
void* operator new(size_t ASize) {
    return sonvera::testing::Allocate(ASize);
}

void* operator new[](size_t ASize) {
    return sonvera::testing::Allocate(ASize);
}

void* operator new(size_t ASize, const std::nothrow_t&) noexcept {
    try {
        return sonvera::testing::Allocate(ASize);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](size_t ASize, const std::nothrow_t&) noexcept {
    return operator new(ASize, std::nothrow);
}

void operator delete(void* ABlock) noexcept {
    sonvera::testing::Free(ABlock);
}

void operator delete[](void* ABlock) noexcept {
    sonvera::testing::Free(ABlock);
}

void operator delete(void* ABlock, size_t) noexcept {
    sonvera::testing::Free(ABlock);
}

void operator delete[](void* ABlock, size_t) noexcept {
    sonvera::testing::Free(ABlock);
}

void operator delete(void* ABlock, const std::nothrow_t&) noexcept {
    sonvera::testing::Free(ABlock);
}

void operator delete[](void* ABlock, const std::nothrow_t&) noexcept {
    sonvera::testing::Free(ABlock);
}
