#include "sonvera/codecs/RVLAVPlayerAudio.h"

#include <algorithm>
#include <cstring>

#include "sonvera/codecs/RVLAVSampleBridge.h"
#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "RVLAVSupport";

// What the audio buffer can carry: a known format and 1 to 65535 bytes per frame.
bool Deliverable(const AVCodecContext& AContext) {
    const int32_t bits = SVDeliveredBits(AContext.sample_fmt);
    const int64_t channels = AContext.ch_layout.nb_channels;
    return bits != 0 && channels >= 1 && int64_t{bits / 8} * channels <= UINT16_MAX &&
           AContext.sample_rate >= 0;
}

void FillWaveFormat(const AVCodecContext& AContext, TSVWaveFormatExtensible& AWaveFormat) {
    const auto bits = static_cast<uint16_t>(SVDeliveredBits(AContext.sample_fmt));
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

[[noreturn]] void RefuseFrame(const char* AWhat) {
    throw EArgumentError(std::string("The decoded frame does not fit its stream: ") + AWhat);
}

// The frame must be of its stream: its sample format and channel count.
void CheckFrame(const AVCodecContext& AContext, const AVFrame& AFrame,
                const TSVWaveFormatExtensible& AWaveFormat) {
    const int32_t bits = SVDeliveredBits(AContext.sample_fmt);
    if (bits == 0)
        throw EArgumentError(FormatMessage("Sample format out of range = %d",
                                           static_cast<int>(AContext.sample_fmt)));
    if (AFrame.format != AContext.sample_fmt)
        RefuseFrame("another sample format");
    if (AFrame.ch_layout.nb_channels != AContext.ch_layout.nb_channels)
        RefuseFrame("another channel count");
    if (AWaveFormat.Format.wBitsPerSample != bits)
        throw EArgumentError("The wave format's sample width does not match the stream");
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
    CheckFrame(*FCodecCtx, *FFrame, AWaveFormat);
    const int32_t channels = FCodecCtx->ch_layout.nb_channels;
    return SVBufferFromFrame(*FFrame, FCodecCtx->sample_rate, AWaveFormat.Format.wBitsPerSample,
                             TSVSpeakers::FromMask((uint32_t{1} << (channels % 32)) - 1), FBuffers);
}

void TRVLAVMediaPlayerAudio::Close() {
    FBuffers.Clear();
    TRVLAVPlayerMediaStream::Close();
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
