#include "sonvera/media/SVLAVFileWriter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>

#include "media/SVStreamConverter.h"
#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/components/Categories.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/media/SVOutputFile.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

namespace {

constexpr int32_t KDeclaredBitRate = 400000;

// The PCM codecs of 8, 16, 24 and 32 bits in both byte orders, so that a container whose
// default is one of them gets the one of the stream's width.
constexpr AVCodecID KLittleEndianPCM[] = {AV_CODEC_ID_PCM_U8, AV_CODEC_ID_PCM_S16LE,
                                          AV_CODEC_ID_PCM_S24LE, AV_CODEC_ID_PCM_S32LE};
constexpr AVCodecID KBigEndianPCM[] = {AV_CODEC_ID_PCM_S8, AV_CODEC_ID_PCM_S16BE,
                                       AV_CODEC_ID_PCM_S24BE, AV_CODEC_ID_PCM_S32BE};

AVCodecID PCMOfWidth(AVCodecID ADefault, int32_t ABits, bool AFloat,
                     const AVOutputFormat& AFormat) {
    if (ABits != 8 && ABits != 16 && ABits != 24 && ABits != 32)
        return ADefault;
    for (const auto* family : {KLittleEndianPCM, KBigEndianPCM})
        if (std::find(family, family + 4, ADefault) != family + 4) {
            const AVCodecID sibling = AFloat ? (family == KLittleEndianPCM ? AV_CODEC_ID_PCM_F32LE
                                                                           : AV_CODEC_ID_PCM_F32BE)
                                             : family[ABits / 8 - 1];
            return avformat_query_codec(&AFormat, sibling, FF_COMPLIANCE_NORMAL) == 1 ? sibling
                                                                                      : ADefault;
        }
    return ADefault;
}

std::string CodecText(const AVCodec& ACodec) {
    return std::string("codec '") + ACodec.name + "'";
}

// Sets what the encoder is told about the stream; false when it has no sample format for the
// stream's width.
bool Configure(AVCodecContext& AContext, const AVCodec& ACodec,
               const TSVWaveFormatExtensible& AFormat) {
    const int32_t bits = AFormat.Samples.wValidBitsPerSample;
    const AVSampleFormat format = SVIsFloatFormat(AFormat) ? SVEncoderFloatSampleFormat(ACodec)
                                                           : SVEncoderSampleFormat(ACodec, bits);
    if (format == AV_SAMPLE_FMT_NONE)
        return false;
    AContext.sample_fmt = format;
    AContext.sample_rate = static_cast<int>(AFormat.Format.nSamplesPerSec);
    AContext.time_base = {1, AContext.sample_rate};
    av_channel_layout_uninit(&AContext.ch_layout);
    AContext.ch_layout =
        SVChannelLayoutOf(TSVSpeakers::FromMask(AFormat.dwChannelMask), AFormat.Format.nChannels);
    // Integer samples wider than the format's own width say how many bits they carry.
    AContext.bits_per_raw_sample =
        av_get_packed_sample_fmt(format) == AV_SAMPLE_FMT_S32 && !SVIsFloatFormat(AFormat) ? bits
                                                                                           : 0;
    return true;
}

// Opens the configured encoder; empty when it opened with the stream's width, else the reason.
std::string OpenEncoder(AVCodecContext& AContext, const AVCodec& ACodec) {
    const int rawBits = AContext.bits_per_raw_sample;
    int result = 0;
    LAVLockExecute([&] { result = avcodec_open2(&AContext, &ACodec, nullptr); });
    if (result < 0)
        return CodecText(ACodec) + " cannot encode this stream: " + SVLAVErrorText(result);
    // Some encoders narrow what they cannot store (32-bit FLAC becomes 24-bit) instead of
    // refusing it: that would lose bits, so it is a refusal here.
    if (rawBits != 0 && AContext.bits_per_raw_sample != rawBits)
        return CodecText(ACodec) + FormatMessage(" cannot take %d-bit samples", rawBits);
    return "";
}

void CheckWritten(const std::string& AName, const AVFormatContext& AOutput, int AResult) {
    if (AResult >= 0 && AOutput.pb && AOutput.pb->error < 0)
        AResult = AOutput.pb->error;
    if (AResult < 0)
        throw Exception(AName + ": " + SVLAVErrorText(AResult));
}

// A WAV file switches to RF64 when its data outgrows what a RIFF header can state.
void GrowBeyondRIFF(AVFormatContext& AOutput) {
    if (AOutput.priv_data && av_opt_find(AOutput.priv_data, "rf64", nullptr, 0, 0))
        av_opt_set(AOutput.priv_data, "rf64", "auto", 0);
}

// Whether the header of a file of ASize bytes at APath states its size: past 4 GiB only an
// RF64 header does, among the containers whose header counts bytes in 32 bits.
bool HeaderStatesSize(const AVOutputFormat& AFormat, const std::string& APath, int64_t ASize) {
    if (ASize - 8 <= int64_t{UINT32_MAX})
        return true;
    const std::string name = AFormat.name;
    if (name == "wav") {
        char magic[4] = {};
        std::ifstream(APath, std::ios::binary).read(magic, sizeof(magic));
        return std::memcmp(magic, "RF64", 4) == 0;
    }
    return name != "aiff";
}

} // namespace

