// Signals that end the tool: SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGPIPE. While a guard lives
// they are caught instead of killing the process, so that the running chain can stop, remove
// the file it started and the tool exit with 128 + the signal's number, as shells and
// supervisors expect (130 for Ctrl-C).
//
// The handler records the signal and runs the guard's action, which must be
// async-signal-safe: it may only set lock-free atomics, such as a file source's Interrupt,
// which ends a read that waits on a stalled pipe. Blocking system calls are not restarted, so
// a poll or a read returns at once with EINTR. Guards nest (the innermost action runs); the
// handlers are installed by the outermost one and restored when it goes. Everything else -
// stopping the chain, cleaning up - runs on the tool's own thread, which asks Caught or calls
// ThrowIfCaught between steps.
#pragma once

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera::tool {

// Raised when a caught signal ended the work; main exits with GetExitCode.
class EInterrupted : public Exception {
public:
    explicit EInterrupted(int ASignal);
    int GetSignal() const noexcept { return FSignal; }
    int GetExitCode() const noexcept { return 128 + FSignal; }

private:
    int FSignal;
};

class TSignalGuard {
public:
    // Runs inside the signal handler with the context given to the guard.
    using TAction = void (*)(void* AContext) noexcept;

    explicit TSignalGuard(TAction AAction = nullptr, void* AContext = nullptr);
    ~TSignalGuard();
    TSignalGuard(const TSignalGuard&) = delete;
    TSignalGuard& operator=(const TSignalGuard&) = delete;

    // The first signal caught since the outermost guard was made; 0 while none.
    static int Caught() noexcept;
    // Raises EInterrupted when a signal was caught.
    static void ThrowIfCaught();

private:
    TAction FPreviousAction;
    void* FPreviousContext;
};

} // namespace sonvera::tool
