#include "sonvera/media/SVLAVSampleTransfer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr uint32_t KNamedSpeakerMask = (1u << 18) - 1;

// Samples that keep their value and width: copied as bytes where the layout allows.
struct TSame {
    template <class T> T operator()(T AValue) const { return AValue; }
};

// Interleaved source samples into ADest (interleaved or one plane per channel), each converted
// by AConvert.
template <class TSource, class TDest, class TConvert>
void Transfer(const TSource* ASource, int32_t AChannels, int32_t AFrames, AVFrame& ADest,
              int32_t AOffset, bool APlanar, TConvert AConvert) {
    if (!APlanar) {
        TDest* dest = reinterpret_cast<TDest*>(ADest.extended_data[0]) +
                      static_cast<size_t>(AOffset) * static_cast<size_t>(AChannels);
        const size_t count = static_cast<size_t>(AFrames) * static_cast<size_t>(AChannels);
        if constexpr (std::is_same_v<TConvert, TSame>) {
            std::memcpy(dest, ASource, count * sizeof(TDest));
            return;
        }
        for (size_t i = 0; i < count; ++i)
            dest[i] = AConvert(ASource[i]);
        return;
    }
    if (AChannels == 2) { // the common case, in one pass that the compiler vectorises
        TDest* left = reinterpret_cast<TDest*>(ADest.extended_data[0]) + AOffset;
        TDest* right = reinterpret_cast<TDest*>(ADest.extended_data[1]) + AOffset;
        for (int32_t i = 0; i < AFrames; ++i) {
            left[i] = AConvert(ASource[2 * static_cast<size_t>(i)]);
            right[i] = AConvert(ASource[2 * static_cast<size_t>(i) + 1]);
        }
        return;
    }
    for (int32_t channel = 0; channel < AChannels; ++channel) {
        TDest* dest = reinterpret_cast<TDest*>(ADest.extended_data[channel]) + AOffset;
        const TSource* source = ASource + channel;
        for (int32_t i = 0; i < AFrames; ++i)
            dest[i] = AConvert(source[static_cast<size_t>(i) * static_cast<size_t>(AChannels)]);
    }
}

template <class TSource, class TFloat> auto Scaled(int32_t ABits, int32_t AZero) {
    const TFloat scale = TFloat(1) / static_cast<TFloat>(int64_t{1} << (ABits - 1));
    return [scale, AZero](TSource AValue) {
        return static_cast<TFloat>(static_cast<int32_t>(AValue) - AZero) * scale;
    };
}

template <class TSource>
void ToFloats(const TSource* ASource, int32_t ABits, int32_t AZero, int32_t AChannels,
              int32_t AFrames, AVFrame& ADest, int32_t AOffset, AVSampleFormat AFormat) {
    const bool planar = av_sample_fmt_is_planar(AFormat);
    if (av_get_packed_sample_fmt(AFormat) == AV_SAMPLE_FMT_FLT)
        Transfer<TSource, float>(ASource, AChannels, AFrames, ADest, AOffset, planar,
                                 Scaled<TSource, float>(ABits, AZero));
    else
        Transfer<TSource, double>(ASource, AChannels, AFrames, ADest, AOffset, planar,
                                  Scaled<TSource, double>(ABits, AZero));
}

[[noreturn]] void Refuse(int32_t ABits, AVSampleFormat AFormat) {
    const char* name = av_get_sample_fmt_name(AFormat);
    throw EArgumentError(
        FormatMessage("%d-bit samples cannot go into %s frames", ABits, name ? name : "unknown"));
}

// Writes ASource (interleaved 32-bit, or 24-bit already unpacked to 32) into ADest.
void WriteWide(const int32_t* ASource, int32_t ABits, int32_t AChannels, int32_t AFrames,
               AVFrame& ADest, int32_t AOffset, AVSampleFormat AFormat) {
    const AVSampleFormat packed = av_get_packed_sample_fmt(AFormat);
    if (packed == AV_SAMPLE_FMT_S32)
        Transfer<int32_t, int32_t>(ASource, AChannels, AFrames, ADest, AOffset,
                                   av_sample_fmt_is_planar(AFormat), TSame());
    else if (packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL)
        ToFloats(ASource, 32, 0, AChannels, AFrames, ADest, AOffset, AFormat);
    else
        Refuse(ABits, AFormat);
}

} // namespace

void SVPackS32ToS24(const int32_t* ASource, uint8_t* ADest, size_t ACount) {
    for (size_t i = 0; i < ACount; ++i) {
        const int64_t rounded = (int64_t{ASource[i]} + 128) >> 8;
        const auto value = static_cast<uint32_t>(std::min<int64_t>(rounded, 0x7FFFFF));
        ADest[3 * i] = static_cast<uint8_t>(value);
        ADest[3 * i + 1] = static_cast<uint8_t>(value >> 8);
        ADest[3 * i + 2] = static_cast<uint8_t>(value >> 16);
    }
}

void SVUnpackS24ToS32(const uint8_t* ASource, int32_t* ADest, size_t ACount) {
    // Four bytes read at once, the fourth (the next sample's) shifted out; the last sample has
    // no next one.
    size_t i = 0;
    for (; i + 1 < ACount; ++i) {
        uint32_t value;
        std::memcpy(&value, ASource + 3 * i, sizeof(value));
        ADest[i] = static_cast<int32_t>(value << 8);
    }
    for (; i < ACount; ++i) {
        const uint32_t value = uint32_t{ASource[3 * i]} << 8 | uint32_t{ASource[3 * i + 1]} << 16 |
                               uint32_t{ASource[3 * i + 2]} << 24;
        ADest[i] = static_cast<int32_t>(value);
    }
}

