// The sample-width and float conversions of the buffers and primitives, each beside what a user
// would pick instead - libswresample converting the same samples between the same formats - and
// beside a memcpy of the bytes the conversion writes. One second of 44.1 kHz stereo, the whole
// buffer per call; items are samples (both channels). Every case of a conversion carries the
// same name after the slash, so that scripts/bench-conversions.sh can put them side by side.
//
// Packed 24-bit samples have no libswresample format: the 24-bit cases stand beside the 32-bit
// conversion of the same direction (s16 to s32, s32 to s16), named in the case. For 24 to 16
// bits on the same buffers, two more cases show what a user does instead: FFmpeg's own way in,
// its 24-bit PCM decoder widening the bytes to 32-bit samples that libswresample then narrows;
// and, where the build found GStreamer's audio library, its converter, which reads packed 24-bit
// samples itself.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <immintrin.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswresample/swresample.h>
}
#ifdef SONVERA_BENCH_GSTREAMER
#include <gst/audio/audio.h>
#endif

#include "BenchSupport.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/primitives/IPPExtraFunctions.h"
#include "sonvera/primitives/SVBitTransparent.h"

using namespace sonvera;
using namespace sonvera::bench;

namespace {

constexpr int32_t KFrames = 44100;
constexpr int32_t KChannels = 2;
constexpr int32_t KSamples = KFrames * KChannels;

// Random bytes: every sample width sees its whole range.
std::vector<uint8_t> RandomBytes(size_t ACount) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(ACount);
    for (uint8_t& b : bytes)
        b = uint8_t(random());
    return bytes;
}

// Random floats inside -1 ... 1.
std::vector<float> RandomFloats(size_t ACount) {
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    std::vector<float> values(ACount);
    for (float& v : values)
        v = unit(random);
    return values;
}

TRef<TSVAudioBuffer> RandomBuffer(int32_t ABits) {
    TRef<TSVAudioBuffer> buffer =
        TSVAudioBuffer::CreateSizeObject(44100, ABits, KChannels, KFrames);
    const std::vector<uint8_t> bytes = RandomBytes(buffer->GetByteSize());
    std::memcpy(buffer->Write(), bytes.data(), bytes.size());
    return buffer;
}

// ---- The library ---------------------------------------------------------------------------

// A whole buffer into a buffer of another width: CopyToAudio, which runs ConvertBits over the
// interleaved frames.
void CopyToAudio(benchmark::State& AState, int32_t AFrom, int32_t ATo) {
    StartBufferUnits();
    const TRef<TSVAudioBuffer> source = RandomBuffer(AFrom);
    const TRef<TSVAudioBuffer> target =
        TSVAudioBuffer::CreateSizeObject(44100, ATo, KChannels, KFrames);
    for (auto _ : AState) {
        source->CopyToAudio(0, target, 0, KFrames);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KSamples);
}

// The same widths by the bit-transparent rule (the format filter's and the tool's default):
// the primitive over the interleaved samples of a second.
void ConvertBitsTransparent(benchmark::State& AState, int32_t AFrom, int32_t ATo) {
    const std::vector<uint8_t> source = RandomBytes(size_t(KSamples) * size_t(AFrom / 8));
    std::vector<uint8_t> target(size_t(KSamples) * size_t(ATo / 8));
    for (auto _ : AState) {
        SVConvertBitsTransparent(source.data(), AFrom, AFrom / 8, target.data(), ATo, ATo / 8,
                                 KSamples);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KSamples);
}

// Samples to floats in -1 ... 1: 16 bits divided by 32767 (scale factor -15), 32 bits by 2^31
// (scale factor -31).
template <class TSample, auto& AConvert> void ConvertToFloat(benchmark::State& AState) {
    StartBufferUnits();
    constexpr auto KBytes = int32_t(sizeof(TSample));
    const std::vector<uint8_t> source = RandomBytes(size_t(KSamples) * KBytes);
    std::vector<float> target(KSamples);
    for (auto _ : AState) {
        AConvert(reinterpret_cast<const TSample*>(source.data()), KBytes, target.data(), 4,
                 IppiSize{1, KSamples}, 1 - 8 * KBytes);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KSamples);
}

// Floats to a new 32-bit buffer. Argument: the stride in bytes (8 interleaved, a channel's
// bytes for one planar block per channel).
void CreateFloatData(benchmark::State& AState, uint32_t AStride) {
    StartBufferUnits();
    const std::vector<float> source = RandomFloats(KSamples);
    for (auto _ : AState) {
        TRef<ISVAudioBuffer> buffer =
            TSVAudioBuffer::CreateFloatData(source.data(), 44100, KChannels, AStride, KFrames);
        benchmark::DoNotOptimize(buffer.get());
    }
    CountSamples(AState, KSamples);
}

