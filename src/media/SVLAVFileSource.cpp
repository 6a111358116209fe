#include "sonvera/media/SVLAVFileSource.h"

#include <algorithm>

#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/components/Categories.h"
#include "sonvera/media/SVLAVInput.h"
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

// The format of a stream of decoded samples: FFmpeg hands 24-bit integers over in 32 bits, the
// stream keeps the file's width; floats stay floats when AFloat allows.
TSVWaveFormatExtensible StreamFormatOf(int32_t ARate, const AVChannelLayout& ALayout, int AFormat,
                                       int32_t ARawBits, bool AFloat) {
    const int32_t delivered = SVDeliveredBits(AFormat);
    const int32_t bits = delivered == 32 &&
                                 av_get_packed_sample_fmt(static_cast<AVSampleFormat>(AFormat)) ==
                                     AV_SAMPLE_FMT_S32 &&
                                 ARawBits == 24
                             ? 24
                             : delivered;
    const TSVWaveFormatExtensible format =
        TPXStartWaveOperation::CreateFormatExObject(ARate, bits, ALayout.nb_channels,
                                                    SVSpeakersOf(ALayout), false)
            ->GetWaveFormat();
    return AFloat && SVIsFloatSampleFormat(AFormat) ? SVFloatFormatOf(format) : format;
}

} // namespace

struct TSVLAVFileSource::TDecoder {
    std::unique_ptr<TSVLAVInput> Input;
    TRVLAVCodecContext Context;
    TRVLAVPacket Packet = NewLAVPacket();
    int RealIndex = 0;
    bool Flushed = false;
    int64_t Duration = 0;
    // The decoded frames' buffers, each made over once downstream has let it go.
    TSVBufferRecycler Buffers;
};

TSVLAVFileSource::TSVLAVFileSource(TPersistent* AOwner) : TSVStreamSource(AOwner) {
    TRVLAVPlayerAudio::Create(StoreIn(FPlayerAudio), this, GetLock());
}

TSVLAVFileSource::~TSVLAVFileSource() {
    Stop(); // the clock first: a tick decodes
    TChangeNotifyLockGuard guard(*GetLock());
    Close();
}

const TClassInfo& TSVLAVFileSource::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVLAVFileSource",
                                 .Category = &TSonveraPlayersToolbarCategory::ClassInfo(),
                                 .ShortName = "file-source",
                                 .Description = "Decodes the audio of any file FFmpeg reads"};
    return info;
}

const TPropertyTableBase& TSVLAVFileSource::ClassPropertyTable() {
    using T = TSVLAVFileSource;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVLAVFileSource", TSVStreamSource::ClassPropertyTable())
            .String("FileName", "", &T::GetFileName, &T::SetFileName)
            .About("the file to play")
            .Boolean("Strict", false, &T::GetStrict, &T::SetStrict)
            .About("fail on a damaged frame instead of counting it")
            .Boolean("Float", true, &T::GetFloat, &T::SetFloat)
            .About("deliver decoders' float samples as floats")
            .Integer("Threads", 0, &T::GetThreads, &T::SetThreads)
            .About("decoder threads (0: as many as the processor suits)")
            .Within(0, 64)
            .String("AllowedInputs", "", &T::GetAllowedInputs, &T::SetAllowedInputs)
            .About("demuxers allowed beyond local files and pipes, by name")
            .Object("PlayerAudio", [](const T& ASource) { return ASource.GetPlayerAudio(); });
    return table;
}

void TSVLAVFileSource::SetFileName(const std::string& AValue) {
    SetPropValue("FileName", FFileName, AValue, [this] {
        FInterrupted = false;
        Unprepare();
    });
}

void TSVLAVFileSource::SetAllowedInputs(const std::string& AValue) {
    SetPropValue("AllowedInputs", FAllowedInputs, AValue, [this] { Unprepare(); });
}