struct TSVLAVFileWriter::TEncoder {
    std::unique_ptr<TSVOutputFile> Target; // outlives Output, which writes into it
    TRVLAVOutputContext Output;
    AVCodecContext* Context = nullptr; // the descriptor's
    AVStream* Stream = nullptr;
    AVFrame* Frame = nullptr; // the descriptor's, filled up to Filled
    TRVLAVPacket Packet = NewLAVPacket();
    TSVWaveFormatExtensible Format{};
    int32_t Capacity = 0;
    int32_t Filled = 0;
    bool PadLastFrame = false;
    bool Started = false; // the first buffer set the time
    int64_t NextPts = 0;
};

TSVLAVFileWriter::TSVLAVFileWriter(TPersistent* AOwner) : TSVBasicAudioOut(AOwner) {
    TSVLAVAudioCompression::Create(StoreIn(FCompression), this, GetLock());
    TRVLAVAudioFileFormat::Create(StoreIn(FFileFormat), this, GetLock(),
                                  [this] { return GetContainer(); });
}

TSVLAVFileWriter::~TSVLAVFileWriter() {
    // Nothing may arrive while the file is dropped and the members go.
    GetInputPin()->DisconnectAll();
    TChangeNotifyLockGuard guard(*GetLock());
    if (FEncoder)
        CloseFile(); // a stream that never ended leaves no file
}

const TClassInfo& TSVLAVFileWriter::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVLAVFileWriter",
                                 .Category = &TSonveraOutputToolbarCategory::ClassInfo(),
                                 .ShortName = "file-writer",
                                 .Description = "Encodes audio into any container FFmpeg writes"};
    return info;
}

const TPropertyTableBase& TSVLAVFileWriter::ClassPropertyTable() {
    using T = TSVLAVFileWriter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVLAVFileWriter", TSVBasicAudioOut::ClassPropertyTable())
            .String("FileName", "", &T::GetFileName, &T::SetFileName)
            .About("the file to write; its extension chooses the container")
            .Object("Compression", [](const T& AWriter) { return AWriter.GetCompression(); })
            .Object("FileFormat", [](const T& AWriter) { return AWriter.GetFileFormat(); });
    return table;
}

void TSVLAVFileWriter::SetFileName(const std::string& AValue) {
    SetPropValue("FileName", FFileName, AValue);
}

const AVOutputFormat* TSVLAVFileWriter::GetContainer() const {
    return FFileFormat->GetFormat(GetFileName());
}

const AVOutputFormat& TSVLAVFileWriter::Container() const {
    if (const AVOutputFormat* format = GetContainer())
        return *format;
    const std::string name = FFileFormat->GetName();
    throw EArgumentError(name != KRVLAVAutoSelect
                             ? "unknown format '" + name + "'"
                             : GetFileName() + ": no container format for this file name");
}

const AVCodec& TSVLAVFileWriter::Encoder(int32_t ABits, bool AFloat) const {
    const std::string name = FCompression->GetName();
    if (name != KRVLAVAutoSelect) {
        if (const AVCodec* codec = avcodec_find_encoder_by_name(name.c_str()))
            return *codec;
        throw EArgumentError("unknown encoder '" + name + "'");
    }
    const AVOutputFormat& format = Container();
    const AVCodec* codec =
        format.audio_codec == AV_CODEC_ID_NONE
            ? nullptr
            : avcodec_find_encoder(PCMOfWidth(format.audio_codec, ABits, AFloat, format));
    if (!codec)
        throw EArgumentError(std::string("format '") + format.name + "' has no audio encoder");
    return *codec;
}

