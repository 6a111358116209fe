#include "sonvera/codecs/RVLAVSampleBridge.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <type_traits>
#include <vector>

#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/primitives/SVFloatKernels.h"
#include "sonvera/primitives/SVSampleKernels.h"
#include "sonvera/primitives/SVSampleTraits.h"

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

enum TSampleKind : uint8_t { skInteger, skFloat, skDouble };

struct TSampleLayout {
    uint32_t SourceBytes; // bytes of one decoded sample
    uint16_t Bits;        // bits of one delivered sample
    bool Planar;
    TSampleKind Kind;
};

// By AVSampleFormat, 0 to 9. Doubles are delivered as 32-bit integers: the audio buffer
// carries no 64-bit samples.
constexpr TSampleLayout KLayouts[] = {{1, 8, false, skInteger},  {2, 16, false, skInteger},
                                      {4, 32, false, skInteger}, {4, 32, false, skFloat},
                                      {8, 32, false, skDouble},  {1, 8, true, skInteger},
                                      {2, 16, true, skInteger},  {4, 32, true, skInteger},
                                      {4, 32, true, skFloat},    {8, 32, true, skDouble}};
constexpr int KLayoutCount = static_cast<int>(std::size(KLayouts));
static_assert(AV_SAMPLE_FMT_DBLP == KLayoutCount - 1);

const TSampleLayout* LayoutOf(int AFormat) noexcept {
    return AFormat >= 0 && AFormat < KLayoutCount ? &KLayouts[AFormat] : nullptr;
}

// A frame, checked.
struct TFrameShape {
    const TSampleLayout& Layout;
    int32_t Channels;
    int32_t Samples;
    const uint8_t* const* Planes;
};

[[noreturn]] void RefuseFrame(const char* AWhat) {
    throw EArgumentError(std::string("The decoded frame does not fit its stream: ") + AWhat);
}

void CheckPlanes(const AVFrame& AFrame, const TSampleLayout& ALayout, int32_t AChannels) {
    const int64_t perPlane =
        int64_t{AFrame.nb_samples} * ALayout.SourceBytes * (ALayout.Planar ? 1 : AChannels);
    if (perPlane > 0 && AFrame.linesize[0] < perPlane)
        RefuseFrame("its planes are shorter than its samples");
    const int32_t planes = ALayout.Planar ? AChannels : 1;
    if (perPlane > 0 && !AFrame.extended_data)
        RefuseFrame("it has no planes");
    for (int32_t plane = 0; perPlane > 0 && plane < planes; ++plane) {
        const auto address = reinterpret_cast<uintptr_t>(AFrame.extended_data[plane]);
        if (address == 0)
            RefuseFrame("a plane is missing");
        if (address % ALayout.SourceBytes != 0)
            RefuseFrame("a plane is not aligned to its samples");
    }
}

TFrameShape CheckedShape(const AVFrame& AFrame) {
    const TSampleLayout* layout = LayoutOf(AFrame.format);
    if (!layout)
        throw EArgumentError(FormatMessage("Sample format out of range = %d", AFrame.format));
    const int32_t channels = AFrame.ch_layout.nb_channels;
    if (channels < 1)
        RefuseFrame("another channel count");
    if (AFrame.nb_samples < 0)
        RefuseFrame("a negative sample count");
    CheckPlanes(AFrame, *layout, channels);
    return {*layout, channels, AFrame.nb_samples, AFrame.extended_data};
}

// Samples AFirst ... AFirst + ASamples - 1 of every plane into ASamples frames at ATarget.
template <class T>
void InterleavePlanes(const uint8_t* const* APlanes, int32_t AChannels, size_t AFirst,
                      size_t ASamples, T* ATarget) {
    const auto plane = [APlanes, AFirst](int32_t AChannel) {
        return reinterpret_cast<const T*>(APlanes[AChannel]) + AFirst;
    };
    if constexpr (std::is_same_v<T, int32_t>) {
        int32_t channel = 0;
        for (; channel + 1 < AChannels; channel += 2)
            SVSpreadColumns(plane(channel), plane(channel + 1), ATarget + channel, AChannels,
                            ASamples);
        if (channel < AChannels)
            SVSpreadColumns(plane(channel), nullptr, ATarget + channel, AChannels, ASamples);
        return;
    }
    for (int32_t channel = 0; channel < AChannels; ++channel)
        for (size_t i = 0; i < ASamples; ++i)
            ATarget[i * static_cast<size_t>(AChannels) + static_cast<size_t>(channel)] =
                plane(channel)[i];
}

template <class T> void InterleaveIntegers(const TFrameShape& AShape, void* ATarget) {
    const auto* left = reinterpret_cast<const T*>(AShape.Planes[0]);
    if constexpr (sizeof(T) > 1) {
        if (AShape.Channels == 2)
            return SVInterleavePair(left, reinterpret_cast<const T*>(AShape.Planes[1]),
                                    static_cast<T*>(ATarget), static_cast<size_t>(AShape.Samples));
    }
    InterleavePlanes(AShape.Planes, AShape.Channels, 0, static_cast<size_t>(AShape.Samples),
                     static_cast<T*>(ATarget));
}

