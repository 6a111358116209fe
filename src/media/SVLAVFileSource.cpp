#include "sonvera/media/SVLAVFileSource.h"

#include <algorithm>

#include "sonvera/media/SVLAVSampleTransfer.h"

namespace sonvera {

namespace {

// The stream's own duration, else the container's; 0 when neither is known.
int64_t DurationOf(const AVFormatContext& AInput, const AVStream& AStream) {
    int64_t duration = 0;
    if (AStream.duration != AV_NOPTS_VALUE)
        duration = av_rescale_q(AStream.duration, AStream.time_base, {1, KUnitsPerSecond});
    else if (AInput.duration != AV_NOPTS_VALUE)
        duration = av_rescale(AInput.duration, KUnitsPerSecond, AV_TIME_BASE);
    return std::max<int64_t>(duration, 0);
}

} // namespace

struct TSVLAVFileSource::TDecoder {
    TRVLAVInputContext Input;
    TRVLAVCodecContext Context;
    TRVLAVPacket Packet = NewLAVPacket();
    int RealIndex = 0;
    bool Flushed = false;
    int64_t Duration = 0;
};

TSVLAVFileSource::TSVLAVFileSource(TPersistent* AOwner) : TSVStreamSource(AOwner) {
    TRVLAVPlayerAudio::Create(StoreIn(FPlayerAudio), this, GetLock());
}

TSVLAVFileSource::~TSVLAVFileSource() {
    Stop(); // the clock first: a tick decodes
    TChangeNotifyLockGuard guard(*GetLock());
    Close();
}

const TPropertyTableBase& TSVLAVFileSource::ClassPropertyTable() {
    using T = TSVLAVFileSource;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVLAVFileSource", TSVStreamSource::ClassPropertyTable())
            .String("FileName", "", &T::GetFileName, &T::SetFileName)
            .Object("PlayerAudio", [](const T& ASource) { return ASource.GetPlayerAudio(); });
    return table;
}

void TSVLAVFileSource::SetFileName(const std::string& AValue) {
    SetPropValue("FileName", FFileName, AValue, [this] { Unprepare(); });
}

std::string TSVLAVFileSource::GetCodecName() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FPlayerAudio->GetCodec() ? FPlayerAudio->GetCodec()->name : "";
}

int64_t TSVLAVFileSource::GetDuration() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FDecoder ? FDecoder->Duration : 0;
}

TSVWaveFormatExtensible TSVLAVFileSource::OpenStream() {
    const std::string name = FFileName;
    auto decoder = std::make_unique<TDecoder>();
    int error = 0;
    decoder->Input = OpenLAVInput(name, error);
    if (!decoder->Input)
        throw EReadError(name + ": " + SVLAVErrorText(error));
    // The player audio's Stream counts audio streams only.
    const AVStream* stream = nullptr;
    int32_t audioIndex = 0;
    for (unsigned i = 0; i < decoder->Input->nb_streams && !stream; ++i)
        if (decoder->Input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            audioIndex++ == FPlayerAudio->GetStream())
            stream = decoder->Input->streams[i];
    if (!stream)
        throw EReadError(name + ": " +
                         FormatMessage("no audio stream %d", FPlayerAudio->GetStream()));
    decoder->RealIndex = stream->index;
    decoder->Context = NewLAVCodecContext(nullptr);
    error = avcodec_parameters_to_context(decoder->Context.get(), stream->codecpar);
    if (error < 0)
        throw EReadError(name + ": " + SVLAVErrorText(error));
    decoder->Context->pkt_timebase = stream->time_base;
    decoder->Duration = DurationOf(*decoder->Input, *stream);

    if (!FPlayerAudio->TryOpen(FPlayerAudio->GetStream(), stream->index, decoder->Context.get(),
                               error)) {
        const AVCodecDescriptor* codec = avcodec_descriptor_get(stream->codecpar->codec_id);
        FPlayerAudio->Close();
        throw EReadError(name + ": cannot decode " + (codec ? codec->name : "this stream") + ": " +
                         SVLAVErrorText(error));
    }
    const AVCodecContext& context = *decoder->Context;
    if (context.sample_rate <= 0 || context.ch_layout.nb_channels <= 0) {
        FPlayerAudio->Close();
        throw EReadError(name + ": the audio stream gives no sample rate or no channels");
    }
    const TSVWaveFormatExtensible& decoded = FPlayerAudio->GetWaveFormat();
    // FFmpeg hands 24-bit integers over in 32 bits; the stream keeps the file's width.
    const AVSampleFormat packed = av_get_packed_sample_fmt(context.sample_fmt);
    const int32_t bits = packed == AV_SAMPLE_FMT_S32 && context.bits_per_raw_sample == 24
                             ? 24
                             : decoded.Samples.wValidBitsPerSample;
    FFormat = TPXStartWaveOperation::CreateFormatExObject(context.sample_rate, bits,
                                                          context.ch_layout.nb_channels,
                                                          SVSpeakersOf(context.ch_layout), false)
                  ->GetWaveFormat();
    FDecoder = std::move(decoder);
    return FFormat;
}