// Two planes of floats into interleaved 32-bit samples by one strided primitive call per
// channel and piece. Argument: frames per call; a whole second writes every line of the
// frames twice, a chain's buffer length keeps them in cache between the two channels.
void Convert32fTo32sStrided(benchmark::State& AState) {
    StartBufferUnits();
    const std::vector<float> source = RandomFloats(KSamples);
    std::vector<int32_t> target(KSamples);
    const int32_t piece = int32_t(AState.range(0));
    for (auto _ : AState) {
        for (int32_t first = 0; first < KFrames; first += piece) {
            const int32_t count = std::min(piece, KFrames - first);
            for (int32_t channel = 0; channel < KChannels; ++channel)
                ippiConvert_32f32s_C1RSfs(source.data() + channel * KFrames + first, 4,
                                          target.data() + 2 * first + channel, 8,
                                          IppiSize{1, count}, ippRndNear, -31);
        }
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KSamples);
}

// The least memory work of the strided calls above with no conversion at all: each channel's
// floats copied as they are into every other element of the target lines, one channel after the
// other, through the cheapest stores there are (a permute and a store under a lane mask). Two
// such passes over a target that has left the first level of cache cost more than
// libswresample's single pass does, whatever the conversion: this is the floor of the call
// pattern, not of a kernel.
__attribute__((target("avx512f"))) void StridedPassesFloor(benchmark::State& AState) {
    if (!__builtin_cpu_supports("avx512f")) {
        AState.SkipWithError("the floor is measured with AVX-512 stores");
        return;
    }
    const std::vector<float> source = RandomFloats(KSamples);
    std::vector<int32_t> target(KSamples + 16);
    auto* frames = reinterpret_cast<int32_t*>((uintptr_t(target.data()) + 63) & ~uintptr_t(63));
    const __m512i spread = _mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7);
    for (auto _ : AState) {
        for (int32_t channel = 0; channel < KChannels; ++channel) {
            const float* plane = source.data() + channel * KFrames;
            const auto lanes = __mmask16(channel == 0 ? 0x5555 : 0xAAAA);
            for (int32_t i = 0; i + 8 <= KFrames; i += 8) {
                const __m512i values = _mm512_castsi256_si512(
                    _mm256_castps_si256(_mm256_loadu_ps(plane + i)));
                _mm512_mask_storeu_epi32(frames + 2 * i, lanes,
                                         _mm512_maskz_permutexvar_epi32(__mmask16(0xFFFF),
                                                                        spread, values));
            }
        }
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KSamples);
}

// A float buffer (as the float path carries decoded audio) into a 16-bit buffer: CopyToAudio,
// which rounds and saturates in one pass.
void FloatBufferTo16(benchmark::State& AState) {
    StartBufferUnits();
    const std::vector<float> floats = RandomFloats(KSamples);
    const TRef<TSVAudioBuffer> source =
        TSVAudioBuffer::CreateFloatSizeExObject(44100, KChannels, KFrames, TSVSpeakers{});
    std::memcpy(source->Write(), floats.data(), floats.size() * sizeof(float));
    const TRef<TSVAudioBuffer> target =
        TSVAudioBuffer::CreateSizeObject(44100, 16, KChannels, KFrames);
    for (auto _ : AState) {
        source->CopyToAudio(0, target, 0, KFrames);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KSamples);
}

// ---- libswresample, same samples, same formats, same rate ----------------------------------

void SwrConvert(benchmark::State& AState, AVSampleFormat AFrom, AVSampleFormat ATo) {
    SwrContext* context = nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    swr_alloc_set_opts2(&context, &stereo, ATo, 44100, &stereo, AFrom, 44100, 0, nullptr);
    if (context == nullptr || swr_init(context) < 0) {
        AState.SkipWithError("swr_init failed");
        return;
    }
    const bool floatInput = av_get_packed_sample_fmt(AFrom) == AV_SAMPLE_FMT_FLT;
    const size_t inBytes = size_t(KSamples) * size_t(av_get_bytes_per_sample(AFrom));
    std::vector<uint8_t> source = RandomBytes(inBytes);
    if (floatInput) {
        const std::vector<float> values = RandomFloats(KSamples);
        std::memcpy(source.data(), values.data(), inBytes);
    }
    std::vector<uint8_t> target(size_t(KSamples) * size_t(av_get_bytes_per_sample(ATo)));
    const bool planarIn = av_sample_fmt_is_planar(AFrom) != 0;
    const bool planarOut = av_sample_fmt_is_planar(ATo) != 0;
    const uint8_t* inputs[] = {source.data(), source.data() + (planarIn ? inBytes / 2 : 0)};
    uint8_t* outputs[] = {target.data(), target.data() + (planarOut ? target.size() / 2 : 0)};
    for (auto _ : AState) {
        swr_convert(context, outputs, KFrames, inputs, KFrames);
        benchmark::ClobberMemory();
    }
    swr_free(&context);
    CountSamples(AState, KSamples);
}

