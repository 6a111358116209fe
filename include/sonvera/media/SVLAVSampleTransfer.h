// What an encoder takes the library's samples in, over the sample bridge of the codecs
// (RVLAVSampleBridge.h), which this header publishes with it.
#pragma once

#include <cstdint>

#include "sonvera/codecs/RVLAVSampleBridge.h"

namespace sonvera {

// The sample format an encoder takes ABits-bit samples in: the integer format of that width
// (S32 for 24 bits, which the encoder is told through bits_per_raw_sample), else a float format
// (lossy encoders), else AV_SAMPLE_FMT_NONE. A PCM encoder stores one width only and takes
// samples of that width alone.
AVSampleFormat SVEncoderSampleFormat(const AVCodec& ACodec, int32_t ABits);
// The sample format an encoder takes float samples in: its float format, else what it takes
// 32-bit samples in (converted on the way).
AVSampleFormat SVEncoderFloatSampleFormat(const AVCodec& ACodec);

} // namespace sonvera
