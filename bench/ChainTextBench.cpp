// The per-buffer cost of a chain built from chain text beside the same chain built in C++:
// tone -> gain (0.5) -> output, 1024-frame stereo 16-bit buffers, the output pumping the tone
// on the benchmark's thread. Beside them, a memcpy of one buffer's bytes (ChainBench.cpp).
#include <benchmark/benchmark.h>

#include "BenchSupport.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/components/SVComponentClasses.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/components/SVToneGen.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;
using namespace sonvera::bench;

namespace {

// Pumps AOut's chain once per iteration, from AOut's input. The tone runs on the wall clock
// until the master pump takes it over, a buffer's time later at the earliest.
void Pump(benchmark::State& AState, TQXBasicCommonGen& ATone, TCountingOut& AOut) {
    ATone.Start();
    AOut.GetInputPin()->Notify(TPXMasterPumpOperation::Create());
    const TRef<IPXNotifyOperation> request = TPXPumpRequestOperation::Create();
    for (auto _ : AState)
        AOut.GetInputPin()->Notify(request);
    ATone.Stop();
    TMainThread::ProcessQueue();
    if (AOut.Buffers != static_cast<int64_t>(AState.iterations()))
        AState.SkipWithError("buffers were lost");
    AState.SetItemsProcessed(AState.iterations());
}

void BM_ChainFromText(benchmark::State& AState) {
    StartChainUnits(RegisterSVComponentClasses);
    TSVChain chain =
        TSVChain::Parse("tone realtime=true audioformat.buffersize=1024 ! gain gain=0.5");
    TCountingOut out(nullptr);
    chain.Add(out, "out");
    chain.Connect("gain", "out");
    Pump(AState, dynamic_cast<TQXBasicCommonGen&>(*chain.Find("tone")), out);
}
BENCHMARK(BM_ChainFromText)->UseRealTime();

void BM_ChainInCpp(benchmark::State& AState) {
    StartChainUnits(RegisterSVComponentClasses);
    TSVToneGen tone(nullptr);
    TSVGainFilter gain(nullptr);
    TCountingOut out(nullptr);
    tone.SetRealtime(true);
    tone.GetAudioFormat()->SetBufferSize(1024);
    gain.SetGain(0.5);
    tone.GetOutputPin()->Connect(gain.GetInputPin());
    gain.GetOutputPin()->Connect(out.GetInputPin());
    Pump(AState, tone, out);
}
BENCHMARK(BM_ChainInCpp)->UseRealTime();

} // namespace
