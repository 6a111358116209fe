// FFmpeg's headers, and the owners of the FFmpeg objects the codec classes and their drivers
// hold: codec contexts, frames, packets and container contexts. Every FFmpeg object that this
// library or a driver built on it creates is freed by one of these owners and nowhere else.
#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/samplefmt.h>
}

namespace sonvera {

struct TRVLAVCodecContextFree {
    void operator()(AVCodecContext* AContext) const noexcept;
};
struct TRVLAVFrameFree {
    void operator()(AVFrame* AFrame) const noexcept;
};
struct TRVLAVPacketFree {
    void operator()(AVPacket* APacket) const noexcept;
};
// Closes the file a muxer opened (unless the muxer writes no file) and frees the context.
struct TRVLAVOutputContextFree {
    void operator()(AVFormatContext* AContext) const noexcept;
};
struct TRVLAVInputContextFree {
    void operator()(AVFormatContext* AContext) const noexcept;
};

// Freeing a codec context closes its codec first.
using TRVLAVCodecContext = std::unique_ptr<AVCodecContext, TRVLAVCodecContextFree>;
using TRVLAVFrame = std::unique_ptr<AVFrame, TRVLAVFrameFree>;
using TRVLAVPacket = std::unique_ptr<AVPacket, TRVLAVPacketFree>;
using TRVLAVOutputContext = std::unique_ptr<AVFormatContext, TRVLAVOutputContextFree>;
using TRVLAVInputContext = std::unique_ptr<AVFormatContext, TRVLAVInputContextFree>;

// New objects; FFmpeg running out of memory raises std::bad_alloc.
TRVLAVCodecContext NewLAVCodecContext(const AVCodec* ACodec);
TRVLAVFrame NewLAVFrame();
TRVLAVPacket NewLAVPacket();

// A muxer for AFileName with its file opened for writing (AFormat null: guessed from the name),
// or null when FFmpeg refuses either; AError receives FFmpeg's code (0 on success).
TRVLAVOutputContext OpenLAVOutput(const std::string& AFileName, const AVOutputFormat* AFormat,
                                  int& AError);
// The same in two steps, so that nothing is opened before the streams are known to be
// writable: the muxer alone, then its file (nothing for a format that writes none); each gives
// FFmpeg's code.
TRVLAVOutputContext NewLAVOutput(const std::string& AFileName, const AVOutputFormat* AFormat,
                                 int& AError);
int OpenLAVOutputFile(AVFormatContext& AContext);
// A demuxer on AFileName with its streams probed, or null with FFmpeg's code in AError.
TRVLAVInputContext OpenLAVInput(const std::string& AFileName, int& AError);

} // namespace sonvera
