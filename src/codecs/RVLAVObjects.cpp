#include "sonvera/codecs/RVLAVObjects.h"

#include <new>

namespace sonvera {

namespace {

template <class T> T& Allocated(T* AObject) {
    if (!AObject)
        throw std::bad_alloc();
    return *AObject;
}

} // namespace

void TRVLAVCodecContextFree::operator()(AVCodecContext* AContext) const noexcept {
    avcodec_free_context(&AContext);
}

void TRVLAVFrameFree::operator()(AVFrame* AFrame) const noexcept {
    av_frame_free(&AFrame);
}

void TRVLAVPacketFree::operator()(AVPacket* APacket) const noexcept {
    av_packet_free(&APacket);
}

void TRVLAVOutputContextFree::operator()(AVFormatContext* AContext) const noexcept {
    if (AContext->oformat && !(AContext->oformat->flags & AVFMT_NOFILE))
        avio_closep(&AContext->pb);
    avformat_free_context(AContext);
}

void TRVLAVInputContextFree::operator()(AVFormatContext* AContext) const noexcept {
    avformat_close_input(&AContext);
}

TRVLAVCodecContext NewLAVCodecContext(const AVCodec* ACodec) {
    return TRVLAVCodecContext(&Allocated(avcodec_alloc_context3(ACodec)));
}

TRVLAVFrame NewLAVFrame() {
    return TRVLAVFrame(&Allocated(av_frame_alloc()));
}

TRVLAVPacket NewLAVPacket() {
    return TRVLAVPacket(&Allocated(av_packet_alloc()));
}

TRVLAVOutputContext OpenLAVOutput(const std::string& AFileName, const AVOutputFormat* AFormat,
                                  int& AError) {
    TRVLAVOutputContext context = NewLAVOutput(AFileName, AFormat, AError);
    if (context)
        AError = OpenLAVOutputFile(*context);
    return AError < 0 ? nullptr : std::move(context);
}

TRVLAVOutputContext NewLAVOutput(const std::string& AFileName, const AVOutputFormat* AFormat,
                                 int& AError) {
    AVFormatContext* raw = nullptr;
    AError = avformat_alloc_output_context2(&raw, AFormat, nullptr, AFileName.c_str());
    if (AError < 0)
        return nullptr;
    AError = 0;
    return TRVLAVOutputContext(raw);
}

int OpenLAVOutputFile(AVFormatContext& AContext) {
    if (AContext.oformat->flags & AVFMT_NOFILE)
        return 0;
    return avio_open(&AContext.pb, AContext.url, AVIO_FLAG_WRITE);
}

TRVLAVInputContext OpenLAVInput(const std::string& AFileName, int& AError) {
    AVFormatContext* raw = nullptr;
    AError = avformat_open_input(&raw, AFileName.c_str(), nullptr, nullptr);
    if (AError < 0)
        return nullptr;
    TRVLAVInputContext context(raw);
    AError = avformat_find_stream_info(context.get(), nullptr);
    if (AError < 0)
        return nullptr;
    AError = 0;
    return context;
}

} // namespace sonvera
