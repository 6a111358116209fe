#include "RVLAVTestMedia.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "sonvera/codecs/RVLAVSupport.h"

using namespace sonvera;

namespace codecs_test {

namespace {

constexpr int KChannels = 2;

// Sends AFrame (null: end of stream) and writes every packet the encoder has ready.
int SendAndWrite(AVCodecContext* AContext, AVFormatContext* AOutput, AVStream* AStream,
                 const AVFrame* AFrame) {
    int error = avcodec_send_frame(AContext, AFrame);
    TRVLAVPacket packet = NewLAVPacket();
    while (error >= 0) {
        error = avcodec_receive_packet(AContext, packet.get());
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
            return 0;
        if (error < 0)
            return error;
        av_packet_rescale_ts(packet.get(), AContext->time_base, AStream->time_base);
        packet->stream_index = AStream->index;
        error = av_interleaved_write_frame(AOutput, packet.get());
    }
    return error;
}

int EncodeFrames(TRVLAVCompression& AEncoder, AVFormatContext* AOutput,
                 const std::vector<int16_t>& ASamples) {
    AVCodecContext* context = AEncoder.GetCodecContext();
    AVFrame* frame = AEncoder.GetFrame();
    const int frameSize = context->frame_size > 0 ? context->frame_size : 1024;
    const int total = static_cast<int>(ASamples.size() / KChannels);
    for (int done = 0; done < total; done += frameSize) {
        av_frame_unref(frame);
        frame->nb_samples = std::min(frameSize, total - done);
        frame->format = context->sample_fmt;
        frame->sample_rate = KToneRate;
        av_channel_layout_copy(&frame->ch_layout, &context->ch_layout);
        if (int error = av_frame_get_buffer(frame, 0); error < 0)
            return error;
        std::memcpy(frame->data[0], ASamples.data() + size_t(done) * KChannels,
                    size_t(frame->nb_samples) * KChannels * sizeof(int16_t));
        frame->pts = done;
        if (int error = SendAndWrite(context, AOutput, AEncoder.GetStream(), frame); error < 0)
            return error;
    }
    return SendAndWrite(context, AOutput, AEncoder.GetStream(), nullptr);
}

} // namespace

int OpenToneEncoder(TRVLAVCompression& AEncoder, AVFormatContext* AOutput) {
    AVCodecContext* context = AEncoder.GetCodecContext();
    context->sample_rate = KToneRate;
    context->sample_fmt = AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&context->ch_layout, KChannels);
    context->time_base = {1, KToneRate};
    if (AOutput->oformat->flags & AVFMT_GLOBALHEADER)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    int error = 0;
    LAVLockExecute([&] { error = avcodec_open2(context, AEncoder.GetCodec(), nullptr); });
    if (error < 0)
        return error;
    error = avcodec_parameters_from_context(AEncoder.GetStream()->codecpar, context);
    AEncoder.GetStream()->time_base = context->time_base;
    return error;
}

std::vector<int16_t> StereoTone(int AFrames) {
    std::vector<int16_t> samples(size_t(AFrames) * KChannels);
    for (int i = 0; i < AFrames; ++i) {
        samples[2 * i] = static_cast<int16_t>(std::lround(20000 * std::sin(i * 0.0628)));
        samples[2 * i + 1] = static_cast<int16_t>(std::lround(-12000 * std::sin(i * 0.0941)));
    }
    return samples;
}

std::string TempPath(const std::string& AName) {
    return ::testing::TempDir() + "sonvera-codecs-" + std::to_string(getpid()) + "-" + AName;
}

int EncodeTone(TRVLAVCompression& AEncoder, AVCodecID AID, const std::string& AFile,
               const std::vector<int16_t>& ASamples) {
    int error = 0;
    TRVLAVOutputContext output = OpenLAVOutput(AFile, nullptr, error);
    if (!output)
        return error;
    if (!AEncoder.Open(AID, false) || !AEncoder.OpenStream(output.get()))
        return AVERROR_ENCODER_NOT_FOUND;
    AEncoder.ApplySettings();
    AEncoder.GetOptions()->Apply(AEncoder.GetCodecContext());
    error = OpenToneEncoder(AEncoder, output.get());
    if (error >= 0)
        error = avformat_write_header(output.get(), nullptr);
    if (error >= 0)
        error = EncodeFrames(AEncoder, output.get(), ASamples);
    if (error >= 0)
        error = av_write_trailer(output.get());
    AEncoder.Close();
    return error < 0 ? error : 0;
}

std::vector<uint8_t> PlayFirstAudio(TRVLAVPlayerAudio& APlayer, const std::string& AFile) {
    int error = 0;
    TRVLAVInputContext input = OpenLAVInput(AFile, error);
    const int index =
        input ? av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) : -1;
    if (index < 0)
        return {};
    // The player's context of the stream; the player audio opens and closes its decoder.
    TRVLAVCodecContext context = NewLAVCodecContext(nullptr);
    avcodec_parameters_to_context(context.get(), input->streams[index]->codecpar);
    if (!APlayer.TryOpen(0, index, context.get(), error))
        return {};
    std::vector<uint8_t> bytes;
    TRVLAVPacket packet = NewLAVPacket();
    while (error >= 0 && av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index)
            error = avcodec_send_packet(context.get(), packet.get());
        av_packet_unref(packet.get());
        while (error >= 0 && avcodec_receive_frame(context.get(), APlayer.GetFrame()) >= 0) {
            const TRef<ISVAudioBuffer> buffer = APlayer.DecodeBuffer();
            const auto* samples = static_cast<const uint8_t*>(buffer->Read());
            bytes.insert(bytes.end(), samples, samples + buffer->GetByteSize());
        }
    }
    APlayer.Close();
    return error < 0 ? std::vector<uint8_t>{} : bytes;
}

TRVLAVCodecContext DecoderContext(const char* ADecoder, int AChannels, int ARate) {
    const AVCodec* decoder = avcodec_find_decoder_by_name(ADecoder);
    TRVLAVCodecContext context = NewLAVCodecContext(nullptr);
    context->codec_type = AVMEDIA_TYPE_AUDIO;
    context->codec_id = decoder ? decoder->id : AV_CODEC_ID_NONE;
    context->sample_rate = ARate;
    av_channel_layout_default(&context->ch_layout, AChannels);
    return context;
}

} // namespace codecs_test
