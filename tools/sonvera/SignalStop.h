// Ctrl-C for a running chain: SIGINT, SIGTERM and SIGHUP ask the chain to stop (TSVChain::Stop
// is safe in a signal handler) while a guard lives; the command then cleans up and exits with
// 128 + the signal.
#pragma once

namespace sonvera {
class TSVChain;
}

namespace sonvera::tool {

class TSignalStop {
public:
    explicit TSignalStop(TSVChain& AChain);
    ~TSignalStop();
    TSignalStop(const TSignalStop&) = delete;
    TSignalStop& operator=(const TSignalStop&) = delete;

    // The signal that stopped the chain; 0 when none came.
    static int Signal() noexcept;

private:
    void (*FPrevious[3])(int);
};

} // namespace sonvera::tool
