#include "sonvera/platform/signal/QXBufferAllocator.h"

#include <atomic>
#include <bit>
#include <new>
#include <thread>
#include <utility>

#include "sonvera/platform/runtime/Exceptions.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

namespace sonvera {

namespace {

// Size classes: 64-byte steps up to 1 KiB, then eight steps per power of two, so that a
// block wastes at most an eighth of its size.
constexpr size_t KSmallStep = 64;
constexpr size_t KSmallLimit = 1024;
constexpr unsigned KSmallClasses = KSmallLimit / KSmallStep;
constexpr unsigned KSmallLimitLog2 = 10;
constexpr unsigned KStepsPerOctaveLog2 = 3;
constexpr unsigned KStepsPerOctave = 1u << KStepsPerOctaveLog2;
constexpr unsigned KClassCount =
    KSmallClasses + (std::bit_width(QXMaxCachedBlockSize) - 1 - KSmallLimitLog2) * KStepsPerOctave;

static_assert(KSmallLimit == size_t{1} << KSmallLimitLog2);
static_assert(std::has_single_bit(QXMaxCachedBlockSize) && QXMaxCachedBlockSize > KSmallLimit);
static_assert(KSmallStep % QXBufferAlignment == 0, "every class size keeps the alignment");
static_assert(QXMaxCachedBytesPerClass >= QXMaxCachedBlockSize, "every class caches a block");

unsigned ClassIndex(size_t ASize) noexcept {
    if (ASize <= KSmallLimit)
        return ASize == 0 ? 0 : static_cast<unsigned>((ASize - 1) / KSmallStep);
    // 2^octave < ASize <= 2^(octave + 1)
    const unsigned octave = static_cast<unsigned>(std::bit_width(ASize - 1)) - 1;
    const size_t step = size_t{1} << (octave - KStepsPerOctaveLog2);
    const size_t stepInOctave = (ASize - (size_t{1} << octave) - 1) / step;
    return KSmallClasses + (octave - KSmallLimitLog2) * KStepsPerOctave +
           static_cast<unsigned>(stepInOctave);
}

size_t ClassSize(unsigned AIndex) noexcept {
    if (AIndex < KSmallClasses)
        return (AIndex + 1) * KSmallStep;
    const unsigned octave = KSmallLimitLog2 + (AIndex - KSmallClasses) / KStepsPerOctave;
    const size_t stepInOctave = (AIndex - KSmallClasses) % KStepsPerOctave;
    return (size_t{1} << octave) +
           (stepInOctave + 1) * (size_t{1} << (octave - KStepsPerOctaveLog2));
}

void* SystemAllocate(size_t ASize) {
    return ::operator new (ASize, std::align_val_t{QXBufferAlignment});
}

void SystemDeallocate(void* AData, size_t ASize) noexcept {
    ::operator delete (AData, ASize, std::align_val_t{QXBufferAlignment});
}

inline void CpuRelax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// The critical sections below are a handful of instructions, so a spin lock beats a mutex on
// the uncontended path; a waiter yields after a short spin so that a preempted holder can run.
class TSpinLock {
public:
    void lock() noexcept {
        while (FBusy.exchange(true, std::memory_order_acquire))
            WaitUntilFree();
    }
    void unlock() noexcept { FBusy.store(false, std::memory_order_release); }

private:
    void WaitUntilFree() noexcept {
        constexpr int KSpinsBeforeYield = 64;
        for (int spin = 0; FBusy.load(std::memory_order_relaxed); ++spin) {
            if (spin < KSpinsBeforeYield)
                CpuRelax();
            else
                std::this_thread::yield();
        }
    }

    std::atomic<bool> FBusy{false};
};

class TSpinGuard {
public:
    explicit TSpinGuard(TSpinLock& ALock) noexcept : FLock(ALock) { FLock.lock(); }
    ~TSpinGuard() { FLock.unlock(); }
    TSpinGuard(const TSpinGuard&) = delete;
    TSpinGuard& operator=(const TSpinGuard&) = delete;

private:
    TSpinLock& FLock;
};

// A free block is linked through its own first bytes.
struct TFreeBlock {
    TFreeBlock* FNext;
};

// Under AddressSanitizer a cached block is poisoned beyond its link, so that a use after
// QXBufferDeallocate is reported even though the block is still ours.
void PoisonCachedBlock([[maybe_unused]] void* ABlock, [[maybe_unused]] size_t ASize) noexcept {
#if defined(__SANITIZE_ADDRESS__)
    ASAN_POISON_MEMORY_REGION(static_cast<char*>(ABlock) + sizeof(TFreeBlock),
                              ASize - sizeof(TFreeBlock));
#endif
}

void UnpoisonBlock([[maybe_unused]] void* ABlock, [[maybe_unused]] size_t ASize) noexcept {
#if defined(__SANITIZE_ADDRESS__)
    ASAN_UNPOISON_MEMORY_REGION(ABlock, ASize);
#endif
}

// One size class: a LIFO list of free blocks (the most recently freed block is the warmest
// in the processor's cache) and the count of blocks handed out.
class alignas(64) TSizeClass {
public:
    // Pops a cached block, or returns null when there is none.
    void* TakeCached(size_t AClassSize) noexcept {
        TFreeBlock* block;
        {
            TSpinGuard guard(FLock);
            block = FFree;
            if (!block)
                return nullptr;
            FFree = block->FNext;
            --FCachedCount;
            ++FInUse;
        }
        UnpoisonBlock(block, AClassSize);
        return block;
    }

