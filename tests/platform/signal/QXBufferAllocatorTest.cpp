#include "sonvera/platform/signal/QXBufferAllocator.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <limits>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"

using namespace sonvera;
using sonvera::testing::MessageOf;

namespace {

bool IsAligned(const void* ABlock) {
    return reinterpret_cast<uintptr_t>(ABlock) % QXBufferAlignment == 0;
}

} // namespace

TEST(QXBufferAllocator, HandsOutAlignedBlocksAndReusesRecurringSizes) {
    // Sizes on and around the class edges, and one beyond the cached range; every byte of
    // each block is written, so a block shorter than asked for shows up under the sanitizer.
    for (size_t size : {size_t{0}, size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{1024},
                        size_t{1025}, size_t{2048}, size_t{2049}, size_t{4136},
                        QXMaxCachedBlockSize, QXMaxCachedBlockSize + 1}) {
        void* block = QXBufferAllocate(size);
        ASSERT_NE(block, nullptr) << size;
        EXPECT_TRUE(IsAligned(block)) << size;
        std::memset(block, 0xA5, size);
        QXBufferDeallocate(block, size);
    }

    // A block of a recurring size comes back, and it is not cleared: only the bytes the
    // cache links through may differ.
    void* first = QXBufferAllocate(4136);
    std::memset(first, 0x5A, 4136);
    QXBufferDeallocate(first, 4136);
    auto* again = static_cast<uint8_t*>(QXBufferAllocate(4136));
    EXPECT_EQ(again, first);
    EXPECT_EQ(again[sizeof(void*)], 0x5A);
    EXPECT_EQ(again[4135], 0x5A);
    QXBufferDeallocate(again, 4136);

    // Sizes of one class share blocks.
    void* small = QXBufferAllocate(100);
    QXBufferDeallocate(small, 100);
    void* sameClass = QXBufferAllocate(128);
    EXPECT_EQ(sameClass, small);
    QXBufferDeallocate(sameClass, 128);
}

TEST(QXBufferAllocator, RefusesAbsurdSizesWithoutAllocating) {
    const uint64_t inUse = QXBufferAllocatorState().BlocksInUse;
    EXPECT_THROW(QXBufferAllocate(QXMaxBufferSize + 1), EArgumentError);
    EXPECT_THROW(QXBufferAllocate(std::numeric_limits<size_t>::max()), EArgumentError);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, inUse);
    EXPECT_EQ(
        MessageOf<EArgumentError>([] { QXBufferAllocate(std::numeric_limits<size_t>::max()); }),
        "Buffer size out of range = 18446744073709551615");
    QXBufferDeallocate(nullptr, 4096); // ignored
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, inUse);
}

TEST(QXBufferAllocator, ManyThreadsNeverShareABlockAndLoseNone) {
    const uint64_t inUse = QXBufferAllocatorState().BlocksInUse;
    constexpr int KThreads = 6;
    constexpr int KRounds = 4000;
    const size_t sizes[] = {0, 40, 100, 1000, 4136, 30000, QXMaxCachedBlockSize + 64};

    // Blocks handed from thread to thread, so that blocks are freed on other threads than
    // the ones that allocated them.
    struct TParcel {
        uint8_t* FBlock;
        size_t FSize;
        uint8_t FMark;
    };
    std::mutex exchangeLock;
    std::vector<TParcel> exchange;
    std::atomic<int> damaged{0};

    auto intact = [](const TParcel& AParcel) {
        for (size_t i = 0; i < AParcel.FSize; ++i)
            if (AParcel.FBlock[i] != AParcel.FMark)
                return false;
        return true;
    };

    std::vector<std::thread> threads;
    for (int t = 0; t < KThreads; ++t)
        threads.emplace_back([&, t] {
            std::vector<TParcel> held;
            for (int round = 0; round < KRounds; ++round) {
                const size_t size = sizes[static_cast<size_t>(round * 7 + t) % std::size(sizes)];
                // A block seen by two owners at once would have its mark overwritten.
                const auto mark = static_cast<uint8_t>(t * 31 + round);
                auto* block = static_cast<uint8_t*>(QXBufferAllocate(size));
                std::memset(block, mark, size);
                held.push_back({block, size, mark});
                if (held.size() == 8) {
                    std::lock_guard<std::mutex> guard(exchangeLock);
                    for (size_t i = 0; i < 4; ++i)
                        exchange.push_back(held[i]);
                    held.erase(held.begin(), held.begin() + 4);
                    while (exchange.size() > 16) {
                        const TParcel parcel = exchange.front();
                        exchange.erase(exchange.begin());
                        if (!intact(parcel))
                            ++damaged;
                        QXBufferDeallocate(parcel.FBlock, parcel.FSize);
                    }
                }
            }
            for (const TParcel& parcel : held) {
                if (!intact(parcel))
                    ++damaged;
                QXBufferDeallocate(parcel.FBlock, parcel.FSize);
            }
        });
    for (auto& thread : threads)
        thread.join();
    for (const TParcel& parcel : exchange) {
        if (!intact(parcel))
            ++damaged;
        QXBufferDeallocate(parcel.FBlock, parcel.FSize);
    }

    EXPECT_EQ(damaged.load(), 0);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, inUse);
    QXMemoryCleanUp();
    EXPECT_EQ(QXBufferAllocatorState().CachedBlocks, 0u);
}

namespace {

// Fails every allocation of 4136 bytes, as an exhausted system would.
void RefuseOneSize(size_t ASize) {
    if (ASize == 4136)
        throw std::bad_alloc();
}

} // namespace

TEST(QXBufferAllocator, AHookThatRaisesFailsTheAllocationAndTakesNothing) {
    // A cached block of the refused size is not handed out either: the hook runs first.
    QXBufferDeallocate(QXBufferAllocate(4136), 4136);
    const TQXBufferAllocatorState before = QXBufferAllocatorState();
    ASSERT_EQ(QXSetAllocationHook(RefuseOneSize), nullptr);
    EXPECT_THROW(QXBufferAllocate(4136), std::bad_alloc);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, before.BlocksInUse);
    EXPECT_EQ(QXBufferAllocatorState().CachedBlocks, before.CachedBlocks);
    void* other = QXBufferAllocate(100);
    QXBufferDeallocate(other, 100);
    EXPECT_EQ(QXSetAllocationHook(nullptr), RefuseOneSize);
    void* block = QXBufferAllocate(4136);
    QXBufferDeallocate(block, 4136);
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, before.BlocksInUse);
}