void TSVLAVFileSource::Interrupt() noexcept {
    FInterrupted = true;
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
    TakeLAVLoggedError(); // what an earlier file left is not this one's reason
    FStopping = false;
    decoder->Input = std::make_unique<TSVLAVInput>(
        name, FAllowedInputs, [this] { return FInterrupted.load() || FStopping.load(); });
    const AVFormatContext& input = decoder->Input->Context();
    // The player audio's Stream counts audio streams only.
    const AVStream* stream = nullptr;
    int32_t audioIndex = 0;
    for (unsigned i = 0; i < input.nb_streams && !stream; ++i)
        if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO &&
            audioIndex++ == FPlayerAudio->GetStream())
            stream = input.streams[i];
    if (!stream)
        throw EReadError(name + ": " +
                         FormatMessage("no audio stream %d", FPlayerAudio->GetStream()));
    decoder->RealIndex = stream->index;
    decoder->Context = NewLAVCodecContext(nullptr);
    int error = avcodec_parameters_to_context(decoder->Context.get(), stream->codecpar);
    if (error < 0)
        throw EReadError(name + ": " + SVLAVErrorText(error));
    decoder->Context->pkt_timebase = stream->time_base;
    // Frame threads only: slice threads split one frame and would change nothing for audio.
    decoder->Context->thread_count = GetThreads();
    decoder->Context->thread_type = FF_THREAD_FRAME;
    decoder->Duration = DurationOf(input, *stream);

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
    FFormat = StreamFormatOf(context.sample_rate, context.ch_layout, context.sample_fmt,
                             context.bits_per_raw_sample, GetFloat());
    FDamagedFrames = 0;
    FDecoder = std::move(decoder);
    return FFormat;
}

void TSVLAVFileSource::CloseStream() {
    // The player audio closes the decoder on the context before the context goes.
    FPlayerAudio->Close();
    FDecoder.reset();
    FStopping = false;
}

void TSVLAVFileSource::IntStopping() noexcept {
    if (GetRunning())
        FStopping = true;
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
        // A damaged packet is skipped (and counted), as players do; other failures end the
        // stream.
        if (result == AVERROR_INVALIDDATA)
            SkipDamaged(result);
        else if (result != AVERROR(EAGAIN))
            throw EReadError(FFileName + ": " + SVLAVErrorText(result));
        TakeLAVLoggedError(); // a skipped packet's complaint is no later failure's reason
        if (decoder.Flushed)
            return nullptr;
        result = av_read_frame(&decoder.Input->Context(), decoder.Packet.get());
        if (result == AVERROR_EOF) {
            avcodec_send_packet(context, nullptr); // drains what the decoder holds back
            decoder.Flushed = true;
            continue;
        }
        if (result < 0)
            throw EReadError(FFileName + ": " + decoder.Input->ErrorText(result));
        if (decoder.Packet->stream_index == decoder.RealIndex)
            result = avcodec_send_packet(context, decoder.Packet.get());
        av_packet_unref(decoder.Packet.get());
        if (result == AVERROR_INVALIDDATA)
            SkipDamaged(result);
        else if (result < 0)
            throw EReadError(FFileName + ": " + SVLAVErrorText(result));
    }
}

TRef<ISVAudioBuffer> TSVLAVFileSource::ConvertFrame() {
    const AVFrame& frame = *FPlayerAudio->GetFrame();
    const TSVWaveFormatExtensible format =
        StreamFormatOf(frame.sample_rate, frame.ch_layout, frame.format,
                       FDecoder->Context->bits_per_raw_sample, GetFloat());
    if (!SVIsSameStreamFormat(format, FFormat)) {
        if (GetStrict())
            throw EReadError(FFileName +
                             FormatMessage(": a frame of %d Hz, %d channels and %d bits does not "
                                           "match the stream's format",
                                           frame.sample_rate, frame.ch_layout.nb_channels,
                                           format.Samples.wValidBitsPerSample));
        FFormat = format; // the stream source announces it before the buffer
    }
    // Decoded straight into the stream's width and speakers.
    if (SVIsFloatFormat(FFormat))
        return SVFloatBufferFromFrame(frame, frame.sample_rate,
                                      TSVSpeakers::FromMask(FFormat.dwChannelMask),
                                      FDecoder->Buffers);
    return SVBufferFromFrame(frame, frame.sample_rate, FFormat.Samples.wValidBitsPerSample,
                             TSVSpeakers::FromMask(FFormat.dwChannelMask), FDecoder->Buffers);
}

void TSVLAVFileSource::SkipDamaged(int AError) {
    if (GetStrict())
        throw EReadError(FFileName + ": a damaged frame: " + SVLAVErrorText(AError));
    ++FDamagedFrames;
}

} // namespace sonvera
