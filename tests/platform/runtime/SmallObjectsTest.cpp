#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "sonvera/platform/runtime/Interfaces.h"

using namespace sonvera;

namespace {

// A counted object that fills its block with its own number, so that a block handed out twice
// while in use shows as a changed pattern.
class TStamped : public TInterfacedObject {
public:
    explicit TStamped(uint8_t AStamp) : FStamp(AStamp) {
        std::memset(FBytes, AStamp, sizeof FBytes);
    }
    bool Intact() const {
        return std::all_of(std::begin(FBytes), std::end(FBytes),
                           [this](uint8_t AByte) { return AByte == FStamp; });
    }

private:
    uint8_t FStamp;
    uint8_t FBytes[96];
};

} // namespace

TEST(SmallObjects, BlocksAreWholeAlignedAndNeverSharedAcrossThreads) {
    for (size_t size : {0, 1, 15, 16, 17, 100, 511, 512, 513, 4096}) {
        void* block = SmallObjectAllocate(size);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % alignof(std::max_align_t), 0u) << size;
        std::memset(block, 0xA5, size);
        SmallObjectDeallocate(block, size);
    }
    // Objects made on one thread are released on the next, round a ring of threads, while every
    // thread also makes and drops its own: each thread's cache takes blocks others allocated,
    // and empties itself when its thread ends.
    constexpr int KThreads = 6, KRounds = 4000;
    std::vector<std::vector<TRef<TStamped>>> handed(KThreads);
    std::vector<std::mutex> locks(KThreads);
    std::atomic<int> damaged{0};
    std::vector<std::thread> threads;
    for (int index = 0; index < KThreads; ++index)
        threads.emplace_back([&, index] {
            for (int round = 0; round < KRounds; ++round) {
                TRef<TStamped> own(new TStamped(uint8_t(index)));
                std::vector<TRef<TStamped>> received;
                {
                    std::lock_guard<std::mutex> guard(locks[(index + 1) % KThreads]);
                    handed[(index + 1) % KThreads].push_back(own);
                }
                {
                    std::lock_guard<std::mutex> guard(locks[index]);
                    received.swap(handed[index]);
                }
                for (const TRef<TStamped>& object : received)
                    damaged += !object->Intact();
                damaged += !own->Intact();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (auto& left : handed)
        for (const TRef<TStamped>& object : left)
            damaged += !object->Intact();
    EXPECT_EQ(damaged.load(), 0);
}
