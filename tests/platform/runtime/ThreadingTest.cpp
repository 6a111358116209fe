#include "sonvera/platform/runtime/Threading.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"

using namespace sonvera;

namespace {

// Runs AWork on another thread and returns its result.
template <class TWork> bool OnOtherThread(TWork AWork) {
    bool result = false;
    std::thread([&] { result = AWork(); }).join();
    return result;
}

// Whether another thread can enter ASection now; it leaves again if it could.
bool OtherThreadCanEnter(TCriticalSection& ASection) {
    return OnOtherThread([&] { return ASection.TryEnter() && (ASection.Leave(), true); });
}

} // namespace

TEST(TCriticalSection, IsRecursiveExclusiveAndLeftOnlyByItsHolder) {
    TCriticalSection section;
    section.Enter();
    section.Enter();
    EXPECT_TRUE(section.TryEnter());
    EXPECT_TRUE(section.HeldByCurrentThread());
    EXPECT_FALSE(OtherThreadCanEnter(section));
    // Another thread cannot leave it, and failing to does not release it.
    EXPECT_TRUE(OnOtherThread([&] {
        try {
            section.Leave();
            return false;
        } catch (const EAssertionFailed& error) {
            return std::string(error.what()) ==
                   "Critical section left by a thread that does not hold it (Threading)";
        }
    }));
    section.Leave();
    section.Leave();
    EXPECT_FALSE(OtherThreadCanEnter(section));
    section.Leave();
    EXPECT_FALSE(section.HeldByCurrentThread());
    EXPECT_THROW(section.Leave(), EAssertionFailed);
    EXPECT_TRUE(OtherThreadCanEnter(section));

    // A plain counter stays exact when every increment is inside the section.
    int64_t counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                TCriticalSectionGuard guard(section);
                TCriticalSectionGuard nested(section);
                ++counter;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(counter, 80000);
}

TEST(TReadWriteLock, WritersNeverOverlapReadersOrEachOtherUnderContention) {
    TReadWriteLock lock;
    // Writers keep First == Second, but only between their two steps; a reader or writer that
    // overlapped a writer would see them differ.
    int64_t first = 0;
    int64_t second = 0;
    std::atomic<int> torn{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                TWriteLockGuard guard(lock);
                if (first != second)
                    ++torn;
                ++first;
                std::this_thread::yield();
                ++second;
            }
        });
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                TReadLockGuard guard(lock);
                if (first != second)
                    ++torn;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(torn.load(), 0);
    EXPECT_EQ(first, 60000);
    EXPECT_EQ(second, 60000);
}

TEST(TReadWriteLock, AReaderAskingForTheWriteLockIsRefusedNamingTheLock) {
#ifdef NDEBUG
    GTEST_SKIP() << "the readers of a lock are only followed in debug builds";
#endif
    TReadWriteLock lock("the class registry");
    // Asks for the write lock, waiting or trying, and tells whether that was refused.
    const auto refused = [&](bool ATry) {
        try {
            ATry ? lock.TryEnterWrite() : (lock.EnterWrite(), true);
            return false;
        } catch (const EAssertionFailed& error) {
            return std::string(error.what()) == "Write lock of the class registry requested by a "
                                                "thread that reads it (Threading)";
        }
    };

    lock.EnterRead();
    ASSERT_TRUE(lock.TryEnterRead());
    EXPECT_TRUE(refused(false));
    EXPECT_TRUE(refused(true));
    lock.LeaveRead();
    // Still reading once.
    EXPECT_TRUE(refused(false));
    lock.LeaveRead();
    lock.EnterWrite();
    lock.LeaveWrite();

    // Another thread's read is that thread's: this one merely waits for it.
    std::atomic<bool> reading{false};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        TReadLockGuard guard(lock);
        reading = true;
        while (!done)
            std::this_thread::yield();
    });
    while (!reading)
        std::this_thread::yield();
    EXPECT_FALSE(lock.TryEnterWrite());
    done = true;
    reader.join();
    EXPECT_TRUE(lock.TryEnterWrite());
    lock.LeaveWrite();
}
