#include "SignalGuard.h"

#include <signal.h>

#include <atomic>
#include <cstring>

namespace sonvera::tool {

namespace {

constexpr int KSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};
constexpr int KSignalCount = sizeof(KSignals) / sizeof(KSignals[0]);

std::atomic<int> GCaught{0};
std::atomic<TSignalGuard::TAction> GAction{nullptr};
std::atomic<void*> GContext{nullptr};
int GDepth = 0; // guards alive; only the tool's thread makes them
struct sigaction GPrevious[KSignalCount];

static_assert(std::atomic<int>::is_always_lock_free &&
                  std::atomic<TSignalGuard::TAction>::is_always_lock_free &&
                  std::atomic<void*>::is_always_lock_free,
              "the handler may only touch lock-free atomics");

void OnSignal(int ASignal) {
    int none = 0;
    GCaught.compare_exchange_strong(none, ASignal);
    if (const TSignalGuard::TAction action = GAction.load())
        action(GContext.load());
}

} // namespace

EInterrupted::EInterrupted(int ASignal)
    : Exception(std::string("stopped by signal ") + std::to_string(ASignal) + " (" +
                strsignal(ASignal) + ")"),
      FSignal(ASignal) {}

TSignalGuard::TSignalGuard(TAction AAction, void* AContext)
    : FPreviousAction(GAction.load()), FPreviousContext(GContext.load()) {
    GAction = nullptr; // never the new action with the old context
    GContext = AContext;
    GAction = AAction;
    if (GDepth++ > 0)
        return;
    GCaught = 0;
    struct sigaction handler {};
    handler.sa_handler = OnSignal;
    sigemptyset(&handler.sa_mask);
    handler.sa_flags = 0; // no SA_RESTART: a blocked poll or read returns with EINTR
    for (int i = 0; i < KSignalCount; ++i)
        sigaction(KSignals[i], &handler, &GPrevious[i]);
}

TSignalGuard::~TSignalGuard() {
    if (--GDepth == 0)
        for (int i = 0; i < KSignalCount; ++i)
            sigaction(KSignals[i], &GPrevious[i], nullptr);
    GAction = nullptr;
    GContext = FPreviousContext;
    GAction = FPreviousAction;
}

int TSignalGuard::Caught() noexcept {
    return GCaught.load();
}

void TSignalGuard::ThrowIfCaught() {
    if (const int signal = GCaught.load())
        throw EInterrupted(signal);
}

} // namespace sonvera::tool
