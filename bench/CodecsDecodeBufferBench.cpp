// The player audio's DecodeBuffer, which every decoded frame of every file goes through, beside
// what a user would pick instead - libswresample converting the same frame into the same
// interleaved layout - and beside a memcpy of the bytes it delivers. Stereo frames of 1152
// samples, as an MP3 decoder gives them; samples per second count both channels.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

extern "C" {
#include <libswresample/swresample.h>
}

#include "sonvera/codecs/RVLAVPlayerAudio.h"
#include "sonvera/codecs/RVLAVSampleBridge.h"
#include "sonvera/primitives/SVSampleKernels.h"

using namespace sonvera;

namespace {

constexpr int KFrames = 1152;
constexpr int KChannels = 2;

// What the player delivers for each format: 16-bit integers stay 16-bit, the rest become 32-bit.
AVSampleFormat Delivered(AVSampleFormat AFormat) {
    const AVSampleFormat packed = av_get_packed_sample_fmt(AFormat);
    return packed == AV_SAMPLE_FMT_S16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_S32;
}

// A player opened on a PCM decoder, its context switched to AFormat, and one decoded-looking
// frame of random samples (floats inside -1 ... 1).
// The context outlives the player, which closes its decoder on it.
struct TDecodedFrame {
    TRVLAVCodecContext Context;
    std::unique_ptr<TRVLAVPlayerAudio> Player;

    explicit TDecodedFrame(AVSampleFormat AFormat) {
        Context = NewLAVCodecContext(nullptr);
        Context->codec_type = AVMEDIA_TYPE_AUDIO;
        Context->codec_id =
            av_get_bytes_per_sample(AFormat) == 2 ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_PCM_F32LE;
        Context->sample_rate = 44100;
        av_channel_layout_default(&Context->ch_layout, KChannels);
        TRVLAVPlayerAudio::Create(StoreIn(Player), nullptr, nullptr);
        int32_t error = 0;
        if (!Player->TryOpen(0, 0, Context.get(), error))
            throw std::runtime_error("the player did not open");
        Context->sample_fmt = AFormat;
        Fill(AFormat);
    }

