// The true-peak oversampler on one channel of 4096 float samples, beside libebur128's true-peak
// measurement of the same samples (what the loudness meter would otherwise call) and a memcpy
// of their bytes. Items are samples.
#include <benchmark/benchmark.h>
#include <ebur128.h>

#include <cstring>
#include <random>
#include <vector>

#include "sonvera/primitives/SVTruePeak.h"

using namespace sonvera;

namespace {

constexpr int32_t KSamples = 4096;

std::vector<float> Noise() {
    std::vector<float> samples(KSVTruePeakHistory + KSamples);
    std::mt19937 random(1);
    std::uniform_real_distribution<float> real(-0.5f, 0.5f);
    for (float& sample : samples)
        sample = real(random);
    return samples;
}

void BM_TruePeak(benchmark::State& AState) {
    const std::vector<float> samples = Noise();
    for (auto _ : AState)
        benchmark::DoNotOptimize(SVTruePeak_32f(samples.data() + KSVTruePeakHistory, KSamples));
    AState.SetItemsProcessed(AState.iterations() * KSamples);
}
BENCHMARK(BM_TruePeak);

void BM_TruePeakLibebur128(benchmark::State& AState) {
    const std::vector<float> samples = Noise();
    ebur128_state* meter = ebur128_init(1, 48000, EBUR128_MODE_TRUE_PEAK);
    for (auto _ : AState)
        ebur128_add_frames_float(meter, samples.data(), KSamples);
    double peak = 0;
    ebur128_true_peak(meter, 0, &peak);
    benchmark::DoNotOptimize(peak);
    ebur128_destroy(&meter);
    AState.SetItemsProcessed(AState.iterations() * KSamples);
}
BENCHMARK(BM_TruePeakLibebur128);

void BM_TruePeakMemcpy(benchmark::State& AState) {
    const std::vector<float> samples = Noise();
    std::vector<float> copy(samples.size());
    for (auto _ : AState) {
        std::memcpy(copy.data(), samples.data(), KSamples * sizeof(float));
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(AState.iterations() * KSamples);
}
BENCHMARK(BM_TruePeakMemcpy);

} // namespace