// Packed 24-bit stereo bytes to 16 bits the FFmpeg way: the whole second as one packet through
// the 24-bit PCM decoder (32-bit samples out), then libswresample from 32 to 16 bits.
void PcmDecodeThenSwr(benchmark::State& AState) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_PCM_S24LE);
    AVCodecContext* decoder = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    SwrContext* narrow = nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (decoder != nullptr) {
        decoder->sample_rate = 44100;
        av_channel_layout_copy(&decoder->ch_layout, &stereo);
        swr_alloc_set_opts2(&narrow, &stereo, AV_SAMPLE_FMT_S16, 44100, &stereo, AV_SAMPLE_FMT_S32,
                            44100, 0, nullptr);
    }
    if (decoder == nullptr || avcodec_open2(decoder, codec, nullptr) < 0 || narrow == nullptr ||
        swr_init(narrow) < 0 || packet == nullptr || frame == nullptr ||
        av_new_packet(packet, KSamples * 3) < 0) {
        AState.SkipWithError("the 24-bit PCM decoder or libswresample would not open");
    } else {
        const std::vector<uint8_t> bytes = RandomBytes(size_t(KSamples) * 3);
        std::memcpy(packet->data, bytes.data(), bytes.size());
        std::vector<int16_t> target(KSamples);
        uint8_t* outputs[] = {reinterpret_cast<uint8_t*>(target.data())};
        for (auto _ : AState) {
            if (avcodec_send_packet(decoder, packet) < 0 ||
                avcodec_receive_frame(decoder, frame) < 0) {
                AState.SkipWithError("the 24-bit PCM decoder failed");
                break;
            }
            swr_convert(narrow, outputs, KFrames, const_cast<const uint8_t**>(frame->extended_data),
                        frame->nb_samples);
            av_frame_unref(frame);
            benchmark::ClobberMemory();
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    swr_free(&narrow);
    avcodec_free_context(&decoder);
    CountSamples(AState, KSamples);
}

#ifdef SONVERA_BENCH_GSTREAMER
// GStreamer's audio converter between two interleaved integer formats, with neither dither nor
// noise shaping, so that it only requantizes, as the library does.
void GstConverter(benchmark::State& AState, GstAudioFormat AFrom, GstAudioFormat ATo) {
    gst_init(nullptr, nullptr);
    GstAudioInfo from;
    GstAudioInfo to;
    gst_audio_info_set_format(&from, AFrom, 44100, KChannels, nullptr);
    gst_audio_info_set_format(&to, ATo, 44100, KChannels, nullptr);
    GstStructure* config = gst_structure_new(
        "config", GST_AUDIO_CONVERTER_OPT_DITHER_METHOD, GST_TYPE_AUDIO_DITHER_METHOD,
        GST_AUDIO_DITHER_NONE, GST_AUDIO_CONVERTER_OPT_NOISE_SHAPING_METHOD,
        GST_TYPE_AUDIO_NOISE_SHAPING_METHOD, GST_AUDIO_NOISE_SHAPING_NONE, nullptr);
    GstAudioConverter* converter =
        gst_audio_converter_new(GST_AUDIO_CONVERTER_FLAG_NONE, &from, &to, config);
    if (converter == nullptr) {
        AState.SkipWithError("gst_audio_converter_new failed");
        return;
    }
    std::vector<uint8_t> source = RandomBytes(size_t(KSamples) * size_t(from.bpf) / KChannels);
    std::vector<uint8_t> target(size_t(KSamples) * size_t(to.bpf) / KChannels);
    gpointer inputs[] = {source.data()};
    gpointer outputs[] = {target.data()};
    for (auto _ : AState) {
        gst_audio_converter_samples(converter, GST_AUDIO_CONVERTER_FLAG_NONE, inputs, KFrames,
                                    outputs, KFrames);
        benchmark::ClobberMemory();
    }
    gst_audio_converter_free(converter);
    CountSamples(AState, KSamples);
}
#endif

// ---- memcpy of the bytes written -------------------------------------------------------------

void Memcpy(benchmark::State& AState, int32_t ABytesPerSample) {
    const size_t size = size_t(KSamples) * size_t(ABytesPerSample);
    std::vector<uint8_t> source(size, 1), target(size);
    for (auto _ : AState) {
        benchmark::DoNotOptimize(source.data());
        std::memcpy(target.data(), source.data(), size);
        benchmark::ClobberMemory();
    }
    CountSamples(AState, KSamples);
}

} // namespace

