// Per-unit start-up guard: a unit's Initialize runs its work on the first call only and its
// Finalize on the call that balances the first; every other call only counts.
#pragma once

#include <mutex>

namespace sonvera {

// Constant-initialised, so a counter is usable from any other unit's start-up code whatever
// the order of static initialisation.
class TUnitInitCounter {
public:
    constexpr TUnitInitCounter() noexcept = default;

    // Runs AWork when the count goes from 0 to 1; when AWork throws, the count stays at 0.
    template <class TWork> void Initialize(TWork&& AWork) {
        std::lock_guard<std::mutex> guard(FLock);
        if (FCount == 0)
            AWork();
        ++FCount;
    }
    // Runs AWork when the count goes from 1 to 0; an unbalanced call does nothing.
    template <class TWork> void Finalize(TWork&& AWork) {
        std::lock_guard<std::mutex> guard(FLock);
        if (FCount == 0)
            return;
        if (--FCount == 0)
            AWork();
    }
    int Count() const {
        std::lock_guard<std::mutex> guard(FLock);
        return FCount;
    }

private:
    mutable std::mutex FLock;
    int FCount = 0;
};

} // namespace sonvera