void TSVLAVFileSource::CloseStream() {
    // The player audio closes the decoder on the context before the context goes.
    FPlayerAudio->Close();
    FDecoder.reset();
}

TRef<ISVAudioBuffer> TSVLAVFileSource::ReadBuffer() {
    TDecoder& decoder = *FDecoder;
    AVCodecContext* context = decoder.Context.get();
    AVFrame* frame = FPlayerAudio->GetFrame();
    for (;;) {
        int result = avcodec_receive_frame(context, frame);
        if (result == 0) {
            if (frame->nb_samples > 0)
                return ConvertFrame();
            continue;
        }
        if (result == AVERROR_EOF)
            return nullptr;
        // A damaged packet is skipped, as players do; other failures end the stream.
        if (result != AVERROR(EAGAIN) && result != AVERROR_INVALIDDATA)
            throw EReadError(FFileName + ": " + SVLAVErrorText(result));
        if (decoder.Flushed)
            return nullptr;
        result = av_read_frame(decoder.Input.get(), decoder.Packet.get());
        if (result == AVERROR_EOF) {
            avcodec_send_packet(context, nullptr); // drains what the decoder holds back
            decoder.Flushed = true;
            continue;
        }
        if (result < 0)
            throw EReadError(FFileName + ": " + SVLAVErrorText(result));
        if (decoder.Packet->stream_index == decoder.RealIndex)
            result = avcodec_send_packet(context, decoder.Packet.get());
        av_packet_unref(decoder.Packet.get());
        if (result < 0 && result != AVERROR_INVALIDDATA)
            throw EReadError(FFileName + ": " + SVLAVErrorText(result));
    }
}

TRef<ISVAudioBuffer> TSVLAVFileSource::ConvertFrame() {
    const AVFrame& frame = *FPlayerAudio->GetFrame();
    if (frame.sample_rate != static_cast<int>(FFormat.Format.nSamplesPerSec) ||
        frame.ch_layout.nb_channels != FFormat.Format.nChannels ||
        SVDeliveredBits(frame.format) != FPlayerAudio->GetWaveFormat().Format.wBitsPerSample)
        throw EReadError(FFileName + FormatMessage(": a frame of %d Hz, %d channels and %d bits "
                                                   "does not match the stream's format",
                                                   frame.sample_rate, frame.ch_layout.nb_channels,
                                                   SVDeliveredBits(frame.format)));
    // Decoded straight into the stream's width and speakers.
    return SVBufferFromFrame(frame, frame.sample_rate, FFormat.Samples.wValidBitsPerSample,
                             TSVSpeakers::FromMask(FFormat.dwChannelMask));
}

} // namespace sonvera
