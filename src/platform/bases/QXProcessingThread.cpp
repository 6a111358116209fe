#include "sonvera/platform/bases/QXProcessingThread.h"

#include <algorithm>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

TQXProcessingThread::TQXProcessingThread(std::function<void(std::exception_ptr)> AOnError)
    : FOnError(std::move(AOnError)) {}

TQXProcessingThread::~TQXProcessingThread() {
    Stop(smDiscard);
}

void TQXProcessingThread::Start(size_t ACapacity) {
    std::lock_guard<std::mutex> guard(FLock);
    if (FRunning)
        return;
    FCapacity = std::max<size_t>(ACapacity, 1);
    FRunning = true;
    FStopping = false;
    FAccepting = true;
    FThread = std::thread(&TQXProcessingThread::Run, this);
    FThreadId = FThread.get_id();
}

void TQXProcessingThread::Stop(TStopMode AMode) {
    {
        std::lock_guard<std::mutex> guard(FLock);
        if (!FRunning)
            return;
        Assert(FThreadId != std::this_thread::get_id(), "QXProcessingThread",
               "A processing thread cannot stop itself");
        FStopping = true;
        FAccepting = false;
        if (AMode == smDiscard) {
            FDone += FQueue.size();
            FQueue.clear();
        }
    }
    FChanged.notify_all();
    FThread.join();
    std::lock_guard<std::mutex> guard(FLock);
    FRunning = false;
    FStopping = false;
    FThreadId = {};
}

bool TQXProcessingThread::Running() const noexcept {
    return FAccepting.load(std::memory_order_acquire);
}

bool TQXProcessingThread::IsProcessingThread() const noexcept {
    std::lock_guard<std::mutex> guard(FLock);
    return FRunning && FThreadId == std::this_thread::get_id();
}

bool TQXProcessingThread::Add(TWork AWork) {
    std::unique_lock<std::mutex> guard(FLock);
    // Work that the thread queues for itself never waits: the thread would wait for itself.
    const bool own = FThreadId == std::this_thread::get_id();
    FChanged.wait(guard,
                  [&] { return !FRunning || FStopping || own || FQueue.size() < FCapacity; });
    if (!FRunning || FStopping)
        return false;
    FQueue.push_back(std::move(AWork));
    ++FAdded;
    guard.unlock();
    FChanged.notify_all();
    return true;
}

void TQXProcessingThread::Drain() {
    std::unique_lock<std::mutex> guard(FLock);
    if (FThreadId == std::this_thread::get_id())
        return;
    const uint64_t queued = FAdded;
    FChanged.wait(guard, [&] { return !FRunning || FDone >= queued; });
}

size_t TQXProcessingThread::Pending() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FQueue.size() + (FBusy ? 1 : 0);
}

void TQXProcessingThread::Run() {
    std::unique_lock<std::mutex> guard(FLock);
    for (;;) {
        FChanged.wait(guard, [&] { return !FQueue.empty() || FStopping; });
        if (FQueue.empty())
            return; // stopping, and drained
        TWork work = std::move(FQueue.front());
        FQueue.pop_front();
        FBusy = true;
        guard.unlock();
        FChanged.notify_all(); // room for a waiting producer
        try {
            work();
        } catch (...) {
            if (FOnError)
                FOnError(std::current_exception());
        }
        work = nullptr; // release what the work holds before the thread is seen idle
        guard.lock();
        FBusy = false;
        ++FDone;
        FChanged.notify_all(); // for Drain
    }
}

} // namespace sonvera
