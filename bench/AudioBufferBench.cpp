// The audio buffer's hot paths, each beside a memcpy of the bytes it produces (BM_Memcpy with
// the byte count as argument). Items are samples.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "BenchSupport.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"

using namespace sonvera;
using namespace sonvera::bench;

namespace {

// A buffer of one pump tick: 1024 stereo frames (4 KiB of 16-bit samples).
constexpr int32_t KTickFrames = 1024;
// Conversions and arithmetic run on longer buffers, so that the call overhead fades.
constexpr int32_t KFrames = 16384;

const TSVSpeakers KStereo = KSVSpeakersStereo;
const TSVSpeakers KSurround51 = KSVSpeakers5Point1;

// A buffer whose samples are a ramp of bytes, so that no width sees only zeros.
TRef<TSVAudioBuffer> FilledBuffer(int32_t ABits, int32_t AChannels, TSVSpeakers AMask,
                                  int32_t AFrames) {
    TRef<TSVAudioBuffer> buffer =
        TSVAudioBuffer::CreateSizeExObject(44100, ABits, AChannels, AFrames, AMask);
    auto* bytes = static_cast<uint8_t*>(buffer->Write());
    for (uint32_t i = 0; i < buffer->GetByteSize(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    return buffer;
}

// Argument: bytes. Items are bytes here; the ratio to an operation is taken per byte count.
void BM_Memcpy(benchmark::State& AState) {
    const auto size = static_cast<size_t>(AState.range(0));
    std::vector<uint8_t> source(size, 1), target(size);
    for (auto _ : AState) {
        benchmark::DoNotOptimize(source.data());
        std::memcpy(target.data(), source.data(), size);
        benchmark::ClobberMemory();
    }
    AState.SetBytesProcessed(AState.iterations() * static_cast<int64_t>(size));
}
// The byte counts the cases below write: 4 KiB (one tick), 32, 64, 96 and 128 KiB (one run of
// KFrames stereo samples of 8, 16, 24 and 32 bits; 128 KiB is also a channel of doubles) and
// 288 KiB (KFrames frames of 5.1 at 24 bits).
BENCHMARK(BM_Memcpy)
    ->Arg(4 << 10)
    ->Arg(32 << 10)
    ->Arg(64 << 10)
    ->Arg(96 << 10)
    ->Arg(128 << 10)
    ->Arg(288 << 10);

// A store for 4 KiB of samples: compare with BM_Memcpy/4096.
void BM_CreateRelease(benchmark::State& AState) {
    StartBufferUnits();
    for (auto _ : AState) {
        TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateSize(44100, 16, 2, KTickFrames);
        benchmark::DoNotOptimize(buffer.get());
    }
    CountSamples(AState, 2 * KTickFrames);
}
BENCHMARK(BM_CreateRelease);

// A sharing copy made private for overwriting (Write: header only) or for changing (Modify:
// all 4 KiB copied): compare with BM_Memcpy/4096.
void BM_CreateCopyWrite(benchmark::State& AState) {
    StartBufferUnits();
    const TRef<ISVAudioBuffer> source = FilledBuffer(16, 2, KStereo, KTickFrames);
    for (auto _ : AState) {
        TRef<ISVAudioBuffer> copy = TSVAudioBuffer::CreateCopy(source);
        benchmark::DoNotOptimize(copy->Write());
    }
    CountSamples(AState, 2 * KTickFrames);
}
BENCHMARK(BM_CreateCopyWrite);

void BM_CreateCopyModify(benchmark::State& AState) {
    StartBufferUnits();
    const TRef<ISVAudioBuffer> source = FilledBuffer(16, 2, KStereo, KTickFrames);
    for (auto _ : AState) {
        TRef<ISVAudioBuffer> copy = TSVAudioBuffer::CreateCopy(source);
        benchmark::DoNotOptimize(copy->Modify());
        benchmark::ClobberMemory();
    }
    CountSamples(AState, 2 * KTickFrames);
}
BENCHMARK(BM_CreateCopyModify);

// Arguments: source and destination widths. One channel of KFrames stereo frames; the
// destination run spans KFrames * 2 * to / 8 bytes.
void BM_ConvertBits(benchmark::State& AState) {
    StartBufferUnits();
    const auto from = static_cast<int32_t>(AState.range(0));
    const auto to = static_cast<int32_t>(AState.range(1));
    const TRef<TSVAudioBuffer> source = FilledBuffer(from, 2, KStereo, KFrames);
    const TRef<TSVAudioBuffer> target = FilledBuffer(to, 2, KStereo, KFrames);
    void* targetSamples = target->Modify();
    for (auto _ : AState) {
        ConvertBits(source->Read(), from, source->GetDataStep(), targetSamples, to,
                    target->GetDataStep(), KFrames);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KFrames);
}
BENCHMARK(BM_ConvertBits)->ArgsProduct({{8, 16, 24, 32}, {8, 16, 24, 32}});

// Stereo 16 bits into 5.1 24 bits: writes KFrames * 18 bytes (BM_Memcpy/294912).
void BM_CopyToAudioStereo16To51x24(benchmark::State& AState) {
    StartBufferUnits();
    const TRef<TSVAudioBuffer> source = FilledBuffer(16, 2, KStereo, KFrames);
    const TRef<TSVAudioBuffer> target = FilledBuffer(24, 6, KSurround51, KFrames);
    for (auto _ : AState) {
        source->CopyToAudio(0, target, 0, KFrames);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, int64_t{6} * KFrames);
}
BENCHMARK(BM_CopyToAudioStereo16To51x24);

// Two stereo 16-bit buffers: writes 64 KiB (BM_Memcpy/65536).
void BM_AddStereo16(benchmark::State& AState) {
    StartBufferUnits();
    const TRef<TSVAudioBuffer> target = FilledBuffer(16, 2, KStereo, KFrames);
    const TRef<ISVAudioBuffer> other = FilledBuffer(16, 2, KStereo, KFrames);
    for (auto _ : AState) {
        target->Add(other);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, int64_t{2} * KFrames);
}
BENCHMARK(BM_AddStereo16);

// Argument: the width. Stereo, in place on a store of its own: writes KFrames * 2 * width / 8
// bytes.
void BM_MultiplyByReal(benchmark::State& AState) {
    StartBufferUnits();
    const auto width = static_cast<int32_t>(AState.range(0));
    const TRef<TSVAudioBuffer> target = FilledBuffer(width, 2, KStereo, KFrames);
    for (auto _ : AState) {
        target->MultiplyByReal(0.999);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, int64_t{2} * KFrames);
}
BENCHMARK(BM_MultiplyByReal)->Arg(8)->Arg(16)->Arg(24)->Arg(32);

// The same on a shared store: the result goes straight into a fresh store.
void BM_MultiplyByRealShared16(benchmark::State& AState) {
    StartBufferUnits();
    const TRef<TSVAudioBuffer> source = FilledBuffer(16, 2, KStereo, KFrames);
    for (auto _ : AState) {
        TRef<ISVAudioBuffer> copy = TSVAudioBuffer::CreateCopy(source);
        copy->MultiplyByReal(0.999);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, int64_t{2} * KFrames);
}
BENCHMARK(BM_MultiplyByRealShared16);

// One channel of stereo 16 bits as doubles: writes KFrames * 8 bytes (BM_Memcpy/131072).
void BM_GetChannelAsReal16(benchmark::State& AState) {
    StartBufferUnits();
    const TRef<TSVAudioBuffer> source = FilledBuffer(16, 2, KStereo, KFrames);
    for (auto _ : AState) {
        TRef<IQXRealBuffer> channel = source->GetChannelAsReal(1);
        benchmark::DoNotOptimize(channel.get());
    }
    CountSamples(AState, KFrames);
}
BENCHMARK(BM_GetChannelAsReal16);

} // namespace
