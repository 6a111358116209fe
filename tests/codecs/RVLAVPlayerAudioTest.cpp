#include "sonvera/codecs/RVLAVPlayerAudio.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "RVLAVTestMedia.h"
#include "sonvera/primitives/SVSampleKernels.h"

using namespace sonvera;
using namespace codecs_test;

namespace {

// A decoder delivering each format, and the format forced on its context where FFmpeg has no
// decoder that delivers it (none declares 64-bit float planes).
struct TFormatCase {
    AVSampleFormat Format;
    const char* Decoder;
    int Bits;
};
constexpr TFormatCase KFormats[] = {{AV_SAMPLE_FMT_U8, "pcm_u8", 8},
                                    {AV_SAMPLE_FMT_S16, "pcm_s16le", 16},
                                    {AV_SAMPLE_FMT_S32, "pcm_s32le", 32},
                                    {AV_SAMPLE_FMT_FLT, "pcm_f32le", 32},
                                    {AV_SAMPLE_FMT_DBL, "pcm_f64le", 32},
                                    {AV_SAMPLE_FMT_U8P, "pcm_s8_planar", 8},
                                    {AV_SAMPLE_FMT_S16P, "pcm_s16le_planar", 16},
                                    {AV_SAMPLE_FMT_S32P, "pcm_s32le_planar", 32},
                                    {AV_SAMPLE_FMT_FLTP, "mp3float", 32},
                                    {AV_SAMPLE_FMT_DBLP, "pcm_f64le", 32}};

// The sample at AAt as the player must deliver it: integers as they are (in the low bytes),
// floats through the conversion its own test holds against the exact product.
int32_t Expected(AVSampleFormat AFormat, const uint8_t* AAt) {
    float single;
    double twice;
    int32_t integer = 0;
    switch (av_get_packed_sample_fmt(AFormat)) {
    case AV_SAMPLE_FMT_FLT:
        std::memcpy(&single, AAt, 4);
        SVFloatsToS32Symmetric(&single, &integer, 1);
        return integer;
    case AV_SAMPLE_FMT_DBL:
        std::memcpy(&twice, AAt, 8);
        SVFloatsToS32Symmetric(&twice, &integer, 1);
        return integer;
    default:
        std::memcpy(&integer, AAt, size_t(av_get_bytes_per_sample(AFormat)));
        return integer;
    }
}

// Fills AFrame with ASamples samples of AChannels channels, every byte different.
void FillFrame(AVFrame& AFrame, AVSampleFormat AFormat, int AChannels, int ASamples) {
    av_frame_unref(&AFrame);
    AFrame.format = AFormat;
    AFrame.nb_samples = ASamples;
    av_channel_layout_default(&AFrame.ch_layout, AChannels);
    ASSERT_EQ(av_frame_get_buffer(&AFrame, 0), 0);
    const int planes = av_sample_fmt_is_planar(AFormat) ? AChannels : 1;
    for (int plane = 0; plane < planes; ++plane)
        for (int i = 0; i < AFrame.linesize[0]; ++i)
            AFrame.extended_data[plane][i] = uint8_t(i * 37 + plane * 101 + (i >> 8));
}

// The context outlives the player, which closes its decoder on it.
struct TOpenedPlayer {
    TRVLAVCodecContext Context;
    std::unique_ptr<TRVLAVPlayerAudio> Player;
};

TOpenedPlayer OpenPlayer(const TFormatCase& ACase, int AChannels, int ARate = 44100) {
    TOpenedPlayer opened{DecoderContext(ACase.Decoder, AChannels, ARate), nullptr};
    TRVLAVPlayerAudio::Create(StoreIn(opened.Player), nullptr, nullptr).SetStream(1);
    int32_t error = -1;
    EXPECT_TRUE(opened.Player->TryOpen(1, 3, opened.Context.get(), error)) << ACase.Decoder;
    EXPECT_EQ(error, 0);
    opened.Context->sample_fmt = ACase.Format;
    return opened;
}

} // namespace

