#include "sonvera/media/SVLAVFormatNegotiation.h"

#include <algorithm>
#include <string>
#include <vector>

#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

namespace {

// The rate a failed trial is repeated at to find out whether the rate was the cause.
constexpr int32_t KCommonRate = 48000;

struct TCandidate {
    int32_t Rate;
    int32_t Bits;
    int32_t Channels;
    TSVSpeakers Layout;

    TSVWaveFormatExtensible Format() const {
        return TPXStartWaveOperation::CreateFormatExObject(Rate, Bits, Channels, Layout, false)
            ->GetWaveFormat();
    }
};

std::string CodecText(const AVCodec& AEncoder) {
    return std::string("codec '") + AEncoder.name + "'";
}

// The input's width first, then the nearest wider ones, then the narrower ones.
std::vector<int32_t> WidthsToTry(int32_t AInput) {
    std::vector<int32_t> widths{AInput};
    for (int32_t bits : {8, 16, 24, 32})
        if (bits > AInput)
            widths.push_back(bits);
    for (int32_t bits : {32, 24, 16, 8})
        if (bits < AInput)
            widths.push_back(bits);
    return widths;
}

bool ListsRate(const AVCodec& AEncoder, int32_t ARate) {
    if (!AEncoder.supported_samplerates)
        return true;
    for (const int* rate = AEncoder.supported_samplerates; *rate != 0; ++rate)
        if (*rate == ARate)
            return true;
    return false;
}

// The lowest rate the encoder lists at or above ARate, else its highest; ARate when it lists
// none.
int32_t NearestRate(const AVCodec& AEncoder, int32_t ARate) {
    if (!AEncoder.supported_samplerates)
        return ARate;
    int32_t above = 0, highest = 0;
    for (const int* rate = AEncoder.supported_samplerates; *rate != 0; ++rate) {
        highest = std::max(highest, *rate);
        if (*rate >= ARate && (above == 0 || *rate < above))
            above = *rate;
    }
    return above ? above : highest;
}

// The most channels the encoder lists a layout for; 0 when it lists none.
int32_t ListedChannelLimit(const AVCodec& AEncoder) {
    int32_t most = 0;
    if (AEncoder.ch_layouts)
        for (const AVChannelLayout* known = AEncoder.ch_layouts; known->nb_channels != 0; ++known)
            most = std::max(most, known->nb_channels);
    return most;
}

bool ListsLayout(const AVCodec& AEncoder, const TCandidate& ACandidate) {
    if (!AEncoder.ch_layouts)
        return true;
    AVChannelLayout layout = SVChannelLayoutOf(ACandidate.Layout, ACandidate.Channels);
    bool found = false;
    for (const AVChannelLayout* known = AEncoder.ch_layouts; known->nb_channels != 0 && !found;
         ++known)
        found = av_channel_layout_compare(known, &layout) == 0;
    av_channel_layout_uninit(&layout);
    return found;
}

bool Opens(const AVCodec& AEncoder, const TCandidate& ACandidate) {
    std::string ignored;
    return TSVLAVFileWriter::EncoderTakes(AEncoder, ACandidate.Format(), ignored);
}

// The most channels the encoder opens with, below the candidate's count (which it refused),
// found by halving: an encoder that takes n channels takes fewer too.
int32_t OpenedChannelLimit(const AVCodec& AEncoder, TCandidate ACandidate) {
    int32_t taken = 0, refused = ACandidate.Channels;
    while (refused - taken > 1) {
        ACandidate.Channels = taken + (refused - taken) / 2;
        ACandidate.Layout = {};
        (Opens(AEncoder, ACandidate) ? taken : refused) = ACandidate.Channels;
    }
    return taken;
}

std::string ChannelRefusal(const AVCodec& AEncoder, int32_t AChannels, int32_t ALimit) {
    return CodecText(AEncoder) + FormatMessage(" cannot take %d channels", AChannels) +
           (ALimit > 0 ? FormatMessage(" (at most %d)", ALimit) : std::string(" (it takes none)"));
}

// Why a trial open failed: the rate or the channel count when the encoder opens with a common
// rate or with stereo instead, else what the trial said.
std::string Diagnose(const AVCodec& AEncoder, const TCandidate& ACandidate,
                     const std::string& AWhy) {
    TCandidate other = ACandidate;
    other.Rate = NearestRate(AEncoder, KCommonRate);
    if (other.Rate != ACandidate.Rate && Opens(AEncoder, other))
        return CodecText(AEncoder) + FormatMessage(" cannot take %d Hz", ACandidate.Rate);
    other = ACandidate;
    other.Channels = 2;
    other.Layout = KSVSpeakersStereo;
    if (ACandidate.Channels > 2 && Opens(AEncoder, other))
        return ChannelRefusal(AEncoder, ACandidate.Channels,
                              OpenedChannelLimit(AEncoder, ACandidate));
    return AWhy;
}

} // namespace

TSVWaveFormatExtensible SVNegotiateFormat(const TSVLAVFileWriter& AWriter,
                                          const TSVWaveFormatExtensible& AInput,
                                          const TSVLAVFormatRequest& ARequest) {
    const AVOutputFormat& container = AWriter.Container();
    TCandidate candidate{};
    if (ARequest.Layout) {
        candidate.Layout = *ARequest.Layout;
        candidate.Channels = ARequest.Layout->Count();
    } else {
        candidate.Layout = TSVSpeakers::FromMask(AInput.dwChannelMask);
        candidate.Channels = AInput.Format.nChannels;
    }
    const std::vector<int32_t> widths = ARequest.Bits
                                            ? std::vector<int32_t>{*ARequest.Bits}
                                            : WidthsToTry(AInput.Samples.wValidBitsPerSample);
    // A refusal of a width alone is told only when no width is taken for another reason.
    std::string widthRefusal, refusal;
    for (const int32_t bits : widths) {
        const AVCodec& encoder = AWriter.Encoder(bits);
        if (avformat_query_codec(&container, encoder.id, FF_COMPLIANCE_NORMAL) == 0)
            throw EArgumentError(CodecText(encoder) + " cannot be stored in '" + container.name +
                                 "'");
        if (!ListsLayout(encoder, candidate)) {
            const int32_t limit = ListedChannelLimit(encoder);
            throw EArgumentError(
                candidate.Channels > limit
                    ? ChannelRefusal(encoder, candidate.Channels, limit)
                    : CodecText(encoder) +
                          FormatMessage(" cannot take these %d speakers", candidate.Channels));
        }
        candidate.Bits = bits;
        candidate.Rate = ARequest.Rate.value_or(static_cast<int32_t>(AInput.Format.nSamplesPerSec));
        if (!ListsRate(encoder, candidate.Rate)) {
            if (ARequest.Rate)
                throw EArgumentError(CodecText(encoder) +
                                     FormatMessage(" cannot take %d Hz", candidate.Rate));
            candidate.Rate = NearestRate(encoder, candidate.Rate);
        }
        if (SVEncoderSampleFormat(encoder, bits) == AV_SAMPLE_FMT_NONE) {
            if (widthRefusal.empty())
                widthRefusal =
                    CodecText(encoder) + FormatMessage(" cannot take %d-bit samples", bits);
            continue;
        }
        std::string why;
        if (TSVLAVFileWriter::EncoderTakes(encoder, candidate.Format(), why))
            return candidate.Format();
        if (refusal.empty())
            refusal = Diagnose(encoder, candidate, why);
    }
    throw EArgumentError(refusal.empty() ? widthRefusal : refusal);
}

} // namespace sonvera