    void CountNewBlock() noexcept {
        TSpinGuard guard(FLock);
        ++FInUse;
    }

    // Keeps a returned block unless the class already holds its share of cached bytes.
    bool Keep(void* ABlock, size_t AClassSize) noexcept {
        const uint64_t maxCached = QXMaxCachedBytesPerClass / AClassSize;
        auto* block = static_cast<TFreeBlock*>(ABlock);
        TSpinGuard guard(FLock);
        --FInUse;
        if (FCachedCount >= maxCached)
            return false;
        block->FNext = FFree;
        PoisonCachedBlock(block, AClassSize);
        FFree = block;
        ++FCachedCount;
        return true;
    }

    void ReleaseCached(size_t AClassSize) noexcept {
        TFreeBlock* list;
        {
            TSpinGuard guard(FLock);
            list = std::exchange(FFree, nullptr);
            FCachedCount = 0;
        }
        while (list) {
            TFreeBlock* next = list->FNext;
            UnpoisonBlock(list, AClassSize);
            SystemDeallocate(list, AClassSize);
            list = next;
        }
    }

    void AddToState(TQXBufferAllocatorState& AState, size_t AClassSize) noexcept {
        TSpinGuard guard(FLock);
        AState.BlocksInUse += FInUse;
        AState.CachedBlocks += FCachedCount;
        AState.CachedBytes += FCachedCount * AClassSize;
    }

private:
    TSpinLock FLock;
    TFreeBlock* FFree = nullptr;
    uint64_t FCachedCount = 0;
    uint64_t FInUse = 0;
};

// Constant-initialised and never destroyed, so that stores released by other units' static
// destructors can still give their blocks back.
struct TBlockCache {
    TSizeClass FClasses[KClassCount];
    std::atomic<uint64_t> FLargeInUse{0};
};

TBlockCache& BlockCache() noexcept {
    static constinit TBlockCache cache;
    return cache;
}

constinit std::atomic<TQXAllocationHook> GAllocationHook{nullptr};

} // namespace

TQXAllocationHook QXSetAllocationHook(TQXAllocationHook AHook) noexcept {
    return GAllocationHook.exchange(AHook, std::memory_order_acq_rel);
}

void* QXBufferAllocate(size_t ASize) {
    if (ASize > QXMaxBufferSize)
        throw EArgumentError(FormatMessage("Buffer size out of range = %llu",
                                           static_cast<unsigned long long>(ASize)));
    if (const TQXAllocationHook hook = GAllocationHook.load(std::memory_order_acquire))
        hook(ASize);
    TBlockCache& cache = BlockCache();
    if (ASize > QXMaxCachedBlockSize) {
        void* block = SystemAllocate(ASize);
        cache.FLargeInUse.fetch_add(1, std::memory_order_relaxed);
        return block;
    }
    const unsigned index = ClassIndex(ASize);
    const size_t classSize = ClassSize(index);
    TSizeClass& sizeClass = cache.FClasses[index];
    if (void* block = sizeClass.TakeCached(classSize))
        return block;
    void* block = SystemAllocate(classSize);
    sizeClass.CountNewBlock();
    return block;
}

void QXBufferDeallocate(void* AData, size_t ASize) noexcept {
    if (!AData)
        return;
    TBlockCache& cache = BlockCache();
    if (ASize > QXMaxCachedBlockSize) {
        SystemDeallocate(AData, ASize);
        cache.FLargeInUse.fetch_sub(1, std::memory_order_relaxed);
        return;
    }
    const unsigned index = ClassIndex(ASize);
    const size_t classSize = ClassSize(index);
    if (!cache.FClasses[index].Keep(AData, classSize))
        SystemDeallocate(AData, classSize);
}

void QXMemoryCleanUp() noexcept {
    TBlockCache& cache = BlockCache();
    for (unsigned index = 0; index < KClassCount; ++index)
        cache.FClasses[index].ReleaseCached(ClassSize(index));
}

TQXBufferAllocatorState QXBufferAllocatorState() noexcept {
    TBlockCache& cache = BlockCache();
    TQXBufferAllocatorState state{cache.FLargeInUse.load(std::memory_order_relaxed), 0, 0};
    for (unsigned index = 0; index < KClassCount; ++index)
        cache.FClasses[index].AddToState(state, ClassSize(index));
    return state;
}

} // namespace sonvera
