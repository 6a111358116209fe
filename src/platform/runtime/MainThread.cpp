#include "sonvera/platform/runtime/MainThread.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/UnitInit.h"

namespace sonvera {

namespace {

TUnitInitCounter GMainThreadCounter;

// The outcome of one synchronized piece of work, handed from the pump to the waiting caller.
// The pump lets go of an exception before it hands it over, so that the caller, which reads it
// last, also destroys it: the exception's count lives in the C++ runtime, where a race detector
// cannot see it order the caller's reads before a destruction on the pump.
class TCompletion {
public:
    void Finish(std::exception_ptr AError) {
        {
            std::lock_guard<std::mutex> guard(FMutex);
            FError = std::move(AError);
            FDone = true;
        }
        FFinished.notify_all();
    }

    // Waits for Finish and raises the exception it was given.
    void Wait() {
        std::exception_ptr error;
        {
            std::unique_lock<std::mutex> lock(FMutex);
            FFinished.wait(lock, [this] { return FDone; });
            error = std::move(FError);
        }
        if (error)
            std::rethrow_exception(std::move(error));
    }

private:
    std::mutex FMutex;
    std::condition_variable FFinished;
    bool FDone = false;
    std::exception_ptr FError;
};

struct TQueuedWork {
    TMainThread::TWork Work;
    std::shared_ptr<TCompletion> Done; // only for Synchronize
};

struct TQueueState {
    std::mutex Mutex;
    std::condition_variable WorkArrived;
    std::deque<TQueuedWork> Queue;
    bool Open = false;
    std::atomic<std::thread::id> MainThread{};
};

TQueueState& State() {
    static TQueueState state;
    return state;
}

const char* const KCancelled = "Main-thread queue shut down before the work ran";

void RefuseEmpty(const TMainThread::TWork& AWork) {
    if (!AWork)
        throw EArgumentError("No work given to the main thread");
}

// False when the queue is closed.
bool Enqueue(TQueuedWork AItem) {
    TQueueState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.Mutex);
        if (!state.Open)
            return false;
        state.Queue.push_back(std::move(AItem));
    }
    state.WorkArrived.notify_all();
    return true;
}

bool Dequeue(TQueuedWork& AItem) {
    TQueueState& state = State();
    std::lock_guard<std::mutex> guard(state.Mutex);
    if (state.Queue.empty())
        return false;
    AItem = std::move(state.Queue.front());
    state.Queue.pop_front();
    return true;
}

// Posted work throws at the pump; synchronized work throws at its waiting caller.
void Run(TQueuedWork& AItem) {
    if (!AItem.Done) {
        AItem.Work();
        return;
    }
    std::exception_ptr error;
    try {
        AItem.Work();
    } catch (...) {
        error = std::current_exception();
    }
    AItem.Done->Finish(std::move(error));
}

} // namespace

void TMainThread::SetMainThread(std::thread::id AThread) {
    State().MainThread.store(AThread, std::memory_order_release);
}

std::thread::id TMainThread::MainThreadId() {
    return State().MainThread.load(std::memory_order_acquire);
}

bool TMainThread::IsMainThread() {
    return MainThreadId() == std::this_thread::get_id();
}

void TMainThread::Open() {
    TQueueState& state = State();
    std::lock_guard<std::mutex> guard(state.Mutex);
    state.Open = true;
}

void TMainThread::Shutdown() {
    TQueueState& state = State();
    std::deque<TQueuedWork> dropped;
    {
        std::lock_guard<std::mutex> guard(state.Mutex);
        state.Open = false;
        dropped.swap(state.Queue);
    }
    state.WorkArrived.notify_all();
    for (TQueuedWork& item : dropped)
        if (item.Done)
            item.Done->Finish(std::make_exception_ptr(EOperationCancelled(KCancelled)));
}

bool TMainThread::IsOpen() {
    TQueueState& state = State();
    std::lock_guard<std::mutex> guard(state.Mutex);
    return state.Open;
}

bool TMainThread::Post(TWork AWork) {
    RefuseEmpty(AWork);
    return Enqueue({std::move(AWork), nullptr});
}

void TMainThread::Synchronize(TWork AWork) {
    RefuseEmpty(AWork);
    if (IsMainThread()) {
        AWork();
        return;
    }
    auto done = std::make_shared<TCompletion>();
    if (!Enqueue({std::move(AWork), done}))
        throw EOperationCancelled(KCancelled);
    done->Wait();
}

size_t TMainThread::ProcessQueue() {
    SetMainThread(std::this_thread::get_id());
    size_t pending;
    {
        TQueueState& state = State();
        std::lock_guard<std::mutex> guard(state.Mutex);
        pending = state.Queue.size();
    }
    // Work queued while this call runs waits for the next call, so work that queues more work
    // cannot keep the pump here for ever.
    size_t ran = 0;
    TQueuedWork item;
    while (ran < pending && Dequeue(item)) {
        ++ran;
        Run(item);
        item = {};
    }
    return ran;
}

bool TMainThread::WaitForWork() {
    TQueueState& state = State();
    std::unique_lock<std::mutex> lock(state.Mutex);
    state.WorkArrived.wait(lock, [&] { return !state.Queue.empty() || !state.Open; });
    return !state.Queue.empty();
}

bool TMainThread::WaitForWork(std::chrono::nanoseconds ATimeout) {
    TQueueState& state = State();
    std::unique_lock<std::mutex> lock(state.Mutex);
    state.WorkArrived.wait_for(lock, ATimeout, [&] { return !state.Queue.empty() || !state.Open; });
    return !state.Queue.empty();
}

size_t TMainThread::Pending() {
    TQueueState& state = State();
    std::lock_guard<std::mutex> guard(state.Mutex);
    return state.Queue.size();
}

void InitializeMainThread() {
    GMainThreadCounter.Initialize([] {
        TMainThread::SetMainThread(std::this_thread::get_id());
        TMainThread::Open();
    });
}

void FinalizeMainThread() {
    GMainThreadCounter.Finalize([] { TMainThread::Shutdown(); });
}

} // namespace sonvera
