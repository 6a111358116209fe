// The per-buffer cost of each effect on 1024-frame stereo float buffers (a sine at half scale,
// so that the dynamics work), delivered through a pin into the effect and on to an output that
// drops them; beside it, a memcpy of one buffer's bytes and the bare delivery through a filter
// that passes buffers on untouched.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "BenchSupport.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/effects/SVBiquadFilters.h"
#include "sonvera/effects/SVEffects.h"
#include "sonvera/effects/SVMixFilter.h"

using namespace sonvera;
using namespace sonvera::bench;

namespace {

constexpr int32_t KFrames = 1024;

// Each iteration: a fresh buffer sharing the sine's samples (the effect writes a private copy,
// as it does in a chain), one hop through the effect.
const TSVWaveFormatExtensible& StereoFloat() {
    static const TSVWaveFormatExtensible format = SVFloatFormatOf(
        TPXStartWaveOperation::CreateFormatObject(44100, 32, 2, false)->GetWaveFormat());
    return format;
}

TRef<TSVAudioBuffer> Sine() {
    const TRef<TSVAudioBuffer> sine =
        TSVAudioBuffer::CreateWaveFormatObject(&StereoFloat(), KFrames);
    auto* samples = static_cast<float*>(sine->Write());
    for (int32_t i = 0; i < 2 * KFrames; ++i)
        samples[i] = 0.5f * std::sin(float(i / 2) * 0.0627f);
    return sine;
}

// The sine as 16-bit samples, as a chain from a 16-bit file carries it.
TRef<TSVAudioBuffer> Sine16() {
    const TRef<TSVAudioBuffer> sine = TSVAudioBuffer::CreateSizeObject(44100, 16, 2, KFrames);
    Sine()->CopyToAudio(0, sine, 0, KFrames);
    return sine;
}

void RunFilter(benchmark::State& AState, TSVCommonFilter& AFilter,
               const TRef<TSVAudioBuffer>& ASamples = Sine()) {
    TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
    TCountingOut out(nullptr);
    up.Connect(AFilter.GetInputPin());
    AFilter.GetOutputPin()->Connect(out.GetInputPin());
    const TSVWaveFormatExtensible format = ASamples->GetWaveFormat();
    up.Notify(TPXStartWaveOperation::Create(&format, false));
    for (auto _ : AState)
        up.SubmitBuffer(TSVAudioBuffer::CreateEx(ASamples));
    up.Notify(TPXStopOperation::Create());
    AState.SetItemsProcessed(AState.iterations() * KFrames * 2);
}

void BM_Effect(benchmark::State& AState, const TComponentClass* AClass) {
    StartChainUnits(RegisterSVEffects);
    const std::unique_ptr<TPersistent> effect = AClass->Factory(nullptr);
    RunFilter(AState, *static_cast<TSVCommonFilter*>(effect.get()));
}

// Each iteration: one buffer on each of two inputs (unstamped, so each follows the last) and the
// one mixed buffer they make.
void BM_MixTwo(benchmark::State& AState) {
    StartChainUnits(RegisterSVEffects);
    TSVMixFilter mix(nullptr);
    TSVPXAudioSourcePin first(nullptr, nullptr, nullptr, nullptr);
    TSVPXAudioSourcePin second(nullptr, nullptr, nullptr, nullptr);
    TCountingOut out(nullptr);
    first.Connect(mix.GetInputPin(0));
    second.Connect(mix.GetInputPin(1));
    mix.GetOutputPin()->Connect(out.GetInputPin());
    mix.SetGains("-3 -3");
    for (TSVPXAudioSourcePin* pin : {&first, &second})
        pin->Notify(TPXStartWaveOperation::Create(&StereoFloat(), false));
    const TRef<TSVAudioBuffer> sine = Sine();
    for (auto _ : AState) {
        first.SubmitBuffer(TSVAudioBuffer::CreateEx(sine));
        second.SubmitBuffer(TSVAudioBuffer::CreateEx(sine));
    }
    for (TSVPXAudioSourcePin* pin : {&first, &second})
        pin->Notify(TPXStopOperation::Create());
    AState.SetItemsProcessed(AState.iterations() * KFrames * 2);
}

// Two sections per channel, which the vector kernels run side by side.
void BM_HighpassFourPoles(benchmark::State& AState) {
    StartChainUnits(RegisterSVEffects);
    TSVHighpassFilter highpass(nullptr);
    highpass.SetPoles(4);
    RunFilter(AState, highpass);
}

void BM_GainOnFloat(benchmark::State& AState) {
    StartChainUnits(RegisterSVEffects);
    TSVGainFilter gain(nullptr);
    gain.SetGain(0.5);
    RunFilter(AState, gain);
}

// 16-bit samples, rounded and saturated. Argument: twice the factor (1: a cut to half, 8: a
// fourfold boost, which clips about half the samples).
void BM_GainOn16Bit(benchmark::State& AState) {
    StartChainUnits(RegisterSVEffects);
    TSVGainFilter gain(nullptr);
    gain.SetGain(double(AState.range(0)) / 2);
    RunFilter(AState, gain, Sine16());
}

void BM_PassThrough(benchmark::State& AState) {
    StartChainUnits(RegisterSVEffects);
    TSVCommonFilter filter(nullptr);
    RunFilter(AState, filter);
}

void BM_Memcpy(benchmark::State& AState) {
    std::vector<float> from(2 * KFrames, 0.25f), to(2 * KFrames);
    for (auto _ : AState) {
        std::memcpy(to.data(), from.data(), from.size() * sizeof(float));
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(AState.iterations() * KFrames * 2);
}

const bool GRegistered = [] {
    static const std::vector<TComponentClass> classes = SVEffectClasses();
    for (const TComponentClass& effect : classes)
        if (effect.Class != &TSVMixFilter::ClassInfo()) // several inputs: BM_MixTwo
            benchmark::RegisterBenchmark(("BM_Effect/" + effect.Class->ShortName).c_str(),
                                         BM_Effect, &effect);
    return true;
}();

} // namespace

BENCHMARK(BM_Memcpy);
BENCHMARK(BM_PassThrough);
BENCHMARK(BM_GainOnFloat);
BENCHMARK(BM_GainOn16Bit)->Arg(1)->Arg(8);
BENCHMARK(BM_HighpassFourPoles);
BENCHMARK(BM_MixTwo);
