#include "sonvera/media/SVLAVSampleTransfer.h"

namespace sonvera {

AVSampleFormat SVEncoderSampleFormat(const AVCodec& ACodec, int32_t ABits) {
    const AVSampleFormat* formats = ACodec.sample_fmts;
    if (!formats)
        return AV_SAMPLE_FMT_NONE;
    const AVSampleFormat wanted = ABits == 8                   ? AV_SAMPLE_FMT_U8
                                  : ABits == 16                ? AV_SAMPLE_FMT_S16
                                  : ABits == 24 || ABits == 32 ? AV_SAMPLE_FMT_S32
                                                               : AV_SAMPLE_FMT_NONE;
    // A PCM codec stores its own width; its float variants store any width as floats.
    const bool pcm = ACodec.id >= AV_CODEC_ID_FIRST_AUDIO && ACodec.id < AV_CODEC_ID_ADPCM_IMA_QT;
    const int pcmBits = pcm ? av_get_bits_per_sample(ACodec.id) : 0;
    for (const AVSampleFormat* format = formats; *format != AV_SAMPLE_FMT_NONE; ++format)
        if (wanted != AV_SAMPLE_FMT_NONE && av_get_packed_sample_fmt(*format) == wanted &&
            (!pcm || pcmBits == ABits))
            return *format;
    for (const AVSampleFormat* format = formats; *format != AV_SAMPLE_FMT_NONE; ++format) {
        const AVSampleFormat packed = av_get_packed_sample_fmt(*format);
        if ((packed == AV_SAMPLE_FMT_FLT || packed == AV_SAMPLE_FMT_DBL) &&
            wanted != AV_SAMPLE_FMT_NONE)
            return *format;
    }
    return AV_SAMPLE_FMT_NONE;
}

AVSampleFormat SVEncoderFloatSampleFormat(const AVCodec& ACodec) {
    const AVSampleFormat* formats = ACodec.sample_fmts;
    if (!formats)
        return AV_SAMPLE_FMT_NONE;
    for (const AVSampleFormat* format = formats; *format != AV_SAMPLE_FMT_NONE; ++format)
        if (av_get_packed_sample_fmt(*format) == AV_SAMPLE_FMT_FLT)
            return *format;
    return SVEncoderSampleFormat(ACodec, 32);
}

} // namespace sonvera