// libswresample converting between AFrom and ATo, and a memcpy of the ABytes per sample written,
// beside the library's case of the same name.
#define SONVERA_BESIDE_SWR(NAME, AFrom, ATo, ABytes)                                               \
    BENCHMARK_CAPTURE(SwrConvert, NAME, AFrom, ATo);                                               \
    BENCHMARK_CAPTURE(Memcpy, NAME, ABytes)

// Packed 24-bit samples to 16 bits the ways a user has without the library.
#ifdef SONVERA_BENCH_GSTREAMER
#define SONVERA_BESIDE_GST_24_16(NAME)                                                             \
    BENCHMARK_CAPTURE(GstConverter, NAME, GST_AUDIO_FORMAT_S24LE, GST_AUDIO_FORMAT_S16LE)
#else
#define SONVERA_BESIDE_GST_24_16(NAME) static_assert(true)
#endif
#define SONVERA_BESIDE_FFMPEG_24_16(NAME)                                                          \
    BENCHMARK(PcmDecodeThenSwr)->Name("PcmDecodeThenSwr/" #NAME);                                  \
    BENCHMARK_CAPTURE(Memcpy, NAME, 2);                                                            \
    SONVERA_BESIDE_GST_24_16(NAME)

BENCHMARK_CAPTURE(CopyToAudio, s16_s32, 16, 32);
SONVERA_BESIDE_SWR(s16_s32, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S32, 4);

BENCHMARK_CAPTURE(CopyToAudio, s32_s16, 32, 16);
SONVERA_BESIDE_SWR(s32_s16, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S16, 2);

BENCHMARK_CAPTURE(CopyToAudio, s16_s24_vs_s16_s32, 16, 24);
SONVERA_BESIDE_SWR(s16_s24_vs_s16_s32, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S32, 3);

BENCHMARK_CAPTURE(CopyToAudio, s24_s16_vs_s32_s16, 24, 16);
SONVERA_BESIDE_SWR(s24_s16_vs_s32_s16, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_S16, 2);

BENCHMARK_CAPTURE(CopyToAudio, s24_s16_same_buffers, 24, 16);
SONVERA_BESIDE_FFMPEG_24_16(s24_s16_same_buffers);
#ifdef SONVERA_BENCH_GSTREAMER
BENCHMARK_CAPTURE(CopyToAudio, s16_s24_same_buffers, 16, 24);
BENCHMARK_CAPTURE(GstConverter, s16_s24_same_buffers, GST_AUDIO_FORMAT_S16LE,
                  GST_AUDIO_FORMAT_S24LE);
BENCHMARK_CAPTURE(Memcpy, s16_s24_same_buffers, 3);
#endif

BENCHMARK_CAPTURE(ConvertBitsTransparent, s24_s16_transparent, 24, 16);
SONVERA_BESIDE_FFMPEG_24_16(s24_s16_transparent);

BENCHMARK(ConvertToFloat<Ipp16s, ippiConvert_16s32f_C1RSfs>)->Name("Convert16sTo32f/s16_flt");
SONVERA_BESIDE_SWR(s16_flt, AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_FLT, 4);

BENCHMARK(FloatBufferTo16)->Name("CopyToAudio/flt_s16");
SONVERA_BESIDE_SWR(flt_s16, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16, 2);

BENCHMARK(ConvertToFloat<Ipp32s, ippiConvert_32s32f_C1RSfs>)->Name("Convert32sTo32f/s32_flt");
SONVERA_BESIDE_SWR(s32_flt, AV_SAMPLE_FMT_S32, AV_SAMPLE_FMT_FLT, 4);

BENCHMARK_CAPTURE(CreateFloatData, fltp_s32, uint32_t(KFrames * 4));
SONVERA_BESIDE_SWR(fltp_s32, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_S32, 4);

BENCHMARK(Convert32fTo32sStrided)
    ->Name("Convert32fTo32sStrided/fltp_s32_strided")
    ->Arg(KFrames)
    ->Arg(4096)
    ->Arg(1024);
SONVERA_BESIDE_SWR(fltp_s32_strided, AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_S32, 4);
BENCHMARK(StridedPassesFloor)->Name("StridedPassesFloor/fltp_s32_strided");

BENCHMARK_CAPTURE(CreateFloatData, flt_s32, uint32_t(KChannels * 4));
SONVERA_BESIDE_SWR(flt_s32, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S32, 4);
