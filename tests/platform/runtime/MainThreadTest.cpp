#include "sonvera/platform/runtime/MainThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"

using namespace sonvera;

namespace {

class MainThread : public ::testing::Test {
protected:
    void SetUp() override { InitializeMainThread(); }
    void TearDown() override { FinalizeMainThread(); }
};

} // namespace

TEST_F(MainThread, WaitingCallersRunTheirWorkOnThePumpingThread) {
    const int callers = 6;
    const std::thread::id main = std::this_thread::get_id();
    std::vector<std::thread::id> ranOn(callers);
    std::vector<std::string> outcome(callers);
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i)
        threads.emplace_back([&, i] {
            try {
                TMainThread::Synchronize([&, i] {
                    ranOn[i] = std::this_thread::get_id();
                    if (i == 2)
                        throw ERangeError(FormatMessage("Channel out of range = %u", 4u));
                });
                outcome[i] = "done";
            } catch (const ERangeError& error) {
                outcome[i] = error.what();
            }
        });
    for (int ran = 0; ran < callers; ran += int(TMainThread::ProcessQueue()))
        ASSERT_TRUE(TMainThread::WaitForWork());
    for (auto& thread : threads)
        thread.join();
    for (int i = 0; i < callers; ++i) {
        EXPECT_EQ(ranOn[i], main) << i;
        EXPECT_EQ(outcome[i], i == 2 ? "Channel out of range = 4" : "done") << i;
    }
    EXPECT_EQ(TMainThread::ProcessQueue(), 0u);
}

TEST_F(MainThread, PostedWorkRunsInOrderAtTheNextPump) {
    std::vector<int> order;
    TMainThread::Post([&] { order.push_back(1); });
    TMainThread::Post([&] {
        order.push_back(2);
        TMainThread::Post([&] { order.push_back(4); }); // waits for the next pump
    });
    TMainThread::Post([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty());
    EXPECT_EQ(TMainThread::ProcessQueue(), 3u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(TMainThread::ProcessQueue(), 1u);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));

    // A failing post reaches the pump; what follows it stays queued.
    TMainThread::Post([&] { order.push_back(5); });
    TMainThread::Post([] { throw EReadError("broken"); });
    TMainThread::Post([&] { order.push_back(6); });
    EXPECT_THROW(TMainThread::ProcessQueue(), EReadError);
    EXPECT_EQ(order.back(), 5);
    EXPECT_EQ(TMainThread::ProcessQueue(), 1u);
    EXPECT_EQ(order.back(), 6);

    // Posts from other threads keep each thread's order.
    std::vector<std::thread> threads;
    std::vector<std::vector<int>> seen(3);
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i)
                TMainThread::Post([&, t, i] { seen[t].push_back(i); });
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(TMainThread::ProcessQueue(), 300u);
    std::vector<int> inOrder(100);
    std::iota(inOrder.begin(), inOrder.end(), 0);
    EXPECT_EQ(seen, std::vector<std::vector<int>>(3, inOrder));
}

TEST_F(MainThread, ShutdownReleasesEveryWaitingCaller) {
    const int callers = 3;
    std::atomic<int> cancelled{0};
    std::atomic<bool> ran{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < callers; ++i)
        threads.emplace_back([&] {
            try {
                TMainThread::Synchronize([&] { ran = true; });
            } catch (const EOperationCancelled&) {
                ++cancelled;
            }
        });
    bool posted = false;
    TMainThread::Post([&] { posted = true; });
    // Every caller queues its work before it waits; nobody pumps, so they all wait.
    while (TMainThread::Pending() < static_cast<size_t>(callers) + 1)
        std::this_thread::yield();
    TMainThread::Shutdown();
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(cancelled.load(), callers);
    EXPECT_FALSE(ran.load());

    // Closed: posts are refused, waits end at once.
    EXPECT_FALSE(TMainThread::Post([&] { posted = true; }));
    EXPECT_FALSE(TMainThread::WaitForWork());
    std::thread([&] {
        EXPECT_THROW(TMainThread::Synchronize([&] { ran = true; }), EOperationCancelled);
    }).join();
    TMainThread::Open();
    EXPECT_EQ(TMainThread::ProcessQueue(), 0u); // what was queued was dropped
    EXPECT_FALSE(posted);
    EXPECT_FALSE(ran.load());

    // Start-up is counted: only the last finalization shuts the queue.
    InitializeMainThread();
    FinalizeMainThread();
    EXPECT_TRUE(TMainThread::IsOpen());
}
