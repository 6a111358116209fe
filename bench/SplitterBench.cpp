// The splitter's processing of one pump tick (1024 stereo frames) into two channels of doubles
// submitted on connected pins, per sample width, beside a memcpy of the tick's bytes and beside
// libswresample turning the same interleaved samples into planar doubles (it has no packed
// 24-bit format). Argument: bits per sample. Items are frames.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "BenchSupport.h"
#include "sonvera/components/SVAudioToReal.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

using namespace sonvera;
using namespace sonvera::bench;

namespace {

constexpr int32_t KFrames = 1024;
constexpr int32_t KChannels = 2;

int64_t TickBytes(int64_t ABits) {
    return KFrames * KChannels * ABits / 8;
}

// A tick whose bytes are a ramp, so that no width sees only zeros.
TRef<ISVAudioBuffer> FilledTick(int32_t ABits) {
    TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateSize(44100, ABits, KChannels, KFrames);
    auto* bytes = static_cast<uint8_t*>(buffer->Write());
    for (uint32_t i = 0; i < buffer->GetByteSize(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    return buffer;
}

bool Discard(TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>&, uint32_t) {
    return false;
}

void BM_SplitterProcess(benchmark::State& AState) {
    StartChainUnits();
    const auto bits = static_cast<int32_t>(AState.range(0));
    TSVAudioToReal converter(nullptr);
    converter.SetNormalize(true);
    TQXPXRealSinkPin left(nullptr, nullptr, nullptr, Discard);
    TQXPXRealSinkPin right(nullptr, nullptr, nullptr, Discard);
    converter.GetOutputPins()->Items(0)->Connect(&left);
    converter.GetOutputPins()->Items(1)->Connect(&right);
    converter.AudioStreamStart(
        &TPXStartWaveOperation::CreateFormatObject(44100, bits, KChannels, false)->GetWaveFormat());
    TRef<ISVAudioBuffer> tick = FilledTick(bits);
    for (auto _ : AState)
        converter.Process(tick);
    AState.SetItemsProcessed(AState.iterations() * KFrames);
    AState.SetBytesProcessed(AState.iterations() * TickBytes(bits));
}
BENCHMARK(BM_SplitterProcess)->Arg(8)->Arg(16)->Arg(24)->Arg(32);

void BM_Memcpy(benchmark::State& AState) {
    const auto size = static_cast<size_t>(TickBytes(AState.range(0)));
    std::vector<uint8_t> source(size, 1), target(size);
    for (auto _ : AState) {
        benchmark::DoNotOptimize(source.data());
        std::memcpy(target.data(), source.data(), size);
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(AState.iterations() * KFrames);
    AState.SetBytesProcessed(AState.iterations() * static_cast<int64_t>(size));
}
BENCHMARK(BM_Memcpy)->Arg(8)->Arg(16)->Arg(24)->Arg(32);

// Interleaved integers to planar doubles at the same rate: what a user would reach for.
void BM_SwresampleToPlanarDouble(benchmark::State& AState) {
    const int64_t bits = AState.range(0);
    const AVSampleFormat input = bits == 8    ? AV_SAMPLE_FMT_U8
                                 : bits == 16 ? AV_SAMPLE_FMT_S16
                                              : AV_SAMPLE_FMT_S32;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* context = nullptr;
    swr_alloc_set_opts2(&context, &stereo, AV_SAMPLE_FMT_DBLP, 44100, &stereo, input, 44100, 0,
                        nullptr);
    if (!context || swr_init(context) < 0) {
        AState.SkipWithError("swr_init failed");
        swr_free(&context);
        return;
    }
    TRef<ISVAudioBuffer> tick = FilledTick(static_cast<int32_t>(bits));
    std::vector<double> left(KFrames), right(KFrames);
    uint8_t* outputs[] = {reinterpret_cast<uint8_t*>(left.data()),
                          reinterpret_cast<uint8_t*>(right.data())};
    const uint8_t* inputs[] = {static_cast<const uint8_t*>(tick->Read())};
    for (auto _ : AState)
        benchmark::DoNotOptimize(swr_convert(context, outputs, KFrames, inputs, KFrames));
    swr_free(&context);
    AState.SetItemsProcessed(AState.iterations() * KFrames);
    AState.SetBytesProcessed(AState.iterations() * TickBytes(bits));
}
BENCHMARK(BM_SwresampleToPlanarDouble)->Arg(8)->Arg(16)->Arg(32);

} // namespace
