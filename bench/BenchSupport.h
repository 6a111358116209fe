// What the benchmark programs share: starting the library's units once per program, the items
// a case reports, and an output that counts the buffers reaching it.
//
// A program of a low area calls only what its area links (StartBufferUnits, CountSamples); the
// rest is inline and costs it nothing.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/platform/pins/PXStreamRegistry.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera::bench {

// The dispatchers and the buffer unit: what buffers and their operations need.
inline void StartBufferUnits() {
    static const bool started = [] {
        InitializeQXBasicDispatcher();
        InitializeSVBasicDispatcher();
        InitializeSVSimpleAudioBuffer();
        return true;
    }();
    (void)started;
}

// The buffer units, the main thread, pins and stream types: what a chain needs. ARegister (a
// class registration such as RegisterSVEffects) runs with them, at the program's first call.
inline void StartChainUnits(void (*ARegister)() = nullptr) {
    static const bool started = [ARegister] {
        StartBufferUnits();
        InitializeMainThread();
        InitializePXStreams();
        InitializeSVStreamTypes();
        if (ARegister)
            ARegister();
        return true;
    }();
    (void)started;
}

// Reports ASamples samples per iteration, so that Google Benchmark prints samples per second.
inline void CountSamples(benchmark::State& AState, int64_t ASamples) {
    AState.SetItemsProcessed(AState.iterations() * ASamples);
}

// An output that drops what arrives and counts the buffers, so that a case can tell whether
// every buffer it sent came through.
class TCountingOut : public TSVBasicAudioOut {
public:
    using TSVBasicAudioOut::TSVBasicAudioOut;
    int64_t Buffers = 0;
    bool SinkDispatch(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                      uint32_t) override {
        Buffers += OperationAs<TPXSuppliedBufferOperation>(AOperation) != nullptr;
        return true;
    }
};

} // namespace sonvera::bench
