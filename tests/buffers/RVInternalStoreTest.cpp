#include "sonvera/buffers/RVInternalStore.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "sonvera/buffers/SVInternalStore.h"

using namespace sonvera;

// Readers, writers and cloners of one store's timestamp on several threads: every value seen
// is one that was written whole, and nothing deadlocks (the clone reads its source under the
// source's read lock while other threads write).
TEST(TRVSmartMediaBuffer, TimestampsAreNeverSeenHalfWrittenAcrossThreads) {
    auto* store = new TSVSmartAudioBuffer(128);
    store->AddReff(true);
    constexpr int64_t KPatternA = 0;
    constexpr int64_t KPatternB = -1;
    std::atomic<bool> stop{false};
    std::atomic<int> badValues{0};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            store->SetTimeStampBegin(i % 2 ? KPatternA : KPatternB);
            store->SetTimeStampEnd(i % 2 ? KPatternB : KPatternA);
        }
        stop = true;
    });
    auto checkValue = [&](int64_t AValue) {
        if (AValue != KPatternA && AValue != KPatternB)
            ++badValues;
    };
    std::thread reader([&] {
        while (!stop) {
            checkValue(store->GetTimeStampBegin());
            checkValue(store->GetTimeStampEnd());
        }
    });
    std::thread cloner([&] {
        while (!stop) {
            TSVSmartAudioBuffer* copy = store->Clone(false);
            copy->AddReff(true);
            checkValue(copy->GetTimeStampBegin());
            copy->SetTimeData(*store);
            checkValue(copy->GetTimeStampEnd());
            copy->RemoveReff(true);
        }
    });
    writer.join();
    reader.join();
    cloner.join();
    EXPECT_EQ(badValues.load(), 0);
    store->RemoveReff(true);
}
