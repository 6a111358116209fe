#include "sonvera/platform/runtime/SmallObjects.h"

#include <new>

namespace sonvera {

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool KSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool KSanitized = true;
#else
constexpr bool KSanitized = false;
#endif
#else
constexpr bool KSanitized = false;
#endif

constexpr size_t KStep = alignof(std::max_align_t);
constexpr size_t KClassCount = KSmallObjectLimit / KStep;
constexpr size_t KBlocksPerClass = KSmallObjectCacheBytes / KSmallObjectLimit;

struct TFreeBlock {
    TFreeBlock* Next;
};

// One thread's free lists. Plain data, so that it is usable at any point of the thread's life;
// TCacheOwner empties it when the thread ends, and from then on blocks go to the system.
struct TThreadCache {
    TFreeBlock* Heads[KClassCount];
    unsigned Counts[KClassCount];
    bool Registered; // TCacheOwner is built for this thread
    bool Closed;     // and has already emptied the cache
};

thread_local constinit TThreadCache GCache{};

void EmptyCache() noexcept {
    for (size_t index = 0; index < KClassCount; ++index) {
        while (TFreeBlock* block = GCache.Heads[index]) {
            GCache.Heads[index] = block->Next;
            ::operator delete(block, (index + 1) * KStep);
        }
        GCache.Counts[index] = 0;
    }
}

struct TCacheOwner {
    TCacheOwner() noexcept { GCache.Registered = true; }
    ~TCacheOwner() {
        EmptyCache();
        GCache.Closed = true;
    }
};

thread_local TCacheOwner GCacheOwner;

// Builds this thread's owner, so that the blocks the cache takes from now on are given back when
// the thread ends. Out of line: the first touch of a thread_local with a destructor is slow.
[[gnu::noinline]] void RegisterCacheOwner() noexcept {
    [[maybe_unused]] TCacheOwner* volatile owner = &GCacheOwner;
}

size_t ClassIndex(size_t ASize) noexcept {
    return ASize == 0 ? 0 : (ASize - 1) / KStep;
}

} // namespace

void* SmallObjectAllocate(size_t ASize) {
    if (KSanitized || ASize > KSmallObjectLimit)
        return ::operator new(ASize);
    const size_t index = ClassIndex(ASize);
    if (TFreeBlock* block = GCache.Heads[index]) {
        GCache.Heads[index] = block->Next;
        --GCache.Counts[index];
        return block;
    }
    return ::operator new((index + 1) * KStep);
}

void SmallObjectDeallocate(void* AObject, size_t ASize) noexcept {
    if (!AObject)
        return;
    if (KSanitized || ASize > KSmallObjectLimit) {
        ::operator delete(AObject, ASize);
        return;
    }
    const size_t index = ClassIndex(ASize);
    if (!GCache.Registered && !GCache.Closed)
        RegisterCacheOwner();
    if (!GCache.Registered || GCache.Closed || GCache.Counts[index] >= KBlocksPerClass) {
        ::operator delete(AObject, (index + 1) * KStep);
        return;
    }
    auto* block = static_cast<TFreeBlock*>(AObject);
    block->Next = GCache.Heads[index];
    GCache.Heads[index] = block;
    ++GCache.Counts[index];
}

void SmallObjectCleanUp() noexcept {
    EmptyCache();
}

} // namespace sonvera