bool TSVLAVFileWriter::EncoderTakes(const AVCodec& AEncoder, const TSVWaveFormatExtensible& AFormat,
                                    std::string& AWhy) {
    TakeLAVLoggedError();
    TRVLAVCodecContext context = NewLAVCodecContext(&AEncoder);
    if (!Configure(*context, AEncoder, AFormat))
        AWhy = CodecText(AEncoder) +
               FormatMessage(" cannot take %d-bit samples", AFormat.Samples.wValidBitsPerSample);
    else
        AWhy = OpenEncoder(*context, AEncoder);
    LAVLockExecute([&] { context.reset(); }); // closing a codec takes the lock, as opening does
    return AWhy.empty();
}

std::string TSVLAVFileWriter::GetError() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FError;
}

std::optional<TSVLAVOpenedFormat> TSVLAVFileWriter::GetOpenedFormat() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FOpened;
}

bool TSVLAVFileWriter::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                                    const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    bool running = true;
    if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
        running = WriteBuffer(IntfCast<ISVAudioBuffer>(supplied->GetData()));
    } else if (auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
        running = StartFile(start->GetWaveFormat());
    } else if (OperationAs<TPXStopOperation>(AOperation)) {
        TChangeNotifyLockGuard guard(*GetLock());
        if (OperationAs<TPXEndStopOperation>(AOperation))
            FinishFile();
        else
            CloseFile(); // stopped before its end: no file
        ClearAudioFormat();
    }
    if (!running)
        GetInputPin()->Notify(TPXStopOperation::Create()); // upstream, outside the lock
    return false;
}

bool TSVLAVFileWriter::StartFile(const TSVWaveFormatExtensible& AFormat) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!GetEnabled())
        return true;
    if (FEncoder) {
        try {
            FollowFormat(AFormat);
            return true;
        } catch (const std::exception& error) {
            Fail(error.what());
            return false;
        }
    }
    FError.clear();
    FFramesWritten = 0;
    FOpened.reset();
    SetAudioFormat(&AFormat);
    try {
        OpenFile(AFormat);
        FollowFormat(AFormat); // converts when the encoder takes another format than the stream's
        return true;
    } catch (const std::exception& error) {
        Fail(error.what());
        return false;
    }
}

bool TSVLAVFileWriter::WriteBuffer(const TRef<ISVAudioBuffer>& ABuffer) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!FEncoder)
        return FError.empty();
    try {
        if (FConverting)
            FConverter->Write(ABuffer);
        else
            Encode(*ABuffer);
        return true;
    } catch (const std::exception& error) {
        Fail(error.what());
        return false;
    }
}

void TSVLAVFileWriter::FinishFile() {
    if (!FEncoder)
        return;
    try {
        if (FConverter)
            FConverter->Finish(); // what the resampler holds back
        TEncoder& encoder = *FEncoder;
        if (encoder.Filled > 0)
            SendFrame(true);
        avcodec_send_frame(encoder.Context, nullptr); // drains the encoder
        WritePackets();
        CheckWritten(FFileName, *encoder.Output, av_write_trailer(encoder.Output.get()));
        const int64_t size = encoder.Output->pb ? avio_size(encoder.Output->pb) : 0;
        // Closing flushes the last bytes, which may still find the disk full.
        CheckWritten(FFileName, *encoder.Output, avio_closep(&encoder.Output->pb));
        if (!encoder.Target->IsStream() &&
            !HeaderStatesSize(*encoder.Output->oformat, encoder.Target->GetPath(), size))
            throw Exception(FFileName + FormatMessage(": the %s header cannot state a size of "
                                                      "%lld bytes",
                                                      encoder.Output->oformat->name,
                                                      static_cast<long long>(size)));
        encoder.Target->Commit();
        CloseFile();
    } catch (const std::exception& error) {
        Fail(error.what());
    }
}

void TSVLAVFileWriter::FollowFormat(const TSVWaveFormatExtensible& AFormat) {
    const TSVWaveFormatExtensible& opened = FEncoder->Format;
    const bool same = SVIsSameStreamFormat(opened, AFormat);
    if (same && !FConverting)
        return; // a repeated announcement changes nothing
    if (!FConverter)
        FConverter = std::make_unique<TSVStreamConverter>(
            this, GetLock(), opened,
            [this](const TRef<ISVAudioBuffer>& ABuffer) { Encode(*ABuffer); });
    if (same)
        FConverter->Finish();
    else
        FConverter->Start(AFormat);
    FConverting = !same;
}

