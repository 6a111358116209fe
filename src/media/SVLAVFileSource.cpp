#include "sonvera/media/SVLAVFileSource.h"

#include <algorithm>

#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/media/SVLAVInput.h"
#include "sonvera/media/SVLAVSampleTransfer.h"

namespace sonvera {

namespace {

constexpr int64_t KUnitsPerSecond = 10'000'000;

int64_t FramesToUnits(uint64_t AFrames, int64_t ARate) {
    return av_rescale(static_cast<int64_t>(AFrames), KUnitsPerSecond, ARate);
}

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
    std::unique_ptr<TSVLAVInput> Input;
    TRVLAVCodecContext Context;
    TRVLAVPacket Packet = NewLAVPacket();
    int RealIndex = 0;
    bool Flushed = false;
    int64_t Duration = 0;
};

TSVLAVFileSource::TSVLAVFileSource(TPersistent* AOwner) : TQXBasicCommonGen(AOwner) {
    FOutputPin = std::make_unique<TSVPXAudioSourcePin>(
        this, nullptr, GetLock(),
        [this](TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
               const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
            return DispatchOperation(AReceiving, AOther, AStreamId, AOperation, AState);
        });
    TRVLAVPlayerAudio::Create(StoreIn(FPlayerAudio), this, GetLock());
}

TSVLAVFileSource::~TSVLAVFileSource() {
    Stop(); // the clock first: a tick decodes and uses the pin
    FOutputPin.reset();
    TChangeNotifyLockGuard guard(*GetLock());
    CloseInput();
}

const TPropertyTableBase& TSVLAVFileSource::ClassPropertyTable() {
    using T = TSVLAVFileSource;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVLAVFileSource", TLockComponent::ClassPropertyTable())
            .String("FileName", "", &T::GetFileName, &T::SetFileName)
            .Boolean("Realtime", false, &T::GetRealtime, &T::SetRealtime)
            .String("AllowedInputs", "", &T::GetAllowedInputs, &T::SetAllowedInputs)
            .Object("PlayerAudio", [](const T& ASource) { return ASource.GetPlayerAudio(); });
    return table;
}

void TSVLAVFileSource::SetAllowedInputs(const std::string& AValue) {
    SetPropValue("AllowedInputs", FAllowedInputs, AValue, [this] { FReady = false; });
}

void TSVLAVFileSource::Interrupt() noexcept {
    FInterrupted = true;
}

void TSVLAVFileSource::SetFileName(const std::string& AValue) {
    SetPropValue("FileName", FFileName, AValue, [this] { FReady = false; });
}

void TSVLAVFileSource::Open() {
    FInterrupted = false;
    TChangeNotifyLockGuard guard(*GetLock());
    if (!FReady)
        OpenInput();
}

TSVWaveFormatExtensible TSVLAVFileSource::GetWaveFormat() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FFormat;
}

std::string TSVLAVFileSource::GetCodecName() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FPlayerAudio->GetCodec() ? FPlayerAudio->GetCodec()->name : "";
}

int64_t TSVLAVFileSource::GetDuration() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FDecoder ? FDecoder->Duration : 0;
}

std::string TSVLAVFileSource::GetError() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FError;
}

void TSVLAVFileSource::OpenInput() {
    CloseInput();
    const std::string name = FFileName;
    auto decoder = std::make_unique<TDecoder>();
    TakeLAVLoggedError(); // what an earlier file left is not this one's reason
    decoder->Input = std::make_unique<TSVLAVInput>(name, FAllowedInputs, [this] {
        return FInterrupted.load() || (FStreaming.load() && !GetRunning());
    });
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
    FReady = true;
}

void TSVLAVFileSource::CloseInput() {
    // The player audio closes the decoder on the context before the context goes.
    FPlayerAudio->Close();
    FDecoder.reset();
    FReady = false;
}

bool TSVLAVFileSource::NotifyOutputPins(const TRef<IPXNotifyOperation>& AOperation) {
    return FOutputPin->Notify(AOperation);
}

void TSVLAVFileSource::IntStartStream() {
    FStreaming = true; // from here a stop ends a blocked read
    if (!FReady) {
        FInterrupted = false;
        OpenInput();
    }
    FReady = false; // the next start reads the file from its beginning again
    FEnded = false;
    FReachedEnd = false;
    FError.clear();
    FFramesSent = 0;
    FPosition = 0;
    SetRate(FFormat.Format.nSamplesPerSec);
    NotifyOutputPins(TPXStartWaveOperation::Create(FFormat, false));
}

