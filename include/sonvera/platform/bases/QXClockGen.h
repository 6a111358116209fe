// The clock generator: a thread that calls its callback once every interval (in units of
// 100 ns), measured on a time source. The steady source sleeps to absolute deadlines, so no
// drift accumulates however long the clock runs; the manual source moves only when told, so
// that tests and benchmarks tick a clock by hand without sleeping.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace sonvera {

class TPersistent;

// Time in units of 100 ns. A clock attaches itself to its source before its thread starts and
// detaches when the thread ends.
class IQXTimeSource {
public:
    virtual ~IQXTimeSource() = default;
    virtual int64_t Now() = 0;
    virtual void Attach() {}
    virtual void Detach() {}
    // Waits until Now() reaches ADeadline (true) or AStop is set (false).
    virtual bool WaitUntil(int64_t ADeadline, const std::atomic<bool>& AStop) = 0;
    // Wakes every waiter to look at its stop flag again.
    virtual void Wake() = 0;
};

class TQXSteadyTimeSource : public IQXTimeSource {
public:
    int64_t Now() override;
    bool WaitUntil(int64_t ADeadline, const std::atomic<bool>& AStop) override;
    void Wake() override;

private:
    std::mutex FLock;
    std::condition_variable FChanged;
};

// Starts at 0. Advance moves the time on and returns once every attached clock has run the
// ticks that fell due and waits for a later deadline again, so a test sees their effects right
// after the call. Advance must not be called from a tick.
class TQXManualTimeSource : public IQXTimeSource {
public:
    int64_t Now() override;
    void Attach() override;
    void Detach() override;
    bool WaitUntil(int64_t ADeadline, const std::atomic<bool>& AStop) override;
    void Wake() override;
    void Advance(int64_t AUnits);

private:
    bool AllParked() const;

    std::mutex FLock;
    std::condition_variable FChanged;
    int64_t FNow = 0;
    int32_t FAttached = 0;
    std::multiset<int64_t> FDeadlines; // of the clocks waiting now
};

// Never waits: a clock on it ticks again as soon as its tick returns, so that a generator whose
// tick delivers synchronously runs exactly as fast as its chain accepts. Once held, its clocks
// wait for their stop instead (a generator whose data has run out parks its clock that way
// until the stream stops).
class TQXFreeRunningTimeSource : public IQXTimeSource {
public:
    int64_t Now() override { return 0; }
    bool WaitUntil(int64_t ADeadline, const std::atomic<bool>& AStop) override;
    void Wake() override;
    void Hold();

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FHeld = false;
};

class TQXClockGen {
public:
    using TTick = std::function<void()>;

    // Starts the clock thread at once; the first tick comes one interval after the start.
    // AInterval below 1 is taken as 1. A null ATimeSource uses a steady source. A tick that
    // throws ends the ticking (the thread waits to be joined).
    TQXClockGen(TPersistent* AOwner, int64_t AInterval, TTick AOnTick,
                std::shared_ptr<IQXTimeSource> ATimeSource = nullptr);
    TQXClockGen(const TQXClockGen&) = delete;
    TQXClockGen& operator=(const TQXClockGen&) = delete;
    // Stops the thread and joins it, after a tick in progress. Destroyed from its own tick, the
    // clock lets the thread end by itself once the tick returns, with no further tick.
    ~TQXClockGen();

    TPersistent* GetOwner() const noexcept { return FOwner; }
    int64_t GetInterval() const noexcept { return FInterval; }
    uint64_t GetTicks() const noexcept;
    bool IsClockThread() const noexcept { return std::this_thread::get_id() == FThread.get_id(); }

private:
    // What the thread uses; it outlives the clock object when the clock is destroyed from a tick.
    struct TState {
        TTick OnTick;
        std::shared_ptr<IQXTimeSource> TimeSource;
        std::atomic<bool> Stop{false};
        std::atomic<uint64_t> Ticks{0};
    };
    static void Run(std::shared_ptr<TState> AState, int64_t AFirst, int64_t AInterval);

    TPersistent* FOwner;
    const int64_t FInterval;
    std::shared_ptr<TState> FState;
    std::thread FThread;
};

} // namespace sonvera
