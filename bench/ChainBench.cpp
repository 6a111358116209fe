// The per-buffer cost of a chain: generator -> pass-through filter -> output, 1024-frame stereo
// 16-bit buffers. The output pumps the generator (a pump request per buffer) so that the whole
// hop runs on the benchmark's thread; the filter processes inline or on its own thread. Beside
// it, a memcpy of one buffer's bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "BenchSupport.h"
#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/components/SVCommonGen.h"

using namespace sonvera;
using namespace sonvera::bench;

namespace {

constexpr int32_t KFrames = 1024;

// Leaves the samples as the allocator gives them: the chain's cost, not a fill's.
class TSilentGen : public TSVCommonGen {
public:
    using TSVCommonGen::TSVCommonGen;
    ~TSilentGen() override { Stop(); }

protected:
    void GenerateBuffer(TRef<ISVAudioBuffer>&, bool&, bool&) override {}
};

void BM_Chain(benchmark::State& AState) {
    StartChainUnits();
    TSilentGen gen(nullptr);
    TSVCommonFilter filter(nullptr);
    TCountingOut out(nullptr);
    gen.GetAudioFormat()->SetSampleRate(44100);
    gen.GetAudioFormat()->SetBufferSize(KFrames);
    filter.SetThreaded(AState.range(0) != 0);
    gen.GetOutputPin()->Connect(filter.GetInputPin());
    filter.GetOutputPin()->Connect(out.GetInputPin());
    gen.Start();
    out.GetInputPin()->Notify(TPXMasterPumpOperation::Create());
    const TRef<IPXNotifyOperation> request = TPXPumpRequestOperation::Create();
    for (auto _ : AState)
        out.GetInputPin()->Notify(request);
    gen.Stop();
    if (out.Buffers != static_cast<int64_t>(AState.iterations()))
        AState.SkipWithError("buffers were lost");
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_Chain)->Arg(0)->ArgName("threaded")->UseRealTime();
BENCHMARK(BM_Chain)->Arg(1)->ArgName("threaded")->UseRealTime();

void BM_MemcpyOneBuffer(benchmark::State& AState) {
    std::vector<uint8_t> source(KFrames * 4, 1), destination(KFrames * 4);
    for (auto _ : AState) {
        std::memcpy(destination.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(AState.iterations());
}
BENCHMARK(BM_MemcpyOneBuffer);

} // namespace