    void Fill(AVSampleFormat AFormat) {
        AVFrame* frame = Player->GetFrame();
        frame->format = AFormat;
        frame->nb_samples = KFrames;
        av_channel_layout_default(&frame->ch_layout, KChannels);
        av_frame_get_buffer(frame, 0);
        std::mt19937 random(3);
        std::uniform_real_distribution<double> level(-1.0, 1.0);
        const int planes = av_sample_fmt_is_planar(AFormat) ? KChannels : 1;
        const int count = KFrames * KChannels / planes;
        for (int plane = 0; plane < planes; ++plane)
            for (int i = 0; i < count; ++i) {
                uint8_t* at = frame->extended_data[plane];
                switch (av_get_packed_sample_fmt(AFormat)) {
                case AV_SAMPLE_FMT_FLT:
                    reinterpret_cast<float*>(at)[i] = float(level(random));
                    break;
                case AV_SAMPLE_FMT_DBL:
                    reinterpret_cast<double*>(at)[i] = level(random);
                    break;
                case AV_SAMPLE_FMT_S16:
                    reinterpret_cast<int16_t*>(at)[i] = int16_t(random());
                    break;
                default:
                    reinterpret_cast<int32_t*>(at)[i] = int32_t(random());
                    break;
                }
            }
    }
};

void Count(benchmark::State& AState) {
    AState.SetItemsProcessed(AState.iterations() * KFrames * KChannels);
}

void DecodeBuffer(benchmark::State& AState, AVSampleFormat AFormat) {
    TDecodedFrame decoded(AFormat);
    for (auto _ : AState)
        benchmark::DoNotOptimize(decoded.Player->DecodeBuffer());
    Count(AState);
}

void SwrConvert(benchmark::State& AState, AVSampleFormat AFormat) {
    TDecodedFrame decoded(AFormat);
    SwrContext* resampler = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    swr_alloc_set_opts2(&resampler, &stereo, Delivered(AFormat), 44100, &stereo, AFormat, 44100, 0,
                        nullptr);
    swr_init(resampler);
    std::vector<uint8_t> output(size_t(KFrames) * KChannels * 4);
    uint8_t* outputs[] = {output.data()};
    const AVFrame* frame = decoded.Player->GetFrame();
    for (auto _ : AState) {
        swr_convert(resampler, outputs, KFrames, const_cast<const uint8_t**>(frame->extended_data),
                    KFrames);
        benchmark::ClobberMemory();
    }
    swr_free(&resampler);
    Count(AState);
}

// DecodeBuffer's two parts: the conversion alone, into a ready array (as swr_convert above),
// and the new audio buffer it fills.
void Convert(benchmark::State& AState, AVSampleFormat AFormat) {
    TDecodedFrame decoded(AFormat);
    const uint8_t* const* planes = decoded.Player->GetFrame()->extended_data;
    std::vector<int32_t> output(size_t(KFrames) * KChannels);
    const auto floats = [planes](int APlane) {
        return reinterpret_cast<const float*>(planes[APlane]);
    };
    const auto doubles = [planes](int APlane) {
        return reinterpret_cast<const double*>(planes[APlane]);
    };
    for (auto _ : AState) {
        switch (AFormat) {
        case AV_SAMPLE_FMT_S16:
            std::memcpy(output.data(), planes[0], size_t(KFrames) * KChannels * 2);
            break;
        case AV_SAMPLE_FMT_S16P:
            SVInterleavePair(reinterpret_cast<const int16_t*>(planes[0]),
                             reinterpret_cast<const int16_t*>(planes[1]),
                             reinterpret_cast<int16_t*>(output.data()), KFrames);
            break;
        case AV_SAMPLE_FMT_S32P:
            SVInterleavePair(reinterpret_cast<const int32_t*>(planes[0]),
                             reinterpret_cast<const int32_t*>(planes[1]), output.data(), KFrames);
            break;
        case AV_SAMPLE_FMT_FLT:
            SVFloatsToS32Symmetric(floats(0), output.data(), size_t(KFrames) * KChannels);
            break;
        case AV_SAMPLE_FMT_FLTP:
            SVFloatPairToS32Symmetric(floats(0), floats(1), output.data(), KFrames);
            break;
        default:
            SVFloatPairToS32Symmetric(doubles(0), doubles(1), output.data(), KFrames);
            break;
        }
        benchmark::ClobberMemory();
    }
    Count(AState);
}

void CreateBuffer(benchmark::State& AState, AVSampleFormat AFormat) {
    const int bits = av_get_bytes_per_sample(Delivered(AFormat)) * 8;
    for (auto _ : AState) {
        TRef<TSVAudioBuffer> buffer =
            TSVAudioBuffer::CreateSizeObject(44100, bits, KChannels, KFrames);
        benchmark::DoNotOptimize(buffer->Write());
    }
    Count(AState);
}

void Memcpy(benchmark::State& AState, AVSampleFormat AFormat) {
    const size_t bytes = size_t(KFrames) * KChannels * av_get_bytes_per_sample(Delivered(AFormat));
    std::vector<uint8_t> source(bytes, 1), target(bytes);
    for (auto _ : AState) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    Count(AState);
}

// A 24-bit FLAC's route: its decoder's frames of 4,608 left-justified 32-bit stereo samples,
// rounded and packed into a 24-bit buffer (SVBufferFromFrame), beside FFmpeg's own way to packed
// 24-bit samples (its 24-bit PCM encoder, which truncates) and a memcpy of the bytes.
constexpr int KWideFrames = 4608;

TRVLAVFrame WideFrame() {
    TRVLAVFrame frame = NewLAVFrame();
    frame->format = AV_SAMPLE_FMT_S32;
    frame->nb_samples = KWideFrames;
    frame->sample_rate = 48000;
    av_channel_layout_default(&frame->ch_layout, KChannels);
    av_frame_get_buffer(frame.get(), 0);
    std::mt19937 random(5);
    for (int i = 0; i < KWideFrames * KChannels; ++i)
        reinterpret_cast<int32_t*>(frame->data[0])[i] = int32_t(random() & ~0xFFu);
    return frame;
}

void CountWide(benchmark::State& AState) {
    AState.SetItemsProcessed(AState.iterations() * KWideFrames * KChannels);
}

void PackWideFrame(benchmark::State& AState) {
    const TRVLAVFrame frame = WideFrame();
    TSVBufferRecycler buffers;
    for (auto _ : AState)
        benchmark::DoNotOptimize(
            SVBufferFromFrame(*frame, 48000, 24, KSVSpeakersStereo, buffers)->Read());
    CountWide(AState);
}

void EncodePcm24(benchmark::State& AState) {
    const TRVLAVFrame frame = WideFrame();
    TRVLAVCodecContext context = NewLAVCodecContext(avcodec_find_encoder(AV_CODEC_ID_PCM_S24LE));
    context->sample_fmt = AV_SAMPLE_FMT_S32;
    context->sample_rate = 48000;
    av_channel_layout_default(&context->ch_layout, KChannels);
    if (avcodec_open2(context.get(), context->codec, nullptr) < 0) {
        AState.SkipWithError("the 24-bit PCM encoder did not open");
        return;
    }
    AVPacket* packet = av_packet_alloc();
    for (auto _ : AState) {
        avcodec_send_frame(context.get(), frame.get());
        avcodec_receive_packet(context.get(), packet);
        benchmark::DoNotOptimize(packet->data);
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    CountWide(AState);
}

void MemcpyWide(benchmark::State& AState) {
    const size_t bytes = size_t(KWideFrames) * KChannels * 3;
    std::vector<uint8_t> source(bytes, 1), target(bytes);
    for (auto _ : AState) {
        std::memcpy(target.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    CountWide(AState);
}

BENCHMARK(PackWideFrame)->Name("DecodeBuffer/s32_24");
BENCHMARK(EncodePcm24)->Name("EncodePcm24/s32_24");
BENCHMARK(MemcpyWide)->Name("Memcpy/s32_24");

#define SONVERA_FORMAT_BENCHMARKS(NAME, FORMAT)                                                    \
    BENCHMARK_CAPTURE(DecodeBuffer, NAME, FORMAT);                                                 \
    BENCHMARK_CAPTURE(SwrConvert, NAME, FORMAT);                                                   \
    BENCHMARK_CAPTURE(Convert, NAME, FORMAT);                                                      \
    BENCHMARK_CAPTURE(CreateBuffer, NAME, FORMAT);                                                 \
    BENCHMARK_CAPTURE(Memcpy, NAME, FORMAT)

SONVERA_FORMAT_BENCHMARKS(s16, AV_SAMPLE_FMT_S16);
SONVERA_FORMAT_BENCHMARKS(s16p, AV_SAMPLE_FMT_S16P);
SONVERA_FORMAT_BENCHMARKS(s32p, AV_SAMPLE_FMT_S32P);
SONVERA_FORMAT_BENCHMARKS(flt, AV_SAMPLE_FMT_FLT);
SONVERA_FORMAT_BENCHMARKS(fltp, AV_SAMPLE_FMT_FLTP);
SONVERA_FORMAT_BENCHMARKS(dblp, AV_SAMPLE_FMT_DBLP);

} // namespace
