// Moving samples between the library's audio buffers (interleaved integers of 8, 16, 24 or 32
// bits, channels in ascending speaker order) and FFmpeg (frames of any sample format, channel
// layouts), for the components that decode, encode and resample through FFmpeg.
//
// 8-bit samples travel as FFmpeg's unsigned bytes, unchanged; 24-bit samples, which FFmpeg
// carries left-justified in 32 bits, are packed and unpacked exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/format/SVSpeakers.h"

namespace sonvera {

// 32-bit samples to packed 24-bit ones: rounded to nearest and saturated, so that left-justified
// 24-bit samples come back exactly.
void SVPackS32ToS24(const int32_t* ASource, uint8_t* ADest, size_t ACount);
// Packed 24-bit samples to left-justified 32-bit ones.
void SVUnpackS24ToS32(const uint8_t* ASource, int32_t* ADest, size_t ACount);

// Writes AFrames interleaved frames of ABits-bit samples (AChannels each) into ADest, from frame
// AOffset on, converted to ADest's sample format: integers of the same width are copied (8 in
// U8, 16 in S16, 24 and 32 in S32), planar formats get one plane per channel, floats get
// x / 2^(ABits-1). ADest must hold AOffset + AFrames frames of AChannels channels; another
// combination raises EArgumentError.
void SVWriteFrameSamples(const void* ASource, int32_t ABits, int32_t AChannels, int32_t AFrames,
                         AVFrame& ADest, int32_t AOffset);

// The sample format an encoder takes ABits-bit samples in: the integer format of that width
// (S32 for 24 bits, which the encoder is told through bits_per_raw_sample), else a float format
// (lossy encoders), else AV_SAMPLE_FMT_NONE. A PCM encoder stores one width only and takes
// samples of that width alone.
AVSampleFormat SVEncoderSampleFormat(const AVCodec& ACodec, int32_t ABits);

// The FFmpeg layout of AChannels channels on the speakers AMask: a single channel is FFmpeg's
// mono, a mask with one speaker per channel is taken as it is, anything else gets FFmpeg's
// default layout for the count.
AVChannelLayout SVChannelLayoutOf(TSVSpeakers AMask, int32_t AChannels);
// The speakers of an FFmpeg layout: its own mask when FFmpeg knows the speakers (two channels
// or more), else one speaker per channel from the lowest, as the player audio numbers them.
TSVSpeakers SVSpeakersOf(const AVChannelLayout& ALayout);

// FFmpeg's text for an error code ("No such file or directory"), after the error FFmpeg logged
// for it on this thread where it logged one ("wav: opus codec not supported in WAVE format
// (Invalid argument)").
std::string SVLAVErrorText(int AError);

} // namespace sonvera
