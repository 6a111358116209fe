// sonvera codecs, formats and probe: what FFmpeg offers the library, as the codec catalogs and
// format lists see it, and what a file holds.
#include <cstdio>
#include <string>
#include <vector>

#include "Commands.h"
#include "Conversion.h"
#include "sonvera/codecs/RVLAVAudioCompression.h"
#include "sonvera/codecs/RVLAVFileFormat.h"
#include "sonvera/codecs/RVLAVVideoCompression.h"
#include "sonvera/media/SVLAVInput.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera::tool {

namespace {

using TListing = std::vector<std::string> (*)(TRVCompressionInfo);

void PrintCodecs(const char* AKind, TListing AListing) {
    const std::vector<std::string> names = AListing(ciCode);
    const std::vector<std::string> descriptions = AListing(ciDescription);
    for (size_t i = 0; i < names.size() && i < descriptions.size(); ++i)
        std::printf("%-14s %-24s %s\n", AKind, names[i].c_str(), descriptions[i].c_str());
}

std::string Joined(const std::vector<std::string>& AItems) {
    std::string text;
    for (const std::string& item : AItems)
        text += (text.empty() ? "" : ",") + item;
    return text.empty() ? "-" : text;
}

int64_t ToStreamTime(int64_t AValue, AVRational ATimeBase) {
    return AValue == AV_NOPTS_VALUE ? 0 : av_rescale_q(AValue, ATimeBase, {1, KUnitsPerSecond});
}

void PrintStream(const AVStream& AStream) {
    const AVCodecParameters& parameters = *AStream.codecpar;
    const char* type = av_get_media_type_string(parameters.codec_type);
    std::printf("  stream %d: %s %s", AStream.index, type ? type : "unknown",
                avcodec_get_name(parameters.codec_id));
    if (parameters.codec_type == AVMEDIA_TYPE_AUDIO) {
        char layout[128] = "unknown";
        av_channel_layout_describe(&parameters.ch_layout, layout, sizeof(layout));
        const char* format = av_get_sample_fmt_name(static_cast<AVSampleFormat>(parameters.format));
        std::printf(", %d Hz, %d channels (%s), %s", parameters.sample_rate,
                    parameters.ch_layout.nb_channels, layout, format ? format : "unknown");
        if (parameters.bits_per_raw_sample > 0)
            std::printf(" (%d-bit)", parameters.bits_per_raw_sample);
    }
    std::printf(", %s\n",
                FormatStreamTime(ToStreamTime(AStream.duration, AStream.time_base)).c_str());
}

} // namespace

int RunCodecs(const std::vector<std::string>& AArguments) {
    bool audio = false, video = false, decoders = false, encoders = false;
    for (const std::string& argument : AArguments) {
        if (argument == "--audio")
            audio = true;
        else if (argument == "--video")
            video = true;
        else if (argument == "--decoders")
            decoders = true;
        else if (argument == "--encoders")
            encoders = true;
        else
            throw EArgumentError("usage: sonvera codecs [--audio|--video] [--decoders|--encoders]");
    }
    // Neither of a pair means both.
    audio = audio || !video;
    video = video || !audio;
    encoders = encoders || !decoders;
    decoders = decoders || !encoders;
    std::printf("%-14s %-24s %s\n", "kind", "name", "description");
    if (audio && encoders)
        PrintCodecs("audio encoder", &TSVLAVAudioCompression::GetAvailableCompressions);
    if (audio && decoders)
        PrintCodecs("audio decoder", &TSVLAVAudioDecompression::GetAvailableCompressions);
    if (video && encoders)
        PrintCodecs("video encoder", &TGMLAVVideoCompression::GetAvailableCompressions);
    if (video && decoders)
        PrintCodecs("video decoder", &TGMLAVVideoDecompression::GetAvailableCompressions);
    return 0;
}

int RunFormats(const std::vector<std::string>& AArguments) {
    const bool audioOnly = AArguments.size() == 1 && AArguments[0] == "--audio";
    if (!AArguments.empty() && !audioOnly)
        throw EArgumentError("usage: sonvera formats [--audio]");
    std::printf("%-24s %-16s %-24s %-16s %s\n", "name", "extensions", "MIME type", "audio codec",
                "description");
    TRVLAVAudioFileFormats& formats = TRVLAVAudioFileFormat::GetAvailableFormats();
    for (int32_t i = 0; i < formats.Count(); ++i) {
        TRVLAVAudioFileFormat& format = formats.Items(i);
        const AVOutputFormat* muxer = format.GetAVFormat();
        if (audioOnly && (!muxer || muxer->audio_codec == AV_CODEC_ID_NONE))
            continue;
        const std::string mime = format.GetMimeType();
        const char* codec = muxer && muxer->audio_codec != AV_CODEC_ID_NONE
                                ? avcodec_get_name(muxer->audio_codec)
                                : "-";
        std::printf("%-24s %-16s %-24s %-16s %s\n", format.GetName().c_str(),
                    Joined(format.GetExtentions()).c_str(), mime.empty() ? "-" : mime.c_str(),
                    codec, format.GetDescription().c_str());
    }
    return 0;
}

int RunProbe(const std::vector<std::string>& AArguments) {
    if (AArguments.size() != 1)
        throw EArgumentError("usage: sonvera probe FILE");
    const std::string& file = AArguments[0];
    const TSVLAVInput opened(file, "");
    const AVFormatContext* input = &opened.Context();
    std::printf("%s: %s (%s), %s\n", file.c_str(), input->iformat->name,
                input->iformat->long_name ? input->iformat->long_name : "",
                FormatStreamTime(ToStreamTime(input->duration, {1, AV_TIME_BASE})).c_str());
    for (unsigned i = 0; i < input->nb_streams; ++i)
        PrintStream(*input->streams[i]);
    return 0;
}

} // namespace sonvera::tool
