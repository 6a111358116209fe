#include "sonvera/codecs/RVLAVPlayerAudio.h"

#include <algorithm>
#include <cstring>

#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/primitives/SVSampleKernels.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "RVLAVSupport";

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

// What the audio buffer can carry: a known format and 1 to 65535 bytes per frame.
bool Deliverable(const AVCodecContext& AContext) {
    const TSampleLayout* layout = LayoutOf(AContext.sample_fmt);
    const int64_t channels = AContext.ch_layout.nb_channels;
    return layout && channels >= 1 && int64_t{layout->Bits / 8} * channels <= UINT16_MAX &&
           AContext.sample_rate >= 0;
}

void FillWaveFormat(const AVCodecContext& AContext, TSVWaveFormatExtensible& AWaveFormat) {
    const uint16_t bits = LayoutOf(AContext.sample_fmt)->Bits;
    const auto channels = static_cast<uint16_t>(AContext.ch_layout.nb_channels);
    AWaveFormat = {};
    AWaveFormat.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    AWaveFormat.Format.wBitsPerSample = bits;
    AWaveFormat.Format.nChannels = channels;
    AWaveFormat.Format.nSamplesPerSec = static_cast<uint32_t>(AContext.sample_rate);
    AWaveFormat.Format.nBlockAlign = static_cast<uint16_t>(bits / 8 * channels);
    AWaveFormat.Format.nAvgBytesPerSec = static_cast<uint32_t>(
        uint64_t{AWaveFormat.Format.nSamplesPerSec} * AWaveFormat.Format.nBlockAlign);
    AWaveFormat.Format.cbSize = SV_EXTENSIBLE_EXTRA_SIZE;
    AWaveFormat.Samples.wValidBitsPerSample = bits;
    AWaveFormat.dwChannelMask = (uint32_t{1} << (channels % 32)) - 1;
    AWaveFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
}

// A decoded frame, checked against its stream.
struct TFrameShape {
    const TSampleLayout& Layout;
    int32_t Channels;
    int32_t Samples;
    const uint8_t* const* Planes;
};

[[noreturn]] void Refuse(const char* AWhat) {
    throw EArgumentError(std::string("The decoded frame does not fit its stream: ") + AWhat);
}

void CheckPlanes(const AVFrame& AFrame, const TSampleLayout& ALayout, int32_t AChannels) {
    const int64_t perPlane =
        int64_t{AFrame.nb_samples} * ALayout.SourceBytes * (ALayout.Planar ? 1 : AChannels);
    if (perPlane > 0 && AFrame.linesize[0] < perPlane)
        Refuse("its planes are shorter than its samples");
    const int32_t planes = ALayout.Planar ? AChannels : 1;
    if (perPlane > 0 && !AFrame.extended_data)
        Refuse("it has no planes");
    for (int32_t plane = 0; perPlane > 0 && plane < planes; ++plane) {
        const auto address = reinterpret_cast<uintptr_t>(AFrame.extended_data[plane]);
        if (address == 0)
            Refuse("a plane is missing");
        if (address % ALayout.SourceBytes != 0)
            Refuse("a plane is not aligned to its samples");
    }
}

TFrameShape CheckedShape(const AVCodecContext& AContext, const AVFrame& AFrame,
                         const TSVWaveFormatExtensible& AWaveFormat) {
    const TSampleLayout* layout = LayoutOf(AContext.sample_fmt);
    if (!layout)
        throw EArgumentError(FormatMessage("Sample format out of range = %d",
                                           static_cast<int>(AContext.sample_fmt)));
    const int32_t channels = AContext.ch_layout.nb_channels;
    if (AFrame.format != AContext.sample_fmt)
        Refuse("another sample format");
    if (AFrame.ch_layout.nb_channels != channels || channels < 1)
        Refuse("another channel count");
    if (AFrame.nb_samples < 0)
        Refuse("a negative sample count");
    if (AWaveFormat.Format.wBitsPerSample != layout->Bits)
        throw EArgumentError("The wave format's sample width does not match the stream");
    CheckPlanes(AFrame, *layout, channels);
    return {*layout, channels, AFrame.nb_samples, AFrame.extended_data};
}

template <class T>
void InterleavePlanes(const uint8_t* const* APlanes, int32_t AChannels, int32_t ASamples,
                      T* ATarget) {
    for (int32_t channel = 0; channel < AChannels; ++channel) {
        const auto* plane = reinterpret_cast<const T*>(APlanes[channel]);
        for (int32_t i = 0; i < ASamples; ++i)
            ATarget[int64_t{i} * AChannels + channel] = plane[i];
    }
}

