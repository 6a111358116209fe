#include "SignalStop.h"

#include <atomic>
#include <csignal>
#include <iterator>

#include "sonvera/chain/SVChain.h"

namespace sonvera::tool {

namespace {

constexpr int KSignals[] = {SIGINT, SIGTERM, SIGHUP};

std::atomic<TSVChain*> GChain{nullptr};
volatile std::sig_atomic_t GSignal = 0;

void OnSignal(int ASignal) {
    GSignal = ASignal;
    if (TSVChain* chain = GChain.load())
        chain->Stop();
}

} // namespace

TSignalStop::TSignalStop(TSVChain& AChain) {
    GSignal = 0;
    GChain = &AChain;
    for (size_t i = 0; i < std::size(KSignals); ++i)
        FPrevious[i] = std::signal(KSignals[i], OnSignal);
}

TSignalStop::~TSignalStop() {
    for (size_t i = 0; i < std::size(KSignals); ++i)
        std::signal(KSignals[i], FPrevious[i]);
    GChain = nullptr;
}

int TSignalStop::Signal() noexcept {
    return GSignal;
}

} // namespace sonvera::tool