// Converts KChunk samples of each plane at a time and spreads them over their column.
template <class TFloat> void ConvertPlanes(const TFrameShape& AShape, int32_t* ATarget) {
    const auto plane = [&AShape](int32_t AChannel) {
        return reinterpret_cast<const TFloat*>(AShape.Planes[AChannel]);
    };
    const auto samples = static_cast<size_t>(AShape.Samples);
    if (AShape.Channels == 1)
        return SVFloatsToS32Symmetric(plane(0), ATarget, samples);
    if (AShape.Channels == 2)
        return SVFloatPairToS32Symmetric(plane(0), plane(1), ATarget, samples);
    // Two channels at a time, a chunk of each converted and then spread together.
    constexpr int32_t KChunk = 256;
    int32_t left[KChunk];
    int32_t right[KChunk];
    for (int32_t first = 0; first < AShape.Samples; first += KChunk) {
        const auto count = static_cast<size_t>(std::min(KChunk, AShape.Samples - first));
        int32_t* frames = ATarget + int64_t{first} * AShape.Channels;
        int32_t channel = 0;
        for (; channel + 1 < AShape.Channels; channel += 2) {
            SVFloatsToS32Symmetric(plane(channel) + first, left, count);
            SVFloatsToS32Symmetric(plane(channel + 1) + first, right, count);
            SVSpreadColumns(left, right, frames + channel, AShape.Channels, count);
        }
        if (channel < AShape.Channels) {
            SVFloatsToS32Symmetric(plane(channel) + first, left, count);
            SVSpreadColumns(left, nullptr, frames + channel, AShape.Channels, count);
        }
    }
}

void ConvertPacked(const TFrameShape& AShape, void* ATarget) {
    const auto count = static_cast<size_t>(AShape.Samples) * static_cast<size_t>(AShape.Channels);
    switch (AShape.Layout.Kind) {
    case skInteger:
        std::memcpy(ATarget, AShape.Planes[0], count * AShape.Layout.SourceBytes);
        break;
    case skFloat:
        SVFloatsToS32Symmetric(reinterpret_cast<const float*>(AShape.Planes[0]),
                               static_cast<int32_t*>(ATarget), count);
        break;
    case skDouble:
        SVFloatsToS32Symmetric(reinterpret_cast<const double*>(AShape.Planes[0]),
                               static_cast<int32_t*>(ATarget), count);
        break;
    }
}

void ConvertPlanar(const TFrameShape& AShape, void* ATarget) {
    auto* target = static_cast<int32_t*>(ATarget);
    switch (AShape.Layout.Kind) {
    case skInteger:
        if (AShape.Layout.SourceBytes == 1)
            InterleaveIntegers<uint8_t>(AShape, ATarget);
        else if (AShape.Layout.SourceBytes == 2)
            InterleaveIntegers<int16_t>(AShape, ATarget);
        else
            InterleaveIntegers<int32_t>(AShape, ATarget);
        break;
    case skFloat:
        ConvertPlanes<float>(AShape, target);
        break;
    case skDouble:
        ConvertPlanes<double>(AShape, target);
        break;
    }
}

// Left-justified 32-bit samples packed to 24 bits (as SVPackS32ToS24), planes interleaved a block
// at a time on the way, in a block on the stack that stays in the first-level cache with the
// bytes packed from it.
void PackWide(const TFrameShape& AShape, uint8_t* ATarget) {
    const auto channels = static_cast<size_t>(AShape.Channels);
    const auto samples = static_cast<size_t>(AShape.Samples);
    if (!AShape.Layout.Planar)
        return SVPackS32ToS24(reinterpret_cast<const int32_t*>(AShape.Planes[0]), ATarget,
                              samples * channels);
    constexpr size_t KBlockSamples = 4096;
    int32_t block[KBlockSamples];
    std::vector<int32_t> wider; // a frame wider than the block, which no real stream has
    int32_t* frames = block;
    size_t blockFrames = KBlockSamples / channels;
    if (blockFrames == 0) {
        wider.resize(channels);
        frames = wider.data();
        blockFrames = 1;
    }
    for (size_t first = 0; first < samples; first += blockFrames) {
        const size_t count = std::min(blockFrames, samples - first);
        InterleavePlanes(AShape.Planes, AShape.Channels, first, count, frames);
        SVPackS32ToS24(frames, ATarget + 3 * first * channels, count * channels);
    }
}

} // namespace

int32_t SVDeliveredBits(int AFormat) {
    const TSampleLayout* layout = LayoutOf(AFormat);
    return layout ? layout->Bits : 0;
}

