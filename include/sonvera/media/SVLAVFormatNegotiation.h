// What a file writer will encode for a given input: the format of the stream it should be
// handed, or a refusal that names the real cause.
//
// The input's own width, rate and speakers are kept where the encoder and the container take
// them. Where they do not, the nearest the encoder takes is chosen: the nearest wider width
// first, then the narrower ones; the lowest listed rate at or above the input's, else the
// highest. What the caller asks for explicitly (a width, a rate, a layout) is never replaced:
// an encoder that cannot take it is a refusal. Channels are counted from the stream (a stream
// of 32 channels or more has more channels than its speaker mask can name).
//
// A refusal is an EArgumentError whose one line names the codec and what it cannot take:
// "codec 'libopus' cannot be stored in 'wav'", "codec 'flac' cannot take 546338 Hz",
// "codec 'libmp3lame' cannot take 32 channels (at most 2)". Each candidate is opened on trial
// (a codec's lists do not tell everything it refuses), and a failed trial is told apart by
// trying again with one thing changed, so that the message names what the encoder refused and
// not merely the first width tried.
#pragma once

#include <cstdint>
#include <optional>

#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/format/GMDXTypes.h"
#include "sonvera/format/SVSpeakers.h"

namespace sonvera {

class TSVLAVFileWriter;

// What the caller asks for; each value left unset follows the input.
struct TSVLAVFormatRequest {
    std::optional<int32_t> Bits;
    std::optional<int32_t> Rate;
    std::optional<TSVSpeakers> Layout;
};

// The format AWriter (with its file name, format and compression as set) will encode a stream
// of AInput in; EArgumentError when there is none.
TSVWaveFormatExtensible SVNegotiateFormat(const TSVLAVFileWriter& AWriter,
                                          const TSVWaveFormatExtensible& AInput,
                                          const TSVLAVFormatRequest& ARequest = {});

} // namespace sonvera
