// Real media for the codec tests: a generated stereo tone, written through an encoder
// descriptor into a real container the way a driving component would, and temporary files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sonvera/codecs/RVLAVCompression.h"

namespace codecs_test {

constexpr int KToneRate = 44100;

// AFrames frames of interleaved 16-bit stereo: two sines of different pitch, so that swapped
// channels or frames show.
std::vector<int16_t> StereoTone(int AFrames);

// A path in the test's temporary folder, unique to this process and AName.
std::string TempPath(const std::string& AName);

// Encodes ASamples (interleaved 16-bit stereo at KToneRate) through AEncoder, opened for AID,
// into AFile, whose container FFmpeg chooses from the name. Returns 0 or FFmpeg's first error.
int EncodeTone(sonvera::TRVLAVCompression& AEncoder, AVCodecID AID, const std::string& AFile,
               const std::vector<int16_t>& ASamples);

// The interleaved bytes of the first audio stream of AFile, decoded by ADecoder (which must give
// packed samples); empty when anything fails.
std::vector<uint8_t> DecodeFirstAudio(sonvera::TRVLAVCompression& ADecoder,
                                      const std::string& AFile);

} // namespace codecs_test