void TSVLAVFileWriter::OpenFile(const TSVWaveFormatExtensible& AInput) {
    const std::string name = FFileName;
    const AVOutputFormat& format = Container();
    TakeLAVLoggedError(); // what an earlier file left is not this one's reason
    auto encoder = std::make_unique<TEncoder>();
    encoder->Target = std::make_unique<TSVOutputFile>(name);
    // The stream as it comes in the common case; only a refusal asks the negotiation for the
    // nearest format the encoder takes, and the stream is then converted to that.
    if (!TryEncoder(*encoder, format, AInput).empty()) {
        const std::string refusal = TryEncoder(*encoder, format, NegotiateFormat(AInput));
        if (!refusal.empty())
            throw EArgumentError(refusal);
    }
    AVCodecContext& context = *encoder->Context;
    int error = OpenLAVOutputFile(*encoder->Output);
    if (error >= 0)
        error = avcodec_parameters_from_context(encoder->Stream->codecpar, &context);
    if (error < 0)
        throw Exception(name + ": " + SVLAVErrorText(error));
    encoder->Stream->time_base = context.time_base;
    GrowBeyondRIFF(*encoder->Output);
    CheckWritten(name, *encoder->Output, avformat_write_header(encoder->Output.get(), nullptr));

    const AVCodec& codec = *context.codec;
    const bool anySize =
        context.frame_size == 0 || (codec.capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);
    encoder->Capacity = anySize ? KFreeFrameSize : context.frame_size;
    encoder->PadLastFrame = !anySize && !(codec.capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    AVFrame& frame = *FCompression->GetFrame();
    frame.format = context.sample_fmt;
    frame.sample_rate = context.sample_rate;
    frame.nb_samples = encoder->Capacity;
    error = av_channel_layout_copy(&frame.ch_layout, &context.ch_layout);
    if (error >= 0)
        error = av_frame_get_buffer(&frame, 0);
    if (error < 0)
        throw Exception(name + ": " + SVLAVErrorText(error));
    encoder->Frame = &frame;
    const char* samples = av_get_sample_fmt_name(context.sample_fmt);
    FOpened = TSVLAVOpenedFormat{encoder->Format, codec.name, samples ? samples : ""};
    FEncoder = std::move(encoder);
}

std::string TSVLAVFileWriter::TryEncoder(TEncoder& AEncoder, const AVOutputFormat& AContainer,
                                         const TSVWaveFormatExtensible& AFormat) {
    const int32_t bits = AFormat.Samples.wValidBitsPerSample;
    const AVCodec& codec = Encoder(bits, SVIsFloatFormat(AFormat));
    if (avformat_query_codec(&AContainer, codec.id, FF_COMPLIANCE_NORMAL) == 0)
        return CodecText(codec) + " cannot be stored in '" + AContainer.name + "'";
    FCompression->Open(codec.id, false); // lets go of an earlier try's stream and context
    int error = 0;
    AEncoder.Output = NewLAVOutput(AEncoder.Target->GetPath(), &AContainer, error);
    if (!AEncoder.Output)
        throw Exception(FFileName + ": " + SVLAVErrorText(error));
    if (!FCompression->OpenStream(AEncoder.Output.get()))
        throw Exception(FFileName + ": the container takes no stream");
    AVCodecContext& context = *FCompression->GetCodecContext();
    FCompression->ApplySettings();
    ApplyEncoderOptions(context);
    if (!Configure(context, codec, AFormat))
        return CodecText(codec) + FormatMessage(" cannot take %d-bit samples", bits);
    if (FCompression->GetBitRate() != KDeclaredBitRate)
        context.bit_rate = FCompression->GetBitRate();
    if (AContainer.flags & AVFMT_GLOBALHEADER)
        context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    std::string refusal = OpenEncoder(context, codec);
    if (refusal.empty()) {
        AEncoder.Stream = FCompression->GetStream();
        AEncoder.Context = &context;
        AEncoder.Format = AFormat;
    }
    return refusal;
}

void TSVLAVFileWriter::ApplyEncoderOptions(AVCodecContext& AContext) const {
    const TRVLAVCompressionOptions& options = *FCompression->GetOptions();
    options.Apply(&AContext);
    // Names the context does not know may be the encoder's own.
    for (int32_t i = 0; i < options.Count(); ++i) {
        const TRVLAVCompressionOption& option = options.Items(i);
        const std::string name = option.GetName();
        if (av_opt_find(&AContext, name.c_str(), nullptr, 0, 0))
            continue;
        if (!AContext.priv_data || !av_opt_find(AContext.priv_data, name.c_str(), nullptr, 0, 0))
            throw EArgumentError(CodecText(*AContext.codec) + " has no option '" + name + "'");
        option.Apply(AContext.priv_data);
    }
}

void TSVLAVFileWriter::Encode(ISVAudioBuffer& ABuffer) {
    TEncoder& encoder = *FEncoder;
    const TSVWaveFormatExtensible& format = encoder.Format;
    const int32_t bits = format.Samples.wValidBitsPerSample;
    const int32_t channels = format.Format.nChannels;
    const bool floats = SVIsFloatFormat(format);
    if (ABuffer.GetSampleBitWidth() != bits || ABuffer.GetChannels() != channels ||
        SVIsFloatBuffer(ABuffer) != floats)
        throw EArgumentError(FFileName + ": a buffer does not match the stream's format");
    if (!encoder.Started) {
        encoder.Started = true;
        const TRef<IRVTimeStamp> stamp = ABuffer.GetTimeStamp();
        if (stamp->GetAvailable())
            encoder.NextPts = std::max<int64_t>(
                0, SVUnitsToFrames(stamp->GetBegin(), encoder.Context->sample_rate));
    }
    const auto* samples = static_cast<const uint8_t*>(ABuffer.Read());
    const size_t frameBytes = static_cast<size_t>(ABuffer.GetDataStep());
    int32_t left = static_cast<int32_t>(ABuffer.GetSize());
    while (left > 0) {
        if (encoder.Filled == 0) {
            const int error = av_frame_make_writable(encoder.Frame);
            if (error < 0)
                throw Exception(FFileName + ": " + SVLAVErrorText(error));
        }
        const int32_t count = std::min(left, encoder.Capacity - encoder.Filled);
        if (floats)
            SVWriteFrameFloats(reinterpret_cast<const float*>(samples), channels, count,
                               *encoder.Frame, encoder.Filled);
        else
            SVWriteFrameSamples(samples, bits, channels, count, *encoder.Frame, encoder.Filled);
        encoder.Filled += count;
        samples += static_cast<size_t>(count) * frameBytes;
        left -= count;
        if (encoder.Filled == encoder.Capacity)
            SendFrame(false);
    }
}

void TSVLAVFileWriter::SendFrame(bool ALast) {
    TEncoder& encoder = *FEncoder;
    AVFrame& frame = *encoder.Frame;
    int32_t samples = encoder.Filled;
    if (ALast && encoder.PadLastFrame && samples < encoder.Capacity) {
        av_samples_set_silence(frame.extended_data, samples, encoder.Capacity - samples,
                               frame.ch_layout.nb_channels,
                               static_cast<AVSampleFormat>(frame.format));
        samples = encoder.Capacity;
    }
    frame.nb_samples = samples;
    frame.pts = encoder.NextPts;
    encoder.NextPts += samples;
    const int error = avcodec_send_frame(encoder.Context, &frame);
    frame.nb_samples = encoder.Capacity;
    if (error < 0)
        throw Exception(FFileName + ": " + SVLAVErrorText(error));
    FFramesWritten += static_cast<uint64_t>(encoder.Filled);
    encoder.Filled = 0;
    WritePackets();
}

void TSVLAVFileWriter::WritePackets() {
    TEncoder& encoder = *FEncoder;
    AVPacket* packet = encoder.Packet.get();
    for (;;) {
        const int result = avcodec_receive_packet(encoder.Context, packet);
        if (result == AVERROR(EAGAIN) || result == AVERROR_EOF)
            return;
        if (result < 0)
            throw Exception(FFileName + ": " + SVLAVErrorText(result));
        av_packet_rescale_ts(packet, encoder.Context->time_base, encoder.Stream->time_base);
        packet->stream_index = encoder.Stream->index;
        const int written = av_write_frame(encoder.Output.get(), packet);
        av_packet_unref(packet);
        CheckWritten(FFileName, *encoder.Output, written);
    }
}

void TSVLAVFileWriter::CloseFile() {
    FConverter.reset();
    FConverting = false;
    FCompression->Close(); // the codec context, under the global codec lock
    FEncoder.reset();      // the container and its file, then the file unless committed
}

void TSVLAVFileWriter::Fail(const std::string& AError) {
    if (FError.empty())
        FError = AError;
    CloseFile();
    ClearAudioFormat();
}

} // namespace sonvera