template <class T> void InterleaveIntegers(const TFrameShape& AShape, void* ATarget) {
    const auto* left = reinterpret_cast<const T*>(AShape.Planes[0]);
    if constexpr (sizeof(T) > 1) {
        if (AShape.Channels == 2)
            return SVInterleavePair(left, reinterpret_cast<const T*>(AShape.Planes[1]),
                                    static_cast<T*>(ATarget), static_cast<size_t>(AShape.Samples));
    }
    InterleavePlanes(AShape.Planes, AShape.Channels, AShape.Samples, static_cast<T*>(ATarget));
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
    constexpr int32_t KChunk = 256;
    int32_t converted[KChunk];
    for (int32_t first = 0; first < AShape.Samples; first += KChunk) {
        const int32_t count = std::min(KChunk, AShape.Samples - first);
        for (int32_t channel = 0; channel < AShape.Channels; ++channel) {
            SVFloatsToS32Symmetric(plane(channel) + first, converted, static_cast<size_t>(count));
            int32_t* column = ATarget + int64_t{first} * AShape.Channels + channel;
            for (int32_t i = 0; i < count; ++i)
                column[int64_t{i} * AShape.Channels] = converted[i];
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

} // namespace

// ---- TRVLAVPlayerMediaStream ----------------------------------------------------------------

TRVLAVPlayerMediaStream::TRVLAVPlayerMediaStream(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                                 TPersistentNotify AOnChange)
    : TLockPersistent(std::move(AOnChange), AOwner, std::move(ALock)) {}

TRVLAVPlayerMediaStream::~TRVLAVPlayerMediaStream() {
    ReleaseDecoder();
}

const TPropertyTableBase& TRVLAVPlayerMediaStream::ClassPropertyTable() {
    using T = TRVLAVPlayerMediaStream;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TRVLAVPlayerMediaStream", TLockPersistent::ClassPropertyTable())
            .Integer("Stream", 0, &T::GetStream, &T::SetStream);
    return table;
}

void TRVLAVPlayerMediaStream::Close() {
    ReleaseDecoder();
}

void TRVLAVPlayerMediaStream::ReleaseDecoder() noexcept {
    FFrame.reset();
    if (!FCodecCtx)
        return;
    AVCodecContext* context = std::exchange(FCodecCtx, nullptr);
    try {
        LAVLockExecute([context] { avcodec_close(context); });
    } catch (const EAssertionFailed&) {
        // The codec unit has shut down: nothing can be opening a codec any more.
        avcodec_close(context);
    }
}

// ---- TRVLAVMediaPlayerAudio -----------------------------------------------------------------

TRVLAVMediaPlayerAudio&
TRVLAVMediaPlayerAudio::Create(const TOnCreated<TRVLAVMediaPlayerAudio>& AOnCreated,
                               TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                               TPersistentNotify AOnChange) {
    return HandOver(AOnCreated, std::unique_ptr<TRVLAVMediaPlayerAudio>(new TRVLAVMediaPlayerAudio(
                                    AOwner, std::move(ALock), std::move(AOnChange))));
}

const TPropertyTableBase& TRVLAVMediaPlayerAudio::ClassPropertyTable() {
    static const TPropertyTable<TRVLAVMediaPlayerAudio> table(
        "TRVLAVMediaPlayerAudio", TRVLAVPlayerMediaStream::ClassPropertyTable());
    return table;
}

bool TRVLAVMediaPlayerAudio::TryOpen(TSVWaveFormatExtensible& AWaveFormat, int32_t AAudioIndex,
                                     int32_t ARealIndex, AVCodecContext* ACodecContext,
                                     int32_t& AError) {
    AError = 0;
    if (AAudioIndex != GetStream())
        return false;
    Assert(ACodecContext != nullptr, KUnitName);
    FRealIndex = ARealIndex;
    FCodecCtx = ACodecContext;
    FCodec = avcodec_find_decoder(ACodecContext->codec_id);
    LAVLockExecute([&] { AError = avcodec_open2(ACodecContext, FCodec, nullptr); });
    if (AError != 0)
        return false;
    if (!Deliverable(*ACodecContext)) {
        AError = AVERROR(ENOTSUP);
        return false;
    }
    FillWaveFormat(*ACodecContext, AWaveFormat);
    FFrame = NewLAVFrame();
    return true;
}

TRef<ISVAudioBuffer>
TRVLAVMediaPlayerAudio::DecodeBuffer(const TSVWaveFormatExtensible& AWaveFormat) const {
    Assert(FCodecCtx != nullptr && FFrame != nullptr, KUnitName);
    const TFrameShape shape = CheckedShape(*FCodecCtx, *FFrame, AWaveFormat);
    TRef<TSVAudioBuffer> buffer = TSVAudioBuffer::CreateSizeObject(
        FCodecCtx->sample_rate, shape.Layout.Bits, shape.Channels, shape.Samples);
    if (shape.Samples > 0) {
        if (shape.Layout.Planar)
            ConvertPlanar(shape, buffer->Write());
        else
            ConvertPacked(shape, buffer->Write());
    }
    return buffer;
}

// ---- TRVLAVPlayerAudio ----------------------------------------------------------------------

TRVLAVPlayerAudio& TRVLAVPlayerAudio::Create(const TOnCreated<TRVLAVPlayerAudio>& AOnCreated,
                                             TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                             TPersistentNotify AOnChange) {
    return HandOver(AOnCreated, std::unique_ptr<TRVLAVPlayerAudio>(new TRVLAVPlayerAudio(
                                    AOwner, std::move(ALock), std::move(AOnChange))));
}

const TPropertyTableBase& TRVLAVPlayerAudio::ClassPropertyTable() {
    static const TPropertyTable<TRVLAVPlayerAudio> table(
        "TRVLAVPlayerAudio", TRVLAVMediaPlayerAudio::ClassPropertyTable());
    return table;
}

} // namespace sonvera
