#include "sonvera/platform/bases/QXClockGen.h"

#include <algorithm>
#include <chrono>

namespace sonvera {

namespace {

using TUnits = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;

} // namespace

// --- Steady source ---------------------------------------------------------------------------

int64_t TQXSteadyTimeSource::Now() {
    return std::chrono::duration_cast<TUnits>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool TQXSteadyTimeSource::WaitUntil(int64_t ADeadline, const std::atomic<bool>& AStop) {
    const std::chrono::steady_clock::time_point deadline{
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(TUnits(ADeadline))};
    std::unique_lock<std::mutex> guard(FLock);
    while (!AStop.load()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return true;
        FChanged.wait_until(guard, deadline);
    }
    return false;
}

void TQXSteadyTimeSource::Wake() {
    std::lock_guard<std::mutex> guard(FLock);
    FChanged.notify_all();
}

// --- Manual source ---------------------------------------------------------------------------

int64_t TQXManualTimeSource::Now() {
    std::lock_guard<std::mutex> guard(FLock);
    return FNow;
}

void TQXManualTimeSource::Attach() {
    std::lock_guard<std::mutex> guard(FLock);
    ++FAttached;
}

void TQXManualTimeSource::Detach() {
    std::lock_guard<std::mutex> guard(FLock);
    --FAttached;
    FChanged.notify_all();
}

bool TQXManualTimeSource::WaitUntil(int64_t ADeadline, const std::atomic<bool>& AStop) {
    std::unique_lock<std::mutex> guard(FLock);
    const auto parked = FDeadlines.insert(ADeadline);
    FChanged.notify_all(); // an Advance may be waiting for this clock to park
    FChanged.wait(guard, [&] { return AStop.load() || FNow >= ADeadline; });
    FDeadlines.erase(parked);
    return !AStop.load();
}

void TQXManualTimeSource::Wake() {
    std::lock_guard<std::mutex> guard(FLock);
    FChanged.notify_all();
}

bool TQXManualTimeSource::AllParked() const {
    const auto later = std::distance(FDeadlines.upper_bound(FNow), FDeadlines.end());
    return later >= FAttached;
}

void TQXManualTimeSource::Advance(int64_t AUnits) {
    std::unique_lock<std::mutex> guard(FLock);
    FNow += AUnits;
    FChanged.notify_all();
    FChanged.wait(guard, [&] { return AllParked(); });
}

// --- Free-running source ---------------------------------------------------------------------

bool TQXFreeRunningTimeSource::WaitUntil(int64_t, const std::atomic<bool>& AStop) {
    std::unique_lock<std::mutex> guard(FLock);
    FChanged.wait(guard, [&] { return !FHeld || AStop.load(); });
    return !AStop.load();
}

void TQXFreeRunningTimeSource::Wake() {
    std::lock_guard<std::mutex> guard(FLock);
    FChanged.notify_all();
}

void TQXFreeRunningTimeSource::Hold() {
    std::lock_guard<std::mutex> guard(FLock);
    FHeld = true;
}

// --- Clock -----------------------------------------------------------------------------------

TQXClockGen::TQXClockGen(TPersistent* AOwner, int64_t AInterval, TTick AOnTick,
                         std::shared_ptr<IQXTimeSource> ATimeSource)
    : FOwner(AOwner), FInterval(std::max<int64_t>(AInterval, 1)),
      FState(std::make_shared<TState>()) {
    FState->OnTick = std::move(AOnTick);
    FState->TimeSource =
        ATimeSource ? std::move(ATimeSource) : std::make_shared<TQXSteadyTimeSource>();
    FState->TimeSource->Attach();
    const int64_t first = FState->TimeSource->Now() + FInterval;
    FThread = std::thread(Run, FState, first, FInterval);
}

TQXClockGen::~TQXClockGen() {
    FState->Stop = true;
    FState->TimeSource->Wake();
    if (IsClockThread())
        FThread.detach();
    else
        FThread.join();
}

uint64_t TQXClockGen::GetTicks() const noexcept {
    return FState->Ticks.load();
}

void TQXClockGen::Run(std::shared_ptr<TState> AState, int64_t AFirst, int64_t AInterval) {
    // Deadlines are absolute: a late tick does not move the ones after it.
    for (int64_t deadline = AFirst; AState->TimeSource->WaitUntil(deadline, AState->Stop);
         deadline += AInterval) {
        try {
            AState->OnTick();
        } catch (...) {
            AState->Stop = true; // a tick that fails ends the ticking; the owner stops the clock
        }
        ++AState->Ticks;
        if (AState->Stop.load())
            break;
    }
    AState->TimeSource->Detach();
}

} // namespace sonvera