void SVWriteFrameSamples(const void* ASource, int32_t ABits, int32_t AChannels, int32_t AFrames,
                         AVFrame& ADest, int32_t AOffset) {
    const auto format = static_cast<AVSampleFormat>(ADest.format);
    if (AChannels < 1 || AFrames < 0 || AOffset < 0 ||
        AOffset + int64_t{AFrames} > ADest.nb_samples || AChannels != ADest.ch_layout.nb_channels)
        throw EArgumentError("Samples do not fit the frame");
    const AVSampleFormat packed = av_get_packed_sample_fmt(format);
    const bool planar = av_sample_fmt_is_planar(format);
    const bool floats = packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL;
    switch (ABits) {
    case 8: {
        const auto* source = static_cast<const uint8_t*>(ASource);
        if (packed == AV_SAMPLE_FMT_U8)
            Transfer<uint8_t, uint8_t>(source, AChannels, AFrames, ADest, AOffset, planar, TSame());
        else if (floats)
            ToFloats(source, 8, 128, AChannels, AFrames, ADest, AOffset, format);
        else
            Refuse(ABits, format);
        return;
    }
    case 16: {
        const auto* source = static_cast<const int16_t*>(ASource);
        if (packed == AV_SAMPLE_FMT_S16)
            Transfer<int16_t, int16_t>(source, AChannels, AFrames, ADest, AOffset, planar, TSame());
        else if (floats)
            ToFloats(source, 16, 0, AChannels, AFrames, ADest, AOffset, format);
        else
            Refuse(ABits, format);
        return;
    }
    case 24: {
        if (format == AV_SAMPLE_FMT_S32) { // straight into the frame
            SVUnpackS24ToS32(static_cast<const uint8_t*>(ASource),
                             reinterpret_cast<int32_t*>(ADest.extended_data[0]) +
                                 static_cast<size_t>(AOffset) * static_cast<size_t>(AChannels),
                             static_cast<size_t>(AFrames) * static_cast<size_t>(AChannels));
            return;
        }
        // Unpacked once; every other destination format then takes it as 32-bit samples.
        thread_local std::vector<int32_t> unpacked;
        const size_t count = static_cast<size_t>(AFrames) * static_cast<size_t>(AChannels);
        unpacked.resize(count);
        SVUnpackS24ToS32(static_cast<const uint8_t*>(ASource), unpacked.data(), count);
        WriteWide(unpacked.data(), ABits, AChannels, AFrames, ADest, AOffset, format);
        return;
    }
    case 32:
        WriteWide(static_cast<const int32_t*>(ASource), ABits, AChannels, AFrames, ADest, AOffset,
                  format);
        return;
    default:
        Refuse(ABits, format);
    }
}

AVSampleFormat SVEncoderSampleFormat(const AVCodec& ACodec, int32_t ABits) {
    const AVSampleFormat* formats = ACodec.sample_fmts;
    if (!formats)
        return AV_SAMPLE_FMT_NONE;
    const AVSampleFormat wanted = ABits == 8                   ? AV_SAMPLE_FMT_U8
                                  : ABits == 16                ? AV_SAMPLE_FMT_S16
                                  : ABits == 24 || ABits == 32 ? AV_SAMPLE_FMT_S32
                                                               : AV_SAMPLE_FMT_NONE;
    // A PCM codec stores its own width; its float variants store any width as floats.
    const bool pcm = ACodec.id >= AV_CODEC_ID_FIRST_AUDIO && ACodec.id < AV_CODEC_ID_ADPCM_IMA_QT;
    const int pcmBits = pcm ? av_get_bits_per_sample(ACodec.id) : 0;
    for (const AVSampleFormat* format = formats; *format != AV_SAMPLE_FMT_NONE; ++format)
        if (wanted != AV_SAMPLE_FMT_NONE && av_get_packed_sample_fmt(*format) == wanted &&
            (!pcm || pcmBits == ABits))
            return *format;
    for (const AVSampleFormat* format = formats; *format != AV_SAMPLE_FMT_NONE; ++format) {
        const AVSampleFormat packed = av_get_packed_sample_fmt(*format);
        if ((packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL) &&
            wanted != AV_SAMPLE_FMT_NONE)
            return *format;
    }
    return AV_SAMPLE_FMT_NONE;
}

AVChannelLayout SVChannelLayoutOf(TSVSpeakers AMask, int32_t AChannels) {
    AVChannelLayout layout{};
    if (AChannels == 1)
        layout = AV_CHANNEL_LAYOUT_MONO;
    else if (AMask.Count() == AChannels && (AMask.Mask() & ~KNamedSpeakerMask) == 0)
        av_channel_layout_from_mask(&layout, AMask.Mask());
    else
        av_channel_layout_default(&layout, AChannels);
    return layout;
}

TSVSpeakers SVSpeakersOf(const AVChannelLayout& ALayout) {
    const int channels = ALayout.nb_channels;
    if (ALayout.order == AV_CHANNEL_ORDER_NATIVE && channels >= 2 &&
        std::popcount(ALayout.u.mask) == channels &&
        (ALayout.u.mask & ~uint64_t{KNamedSpeakerMask}) == 0)
        return TSVSpeakers::FromMask(static_cast<uint32_t>(ALayout.u.mask));
    return TSVSpeakers::FromMask(channels >= 32 ? 0u : (1u << channels) - 1);
}

std::string SVLAVErrorText(int AError) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    const std::string code =
        av_strerror(AError, text, sizeof(text)) < 0 ? FormatMessage("FFmpeg error %d", AError) : text;
    const std::string logged = TakeLAVLoggedError();
    return logged.empty() ? code : logged + " (" + code + ")";
}

} // namespace sonvera
