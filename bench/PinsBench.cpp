// The cost of one hop along a connection: submitting an existing buffer (the supplied-buffer
// operation's allocation included), notifying a stop, and the type tests a filter's dispatcher
// runs per buffer. Items are deliveries.
#include <benchmark/benchmark.h>

#include <array>
#include <memory>

#include "BenchSupport.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/streams/SVStreamTypes.h"

using namespace sonvera;
using namespace sonvera::bench;

namespace {

// A sink that does what every dispatcher does first: look at what arrived.
bool Consume(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    benchmark::DoNotOptimize(OperationAs<TPXSuppliedBufferOperation>(AOperation));
    return true;
}

void BM_SubmitBuffer(benchmark::State& AState) {
    StartChainUnits();
    const auto sinks = static_cast<size_t>(AState.range(0));
    TSVPXAudioSourcePin source(nullptr, nullptr, nullptr, nullptr);
    std::vector<std::unique_ptr<TSVPXAudioSinkPin>> pins;
    for (size_t i = 0; i < sinks; ++i) {
        pins.push_back(std::make_unique<TSVPXAudioSinkPin>(nullptr, nullptr, nullptr, Consume));
        source.Connect(pins.back().get());
    }
    const TRef<IQXData> buffer = TSVAudioBuffer::CreateSize(44100, 16, 2, 1024);
    for (auto _ : AState)
        benchmark::DoNotOptimize(source.SubmitBuffer(buffer));
    AState.SetItemsProcessed(AState.iterations() * static_cast<int64_t>(sinks));
}
BENCHMARK(BM_SubmitBuffer)->Arg(1)->Arg(4);

void BM_NotifyStop(benchmark::State& AState) {
    StartChainUnits();
    TSVPXAudioSourcePin source(nullptr, nullptr, nullptr, nullptr);
    TSVPXAudioSinkPin sink(nullptr, nullptr, nullptr, Consume);
    source.Connect(&sink);
    const TRef<IPXNotifyOperation> stop = TPXStopOperation::Create();
    for (auto _ : AState)
        benchmark::DoNotOptimize(source.Notify(stop));
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_NotifyStop);

// A filter's dispatcher tests start-wave, stop, pump request, start pump and supplied buffer
// before it reaches a buffer: the whole chain for one buffer.
void BM_DispatcherTypeTests(benchmark::State& AState) {
    const std::array<TRef<IPXNotifyOperation>, 2> operations = {
        TPXSuppliedBufferOperation::Create(nullptr), TPXStopOperation::Create()};
    size_t i = 0;
    for (auto _ : AState) {
        const TRef<IPXNotifyOperation>& op = operations[i++ & 1];
        benchmark::DoNotOptimize(OperationAs<TPXStartWaveOperation>(op));
        benchmark::DoNotOptimize(OperationAs<TPXStopOperation>(op));
        benchmark::DoNotOptimize(OperationAs<TPXPumpRequestOperation>(op));
        benchmark::DoNotOptimize(OperationAs<TPXStartPumpOperation>(op));
        benchmark::DoNotOptimize(OperationAs<TPXMasterPumpOperation>(op));
        benchmark::DoNotOptimize(OperationAs<TPXSuppliedBufferOperation>(op));
    }
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_DispatcherTypeTests);

} // namespace
