// The one bridge between the library's audio buffers (interleaved integers of 8, 16, 24 or 32
// bits, channels in ascending speaker order) and FFmpeg (frames of any sample format, channel
// layouts, error codes), both ways, for everything that decodes, encodes and resamples through
// FFmpeg.
//
// 8-bit samples travel as FFmpeg's unsigned bytes, unchanged; 24-bit samples, which FFmpeg
// carries left-justified in 32 bits, are packed and unpacked exactly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sonvera/buffers/SVBufferRecycler.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/format/SVSpeakers.h"
#include "sonvera/primitives/SVSampleKernels.h"

namespace sonvera {

// The width of the buffers a frame of AFormat becomes (8, 16 or 32 bits; floats and doubles
// become 32-bit integers), or 0 for a format beyond FFmpeg's ten.
int32_t SVDeliveredBits(int AFormat);
// AFrame's samples as a buffer from ABuffers of ARate frames per second and ABits-bit samples on
// ASpeakers, frames unstamped: integers are copied (planes interleaved), floats and doubles
// become round(2147483647 x) (see SVSampleKernels.h), and 32-bit integers asked for at 24 bits
// are packed as SVPackS32ToS24 (SVSampleKernels.h) packs them, in the same pass. Everything the
// frame claims is checked before anything is allocated: a frame of a format beyond the ten,
// without channels, whose planes are missing, misaligned or shorter than its samples, or asked
// for at another width raises EArgumentError.
TRef<TSVAudioBuffer> SVBufferFromFrame(const AVFrame& AFrame, int32_t ARate, int32_t ABits,
                                       TSVSpeakers ASpeakers, TSVBufferRecycler& ABuffers);

// AFrame's float or double samples as a float buffer from ABuffers (planes interleaved,
// doubles rounded to floats), checked as SVBufferFromFrame checks; a frame of integers raises
// EArgumentError.
TRef<TSVAudioBuffer> SVFloatBufferFromFrame(const AVFrame& AFrame, int32_t ARate,
                                            TSVSpeakers ASpeakers, TSVBufferRecycler& ABuffers);
// Whether frames of AFormat carry floats or doubles.
bool SVIsFloatSampleFormat(int AFormat);

// Writes AFrames interleaved frames of float samples (AChannels each) into ADest as
// SVWriteFrameSamples writes integers: floats and doubles take them as they are, integer
// formats get x * 2^(N-1) rounded to nearest and saturated (8 bits unsigned, 128 silence).
void SVWriteFrameFloats(const float* ASource, int32_t AChannels, int32_t AFrames, AVFrame& ADest,
                        int32_t AOffset);

// Writes AFrames interleaved frames of ABits-bit samples (AChannels each) into ADest, from frame
// AOffset on, converted to ADest's sample format: integers of the same width are copied (8 in
// U8, 16 in S16, 24 and 32 in S32), planar formats get one plane per channel, floats get
// x / 2^(ABits-1). ADest must hold AOffset + AFrames frames of AChannels channels; another
// combination raises EArgumentError.
void SVWriteFrameSamples(const void* ASource, int32_t ABits, int32_t AChannels, int32_t AFrames,
                         AVFrame& ADest, int32_t AOffset);

// The FFmpeg layout of AChannels channels on the speakers AMask: a single channel is FFmpeg's
// mono, a mask with one speaker per channel is taken as it is, anything else gets FFmpeg's
// default layout for the count.
AVChannelLayout SVChannelLayoutOf(TSVSpeakers AMask, int32_t AChannels);
// The speakers of an FFmpeg layout: its own mask when FFmpeg knows the speakers (two channels
// or more), else one speaker per channel from the lowest, as the player audio numbers them.
TSVSpeakers SVSpeakersOf(const AVChannelLayout& ALayout);

// FFmpeg's text for an error code ("No such file or directory"), after the error FFmpeg logged
// for it on this thread where it logged one ("wav: Codec opus not supported in WAVE format
// (Function not implemented)").
std::string SVLAVErrorText(int AError);

} // namespace sonvera