void TSVLAVFileSource::StartPump() {
    if (!GetPump() || IsExternalClock() || GetPumpClock())
        return;
    const bool realtime = GetRealtime();
    FClockSource = GetTimeSource();
    FFreeRunning.reset();
    if (!FClockSource && realtime) {
        FClockSource = std::make_shared<TQXSteadyTimeSource>();
    } else if (!FClockSource) {
        FFreeRunning = std::make_shared<TQXFreeRunningTimeSource>();
        FClockSource = FFreeRunning;
    }
    FClockStart = FClockSource->Now();
    SetPumpClock(std::make_unique<TQXClockGen>(
        this, realtime ? KRealtimeInterval : 1, [this] { IntPump(); }, FClockSource));
}

void TSVLAVFileSource::IntPump() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!GetRunning() || GetPaused() || FEnded || !FDecoder)
        return;
    try {
        if (GetRealtime() && !IsExternalClock() && FClockSource) {
            const int64_t due = FClockSource->Now() - FClockStart;
            while (!FEnded && FPosition.load() <= due)
                SendNext();
        } else {
            SendNext();
        }
    } catch (const std::exception& error) {
        EndStream(error.what());
    }
}

void TSVLAVFileSource::SendNext() {
    const TRef<ISVAudioBuffer> buffer = NextBuffer();
    if (!buffer) {
        FReachedEnd = true;
        EndStream("");
        return;
    }
    const int64_t rate = FFormat.Format.nSamplesPerSec;
    const TRef<IRVTimeStamp> stamp = buffer->GetTimeStamp();
    stamp->SetBegin(FramesToUnits(FFramesSent, rate));
    FFramesSent += buffer->GetSize();
    stamp->SetEnd(FramesToUnits(FFramesSent, rate));
    stamp->SetAvailable(true);
    FPosition = stamp->GetEnd();
    FOutputPin->SubmitBuffer(buffer);
}

void TSVLAVFileSource::EndStream(const std::string& AError) {
    FEnded = true;
    FError = AError;
    if (FFreeRunning)
        FFreeRunning->Hold(); // no idle ticks until the stop has joined the clock
    PostStop();
}

TRef<ISVAudioBuffer> TSVLAVFileSource::NextBuffer() {
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
        if (result < 0 && result != AVERROR_INVALIDDATA)
            throw EReadError(FFileName + ": " + SVLAVErrorText(result));
    }
}

TRef<ISVAudioBuffer> TSVLAVFileSource::ConvertFrame() {
    const TRef<ISVAudioBuffer> buffer = FitFrame();
    if (!SVIsEqualAudioFormat(buffer->GetWaveFormat(), FFormat))
        throw EReadError(FFileName +
                         FormatMessage(": a frame of %d Hz, %d channels and %d bits does not "
                                       "match the stream's format",
                                       buffer->GetSamplesPerSecond(), buffer->GetChannels(),
                                       buffer->GetBitsPerSample()));
    return buffer;
}

TRef<ISVAudioBuffer> TSVLAVFileSource::FitFrame() {
    const TRef<TSVAudioBuffer> decoded = IntfCast<TSVAudioBuffer>(FPlayerAudio->DecodeBuffer());
    const TSVSpeakers speakers = TSVSpeakers::FromMask(FFormat.dwChannelMask);
    if (FFormat.Samples.wValidBitsPerSample == 24 && decoded->GetSampleBitWidth() == 32) {
        const TRef<TSVAudioBuffer> packed = TSVAudioBuffer::CreateSizeExObject(
            decoded->GetSamplesPerSecond(), 24, decoded->GetChannels(),
            static_cast<int32_t>(decoded->GetSize()), speakers);
        SVPackS32ToS24(static_cast<const int32_t*>(decoded->Read()),
                       static_cast<uint8_t*>(packed->Write()),
                       size_t{decoded->GetSize()} * static_cast<size_t>(decoded->GetChannels()));
        return packed;
    }
    if (decoded->GetChannelMask() != speakers) {
        decoded->GetModifyFormat()->dwChannelMask = speakers.Mask();
        decoded->PopulateCahces();
    }
    return decoded;
}

TRef<IPXNotifyOperation> TSVLAVFileSource::IntStopStream() {
    TChangeNotifyLockGuard guard(*GetLock());
    FStreaming = false;
    CloseInput();
    FClockSource.reset();
    FFreeRunning.reset();
    if (FReachedEnd && FError.empty())
        return TPXEndStopOperation::Create();
    return TPXStopOperation::Create();
}

} // namespace sonvera