TRef<TSVAudioBuffer> SVBufferFromFrame(const AVFrame& AFrame, int32_t ARate, int32_t ABits,
                                       TSVSpeakers ASpeakers, TSVBufferRecycler& ABuffers) {
    const TFrameShape shape = CheckedShape(AFrame);
    const bool packs = ABits == 24 && shape.Layout.Kind == skInteger && shape.Layout.Bits == 32;
    if (ABits != shape.Layout.Bits && !packs)
        throw EArgumentError(FormatMessage("%s frames cannot give %d-bit samples",
                                           av_get_sample_fmt_name(AVSampleFormat(AFrame.format)),
                                           ABits));
    TRef<TSVAudioBuffer> buffer =
        ABuffers.SizeEx(ARate, ABits, shape.Channels, shape.Samples, ASpeakers);
    if (shape.Samples == 0)
        return buffer;
    if (packs)
        PackWide(shape, static_cast<uint8_t*>(buffer->Write()));
    else if (shape.Layout.Planar)
        ConvertPlanar(shape, buffer->Write());
    else
        ConvertPacked(shape, buffer->Write());
    return buffer;
}

bool SVIsFloatSampleFormat(int AFormat) {
    const TSampleLayout* layout = LayoutOf(AFormat);
    return layout && layout->Kind != skInteger;
}

TRef<TSVAudioBuffer> SVFloatBufferFromFrame(const AVFrame& AFrame, int32_t ARate,
                                            TSVSpeakers ASpeakers, TSVBufferRecycler& ABuffers) {
    const TFrameShape shape = CheckedShape(AFrame);
    if (shape.Layout.Kind == skInteger)
        throw EArgumentError(FormatMessage("%s frames cannot give float samples",
                                           av_get_sample_fmt_name(AVSampleFormat(AFrame.format))));
    TRef<TSVAudioBuffer> buffer =
        ABuffers.FloatSizeEx(ARate, shape.Channels, shape.Samples, ASpeakers);
    auto* target = static_cast<float*>(buffer->Write());
    const size_t count = size_t(shape.Samples) * size_t(shape.Channels);
    if (shape.Layout.Kind == skFloat && !shape.Layout.Planar)
        std::memcpy(target, shape.Planes[0], count * sizeof(float));
    else if (shape.Layout.Kind == skFloat)
        InterleavePlanes(shape.Planes, shape.Channels, 0, size_t(shape.Samples), target);
    else
        for (int32_t channel = 0; channel < shape.Channels; ++channel) {
            const auto* source =
                reinterpret_cast<const double*>(shape.Planes[shape.Layout.Planar ? channel : 0]);
            const size_t step = shape.Layout.Planar ? 1 : size_t(shape.Channels);
            const size_t first = shape.Layout.Planar ? 0 : size_t(channel);
            for (int32_t i = 0; i < shape.Samples; ++i)
                target[size_t(i) * size_t(shape.Channels) + size_t(channel)] =
                    static_cast<float>(source[first + size_t(i) * step]);
        }
    return buffer;
}

void SVWriteFrameFloats(const float* ASource, int32_t AChannels, int32_t AFrames, AVFrame& ADest,
                        int32_t AOffset) {
    const auto format = static_cast<AVSampleFormat>(ADest.format);
    if (AChannels < 1 || AFrames < 0 || AOffset < 0 ||
        AOffset + int64_t{AFrames} > ADest.nb_samples || AChannels != ADest.ch_layout.nb_channels)
        throw EArgumentError("Samples do not fit the frame");
    const bool planar = av_sample_fmt_is_planar(format);
    // Integer targets: converted by the float path's own kernel, one frame's worth at a time.
    const auto integers = [&](auto ASample, int32_t ABits) {
        using T = decltype(ASample);
        Transfer<float, T>(
            ASource, AChannels, AFrames, ADest, AOffset, planar, [ABits](float AValue) {
                T value;
                SVFloatToInteger(&AValue, sizeof(float), reinterpret_cast<uint8_t*>(&value), ABits,
                                 sizeof(T), 1);
                return value;
            });
    };
    switch (av_get_packed_sample_fmt(format)) {
    case AV_SAMPLE_FMT_FLT:
        return Transfer<float, float>(ASource, AChannels, AFrames, ADest, AOffset, planar, TSame());
    case AV_SAMPLE_FMT_DBL:
        return Transfer<float, double>(ASource, AChannels, AFrames, ADest, AOffset, planar,
                                       [](float AValue) { return double{AValue}; });
    case AV_SAMPLE_FMT_U8:
        return integers(uint8_t{}, 8);
    case AV_SAMPLE_FMT_S16:
        return integers(int16_t{}, 16);
    case AV_SAMPLE_FMT_S32:
        return integers(int32_t{}, 32);
    default:
        throw EArgumentError(FormatMessage("Float samples cannot go into %s frames",
                                           av_get_sample_fmt_name(format)));
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
            ToFloats(source, 8, TSVSampleTraits<8>::KSilence, AChannels, AFrames, ADest, AOffset, format);
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
    const std::string code = av_strerror(AError, text, sizeof(text)) < 0
                                 ? FormatMessage("FFmpeg error %d", AError)
                                 : text;
    const std::string logged = TakeLAVLoggedError();
    return logged.empty() ? code : logged + " (" + code + ")";
}

} // namespace sonvera
