// A processing thread with a bounded queue: components that process off the delivering thread
// hand their work to one. The thread starts with Start and is stopped and joined by Stop and by
// the destructor; work queued when it stops is either run first (Drain) or dropped (Discard).
// Drain lets a producer wait, without stopping the thread, until what it queued has run: what it
// does next then comes after that work, as a stream's start midway must come after the buffers
// of the format before it.
//
// Lock order: Add blocks while the queue is full and Drain until the queue has run, so a
// producer must not hold a lock that the work it waits for takes. Stop waits for the work in
// progress, so it must not be called while holding a lock that work takes, nor from the
// processing thread itself (which raises EAssertionFailed instead of waiting for itself).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace sonvera {

class TQXProcessingThread {
public:
    using TWork = std::function<void()>;
    enum TStopMode { smDrain, smDiscard };

    // AOnError receives the exception a piece of work throws (the thread goes on with the
    // next); null drops it.
    explicit TQXProcessingThread(std::function<void(std::exception_ptr)> AOnError = nullptr);
    TQXProcessingThread(const TQXProcessingThread&) = delete;
    TQXProcessingThread& operator=(const TQXProcessingThread&) = delete;
    ~TQXProcessingThread();

    // Starts the thread with room for ACapacity waiting pieces of work (at least 1); does
    // nothing when it runs.
    void Start(size_t ACapacity);
    // Stops and joins the thread; does nothing when it is not running.
    void Stop(TStopMode AMode);
    // Whether the thread takes work: read without the lock, on every buffer, so it is a hint
    // that Add confirms under the lock.
    bool Running() const noexcept;
    // True on the processing thread.
    bool IsProcessingThread() const noexcept;

    // Queues AWork, waiting while the queue is full. False (nothing queued) when the thread is
    // not running or stops while waiting.
    bool Add(TWork AWork);
    // Waits until every piece of work queued before the call has run, or was dropped by a Stop
    // meanwhile. Returns at once when the thread is not running and on the processing thread
    // (which cannot wait for itself).
    void Drain();
    size_t Pending() const;

private:
    void Run();

    size_t FCapacity = 1;
    const std::function<void(std::exception_ptr)> FOnError;
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TWork> FQueue;
    bool FRunning = false;
    bool FStopping = false;
    std::atomic<bool> FAccepting{false}; // FRunning && !FStopping, written under FLock
    bool FBusy = false;
    uint64_t FAdded = 0; // pieces of work queued since the thread was made
    uint64_t FDone = 0;  // of those, the ones that have run or were dropped
    std::thread FThread;
    std::thread::id FThreadId;
};

} // namespace sonvera
