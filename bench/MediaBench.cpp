// The media components' hot paths. The writer's move of interleaved samples into encoder frames
// (SVWriteFrameSamples) beside libswresample doing the same conversion and beside a memcpy of
// the bytes; and the resample filter, pins and buffers included, beside swr_convert alone on
// the same samples. Stereo buffers of 4096 frames; items count samples of both channels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

extern "C" {
#include <libswresample/swresample.h>
}

#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/media/SVResampleFilter.h"
#include "sonvera/streams/SVStreamTypes.h"

using namespace sonvera;

namespace {

constexpr int KFrames = 4096;
constexpr int KChannels = 2;

void Count(benchmark::State& AState) {
    AState.SetItemsProcessed(AState.iterations() * KFrames * KChannels);
}

std::vector<uint8_t> RandomBytes(size_t ACount) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(ACount);
    for (uint8_t& byte : bytes)
        byte = static_cast<uint8_t>(random());
    return bytes;
}

TRVLAVFrame Frame(AVSampleFormat AFormat) {
    TRVLAVFrame frame = NewLAVFrame();
    frame->format = AFormat;
    frame->nb_samples = KFrames;
    av_channel_layout_default(&frame->ch_layout, KChannels);
    av_frame_get_buffer(frame.get(), 0);
    return frame;
}

void Memcpy(benchmark::State& AState, int ABits) {
    const std::vector<uint8_t> source = RandomBytes(size_t(KFrames) * KChannels * ABits / 8);
    std::vector<uint8_t> dest(source.size());
    for (auto _ : AState) {
        std::memcpy(dest.data(), source.data(), source.size());
        benchmark::ClobberMemory();
    }
    Count(AState);
}

void WriteFrameSamples(benchmark::State& AState, int ABits, AVSampleFormat AFormat) {
    const std::vector<uint8_t> source = RandomBytes(size_t(KFrames) * KChannels * ABits / 8);
    TRVLAVFrame frame = Frame(AFormat);
    for (auto _ : AState) {
        SVWriteFrameSamples(source.data(), ABits, KChannels, KFrames, *frame, 0);
        benchmark::ClobberMemory();
    }
    Count(AState);
}

// libswresample converting the same interleaved samples into the same frame format.
void SwrConvert(benchmark::State& AState, AVSampleFormat AFrom, AVSampleFormat ATo, int AFromRate,
                int AToRate) {
    const std::vector<uint8_t> source =
        RandomBytes(size_t(KFrames) * KChannels * av_get_bytes_per_sample(AFrom));
    TRVLAVFrame frame = Frame(ATo);
    if (AToRate != AFromRate) { // room for what the rate change makes
        frame = NewLAVFrame();
        frame->format = ATo;
        frame->nb_samples = KFrames * 2;
        av_channel_layout_default(&frame->ch_layout, KChannels);
        av_frame_get_buffer(frame.get(), 0);
    }
    SwrContext* context = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    swr_alloc_set_opts2(&context, &stereo, ATo, AToRate, &stereo, AFrom, AFromRate, 0, nullptr);
    swr_init(context);
    const uint8_t* inputs[] = {source.data()};
    for (auto _ : AState) {
        benchmark::DoNotOptimize(
            swr_convert(context, frame->extended_data, frame->nb_samples, inputs, KFrames));
        benchmark::ClobberMemory();
    }
    swr_free(&context);
    Count(AState);
}

// The resample filter in a chain: a source pin feeding it, nothing but its pin after it.
void ResampleFilter(benchmark::State& AState, int ABits) {
    InitializePXStreams();
    InitializeSVStreamTypes();
    {
        TSVResampleFilter filter(nullptr);
        TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
        TSVPXAudioSinkPin down(nullptr, nullptr, nullptr,
                               [](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>&,
                                  uint32_t) { return false; });
        filter.SetSampleRate(48000);
        up.Connect(filter.GetInputPin());
        filter.GetOutputPin()->Connect(&down);
        up.Notify(TPXStartWaveOperation::CreateFormat(44100, ABits, KChannels, false));
        const std::vector<uint8_t> bytes = RandomBytes(size_t(KFrames) * KChannels * ABits / 8);
        const TRef<ISVAudioBuffer> buffer =
            TSVAudioBuffer::CreateData(bytes.data(), 44100, ABits, KChannels, KFrames);
        for (auto _ : AState)
            up.SubmitBuffer(buffer);
        up.Notify(TPXStopOperation::Create());
    }
    FinalizeSVStreamTypes();
    FinalizePXStreams();
    Count(AState);
}

} // namespace

BENCHMARK_CAPTURE(Memcpy, s16, 16);
BENCHMARK_CAPTURE(WriteFrameSamples, s16_to_s16p, 16, AV_SAMPLE_FMT_S16P);
BENCHMARK_CAPTURE(SwrConvert, s16_to_s16p, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, 44100, 44100);
BENCHMARK_CAPTURE(WriteFrameSamples, s16_to_fltp, 16, AV_SAMPLE_FMT_FLTP);
BENCHMARK_CAPTURE(SwrConvert, s16_to_fltp, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_FLTP, 44100, 44100);
BENCHMARK_CAPTURE(Memcpy, s24, 24);
BENCHMARK_CAPTURE(WriteFrameSamples, s24_to_s32, 24, AV_SAMPLE_FMT_S32);
BENCHMARK_CAPTURE(Memcpy, s32, 32);
BENCHMARK_CAPTURE(WriteFrameSamples, s32_to_s32, 32, AV_SAMPLE_FMT_S32);
BENCHMARK_CAPTURE(ResampleFilter, s16_44100_to_48000, 16);
BENCHMARK_CAPTURE(SwrConvert, s16_44100_to_48000, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16, 44100,
                  48000);
BENCHMARK_CAPTURE(ResampleFilter, s24_44100_to_48000, 24);
BENCHMARK_CAPTURE(SwrConvert, s32_44100_to_48000, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S32, 44100,
                  48000);
