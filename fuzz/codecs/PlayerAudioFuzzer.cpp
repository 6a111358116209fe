// A decoded frame as a decoder could hand it to the player audio: the first bytes choose the
// stream's sample format (the ten the player takes, and beyond), the channel count (1 to 64),
// the frame size (0 to 4096 samples) and whether the frame or the wave format disagrees with
// the stream; the rest fills the planes. DecodeBuffer refuses a frame that does not fit its
// stream with EArgumentError; any other gives a whole buffer of the frame's channels and
// samples, each sample the one the portable conversion gives.
#include <cstdint>
#include <cstring>
#include <memory>

#include "AudioBufferChecks.h"
#include "sonvera/codecs/RVLAVPlayerAudio.h"
#include "sonvera/primitives/SVSampleKernels.h"

using namespace sonvera;
using namespace sonvera::fuzz;

namespace {

// How the frame or the caller's record disagrees with the stream.
enum TDisagreement : uint8_t {
    kdFrameFormat = 1,
    kdFrameChannels = 2,
    kdMoreSamplesThanPlanes = 4,
    kdRecordWidth = 8,
    kdMissingPlane = 16
};

struct TPlayer {
    TRVLAVCodecContext Context;
    std::unique_ptr<TRVLAVMediaPlayerAudio> Audio;
};

TPlayer& Player() {
    static TPlayer player = [] {
        TPlayer opened;
        opened.Context = NewLAVCodecContext(nullptr);
        opened.Context->codec_type = AVMEDIA_TYPE_AUDIO;
        opened.Context->codec_id = AV_CODEC_ID_PCM_S16LE;
        opened.Context->sample_rate = 44100;
        av_channel_layout_default(&opened.Context->ch_layout, 2);
        TRVLAVMediaPlayerAudio::Create(StoreIn(opened.Audio), nullptr, nullptr);
        TSVWaveFormatExtensible record;
        int32_t error = 0;
        SONVERA_FUZZ_CHECK(opened.Audio->TryOpen(record, 0, 0, opened.Context.get(), error));
        return opened;
    }();
    return player;
}

int DeliveredBits(int AFormat) {
    static constexpr int KBits[] = {8, 16, 32, 32, 32, 8, 16, 32, 32, 32};
    return AFormat >= 0 && AFormat < 10 ? KBits[AFormat] : 0;
}

// The sample the player must deliver for channel AChannel of frame AIndex.
int32_t ExpectedSample(const AVFrame& AFrame, int AFormat, int AChannels, int AIndex,
                       int AChannel) {
    const int bytes = av_get_bytes_per_sample(AVSampleFormat(AFormat));
    const uint8_t* at = av_sample_fmt_is_planar(AVSampleFormat(AFormat))
                            ? AFrame.extended_data[AChannel] + AIndex * bytes
                            : AFrame.extended_data[0] + (AIndex * AChannels + AChannel) * bytes;
    if (av_get_packed_sample_fmt(AVSampleFormat(AFormat)) == AV_SAMPLE_FMT_FLT) {
        float value;
        std::memcpy(&value, at, sizeof value);
        int32_t sample = 0;
        SVFloatsToS32Symmetric(&value, &sample, 1); // one sample: the portable loop
        return sample;
    }
    if (av_get_packed_sample_fmt(AVSampleFormat(AFormat)) == AV_SAMPLE_FMT_DBL) {
        double value;
        std::memcpy(&value, at, sizeof value);
        int32_t sample = 0;
        SVFloatsToS32Symmetric(&value, &sample, 1);
        return sample;
    }
    int32_t value = 0;
    std::memcpy(&value, at, size_t(bytes));
    return value;
}

void CheckSamples(const TSVAudioBuffer& ABuffer, const AVFrame& AFrame, int AFormat,
                  int AChannels) {
    const int width = DeliveredBits(AFormat) / 8;
    const auto* samples = static_cast<const uint8_t*>(ABuffer.Read());
    for (int i = 0; i < AFrame.nb_samples; ++i)
        for (int channel = 0; channel < AChannels; ++channel) {
            int32_t got = 0, want = ExpectedSample(AFrame, AFormat, AChannels, i, channel);
            std::memcpy(&got, samples + (size_t(i) * AChannels + channel) * width, size_t(width));
            if (width < 4)
                want &= (1 << (8 * width)) - 1;
            SONVERA_FUZZ_CHECK(got == want);
        }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    if (ASize < 5)
        return 0;
    const int format = AData[0] % 13 - 1; // -1 (none) to 11 (64-bit planar integers)
    const int channels = 1 + AData[1] % 64;
    const int samples = (AData[2] | AData[3] << 8) % 4097;
    const uint8_t disagreement = AData[4];
    AData += 5;
    ASize -= 5;

    TPlayer& player = Player();
    AVCodecContext& context = *player.Context;
    context.sample_fmt = AVSampleFormat(format);
    av_channel_layout_uninit(&context.ch_layout);
    av_channel_layout_default(&context.ch_layout, channels);

    AVFrame& frame = *player.Audio->GetFrame();
    av_frame_unref(&frame);
    frame.format = disagreement & kdFrameFormat ? (format + 1) % 10 : format;
    frame.nb_samples = samples;
    av_channel_layout_default(&frame.ch_layout,
                              disagreement & kdFrameChannels ? channels % 64 + 1 : channels);
    if (frame.format >= 0 && av_frame_get_buffer(&frame, 0) == 0) {
        const int planes =
            av_sample_fmt_is_planar(AVSampleFormat(frame.format)) ? frame.ch_layout.nb_channels : 1;
        for (int plane = 0; plane < planes && ASize > 0; ++plane)
            for (int i = 0; i < frame.linesize[0]; ++i)
                frame.extended_data[plane][i] = AData[(size_t(plane) * 131 + i) % ASize];
        if (disagreement & kdMissingPlane && planes > 1)
            frame.extended_data[planes - 1] = nullptr;
    }
    if (disagreement & kdMoreSamplesThanPlanes)
        frame.nb_samples += 1 + frame.linesize[0];

    TSVWaveFormatExtensible record{};
    record.Format.wBitsPerSample =
        uint16_t(disagreement & kdRecordWidth ? 24 : DeliveredBits(format));
    TRef<ISVAudioBuffer> delivered;
    try {
        delivered = player.Audio->DecodeBuffer(record);
    } catch (const EArgumentError&) {
        av_frame_unref(&frame); // the planes may have been tampered with
        return 0;
    }
    // Accepted: the frame and the record agreed with the stream.
    SONVERA_FUZZ_CHECK((disagreement & (kdFrameFormat | kdFrameChannels | kdRecordWidth)) == 0);
    SONVERA_FUZZ_CHECK(format >= 0 && format < 10);
    const auto& buffer = dynamic_cast<const TSVAudioBuffer&>(*delivered);
    CheckAudioBuffer(buffer);
    SONVERA_FUZZ_CHECK(buffer.GetChannels() == channels);
    SONVERA_FUZZ_CHECK(buffer.GetSize() == uint32_t(frame.nb_samples));
    SONVERA_FUZZ_CHECK(buffer.GetBitsPerSample() == DeliveredBits(format));
    CheckSamples(buffer, frame, format, channels);
    return 0;
}