TEST(RVLAVPlayerAudio, EveryFormatArrivesInterleavedUnderItsHeader) {
    constexpr int KSamples = 37;
    for (const TFormatCase& c : KFormats)
        for (int channels : {1, 2, 6, 9}) {
            TOpenedPlayer opened = OpenPlayer(c, channels, 48000);
            const TRVLAVPlayerAudio& player = *opened.Player;
            const TSVWaveFormatExtensible& header = player.GetWaveFormat();
            EXPECT_EQ(header.Format.wBitsPerSample, c.Bits);
            EXPECT_EQ(header.Samples.wValidBitsPerSample, c.Bits);
            EXPECT_EQ(header.Format.nBlockAlign, c.Bits / 8 * channels);
            EXPECT_EQ(header.Format.nAvgBytesPerSec, 48000u * c.Bits / 8 * channels);
            EXPECT_EQ(header.dwChannelMask, (1u << channels) - 1); // 6 channels: 63

            AVFrame& frame = *player.GetFrame();
            FillFrame(frame, c.Format, channels, KSamples);
            const TRef<ISVAudioBuffer> buffer = player.DecodeBuffer();
            ASSERT_EQ(buffer->GetSize(), uint32_t(KSamples)) << c.Decoder;
            EXPECT_EQ(buffer->GetWaveFormat().Format.nBlockAlign, header.Format.nBlockAlign);
            const auto* samples = static_cast<const uint8_t*>(buffer->Read());
            const int bytes = av_get_bytes_per_sample(c.Format);
            for (int i = 0; i < KSamples; ++i)
                for (int channel = 0; channel < channels; ++channel) {
                    const uint8_t* source =
                        av_sample_fmt_is_planar(c.Format)
                            ? frame.extended_data[channel] + i * bytes
                            : frame.extended_data[0] + (i * channels + channel) * bytes;
                    const int32_t want = Expected(c.Format, source);
                    ASSERT_EQ(std::memcmp(samples + (i * channels + channel) * (c.Bits / 8), &want,
                                          size_t(c.Bits / 8)),
                              0)
                        << c.Decoder << " " << channels << " " << i;
                }
        }
}

TEST(RVLAVPlayerAudio, RefusesFramesThatDoNotFitTheirStream) {
    TOpenedPlayer opened = OpenPlayer(KFormats[AV_SAMPLE_FMT_S16P], 2);
    TRVLAVPlayerAudio& player = *opened.Player;
    AVFrame& frame = *player.GetFrame();
    const std::function<void()> breakers[] = {
        [&] { frame.format = AV_SAMPLE_FMT_S16; },
        [&] { av_channel_layout_default(&frame.ch_layout, 3); },
        [&] { frame.nb_samples = frame.linesize[0] / 2 + 1; },
        [&] { frame.nb_samples = -1; },
        [&] { frame.extended_data[1] = nullptr; },
        [&] { frame.extended_data[1] += 1; },
        [&] { opened.Context->sample_fmt = AV_SAMPLE_FMT_S64; },
    };
    for (const auto& breakIt : breakers) {
        FillFrame(frame, AV_SAMPLE_FMT_S16P, 2, 64);
        opened.Context->sample_fmt = AV_SAMPLE_FMT_S16P;
        breakIt();
        EXPECT_THROW(player.DecodeBuffer(), EArgumentError);
    }
    FillFrame(frame, AV_SAMPLE_FMT_S16P, 2, 64);
    opened.Context->sample_fmt = AV_SAMPLE_FMT_S16P;
    TSVWaveFormatExtensible wider = player.GetWaveFormat();
    wider.Format.wBitsPerSample = 32;
    EXPECT_THROW(player.TRVLAVMediaPlayerAudio::DecodeBuffer(wider), EArgumentError);
    EXPECT_EQ(player.DecodeBuffer()->GetSize(), 64u); // the player is as it was
    player.Close();
    EXPECT_THROW(player.DecodeBuffer(), EAssertionFailed);
}

TEST(RVLAVPlayerAudio, TryOpenTakesOnlyItsStreamAndWhatABufferCanCarry) {
    std::unique_ptr<TRVLAVMediaPlayerAudio> player;
    TRVLAVMediaPlayerAudio::Create(StoreIn(player), nullptr, nullptr);
    TSVWaveFormatExtensible header{};
    int32_t error = -1;
    TRVLAVCodecContext other = DecoderContext("pcm_s16le", 2, 44100);
    EXPECT_FALSE(player->TryOpen(header, 1, 1, other.get(), error));
    EXPECT_EQ(error, 0);
    EXPECT_FALSE(player->GetOpened());

    const struct {
        const char* Decoder;
        int32_t Error;
    } refusals[] = {{"pcm_s64le", AVERROR(ENOTSUP)}, // 64-bit integers: no buffer width
                    {"no such decoder", AVERROR(EINVAL)}};
    for (const auto& refusal : refusals) {
        TRVLAVCodecContext context = DecoderContext(refusal.Decoder, 2, 44100);
        EXPECT_FALSE(player->TryOpen(header, 0, 4, context.get(), error));
        EXPECT_EQ(error, refusal.Error) << refusal.Decoder;
        EXPECT_TRUE(player->GetOpened()); // the context is kept until Close
        EXPECT_EQ(player->GetFrame(), nullptr);
        EXPECT_EQ(header.Format.wFormatTag, 0); // untouched
        player->Close();
        player->Close();
        EXPECT_FALSE(player->GetOpened());
    }
    EXPECT_THROW(player->TryOpen(header, 0, 0, nullptr, error), EAssertionFailed);
}
