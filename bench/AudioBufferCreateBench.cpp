// Building audio buffers from caller data and taking channels out of them, each beside the
// BM_Memcpy case of the bytes it writes (defined with the other audio buffer cases). Items are
// samples.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "BenchSupport.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"

using namespace sonvera;
using namespace sonvera::bench;

namespace {

constexpr int32_t KTickFrames = 1024;
constexpr int32_t KFrames = 16384;

// One tick of stereo 16 bits copied in: writes 4 KiB (BM_Memcpy/4096).
void BM_CreateData16(benchmark::State& AState) {
    StartBufferUnits();
    const std::vector<int16_t> samples(2 * KTickFrames, 1234);
    for (auto _ : AState) {
        TRef<ISVAudioBuffer> buffer =
            TSVAudioBuffer::CreateData(samples.data(), 44100, 16, 2, KTickFrames);
        benchmark::DoNotOptimize(buffer.get());
    }
    CountSamples(AState, 2 * KTickFrames);
}
BENCHMARK(BM_CreateData16);

std::vector<float> Sine(size_t ACount) {
    std::vector<float> values(ACount);
    for (size_t i = 0; i < ACount; ++i)
        values[i] = static_cast<float>(std::sin(0.01 * static_cast<double>(i)));
    return values;
}

// KFrames stereo frames of floats to 32 bits: writes 128 KiB (BM_Memcpy/131072). Argument:
// the stride in bytes; 8 is interleaved, 4096 planar blocks of 1024 frames per channel.
void BM_CreateFloatData(benchmark::State& AState) {
    StartBufferUnits();
    const auto stride = static_cast<uint32_t>(AState.range(0));
    const std::vector<float> values = Sine(2 * KFrames);
    for (auto _ : AState) {
        TRef<ISVAudioBuffer> buffer =
            TSVAudioBuffer::CreateFloatData(values.data(), 44100, 2, stride, KFrames);
        benchmark::DoNotOptimize(buffer.get());
    }
    CountSamples(AState, 2 * KFrames);
}
BENCHMARK(BM_CreateFloatData)->Arg(8)->Arg(4096);

// One channel of KFrames stereo frames as 32-bit integers: writes 64 KiB (BM_Memcpy/65536).
// Argument: the width.
void BM_GetChannel(benchmark::State& AState) {
    StartBufferUnits();
    const auto width = static_cast<int32_t>(AState.range(0));
    const TRef<TSVAudioBuffer> source = TSVAudioBuffer::CreateSizeObject(44100, width, 2, KFrames);
    auto* bytes = static_cast<uint8_t*>(source->Write());
    for (uint32_t i = 0; i < source->GetByteSize(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    for (auto _ : AState) {
        TRef<IQXIntegerBuffer> channel = source->GetChannel(1);
        benchmark::DoNotOptimize(channel.get());
    }
    CountSamples(AState, KFrames);
}
BENCHMARK(BM_GetChannel)->Arg(8)->Arg(16)->Arg(24)->Arg(32);

} // namespace
