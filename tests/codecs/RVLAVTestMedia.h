// Real media for the codec tests: a generated stereo tone, written through an encoder
// descriptor into a real container the way a driving component would, and temporary files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sonvera/codecs/RVLAVCompression.h"
#include "sonvera/codecs/RVLAVPlayerAudio.h"

namespace codecs_test {

constexpr int KToneRate = 44100;

// AFrames frames of interleaved 16-bit stereo: two sines of different pitch, so that swapped
// channels or frames show.
std::vector<int16_t> StereoTone(int AFrames);

// A path in the test's temporary folder, unique to this process and AName.
std::string TempPath(const std::string& AName);

// Opens the codec of AEncoder, whose stream in AOutput is open, for the tone's format, under
// the global codec lock as a driver does, and copies its parameters into the stream.
int OpenToneEncoder(sonvera::TRVLAVCompression& AEncoder, AVFormatContext* AOutput);

// Encodes ASamples (interleaved 16-bit stereo at KToneRate) through AEncoder, opened for AID,
// into AFile, whose container FFmpeg chooses from the name. Returns 0 or FFmpeg's first error.
int EncodeTone(sonvera::TRVLAVCompression& AEncoder, AVCodecID AID, const std::string& AFile,
               const std::vector<int16_t>& ASamples);

// The samples of the first audio stream of AFile as APlayer delivers them, buffer after buffer
// (its header stays in the player). Empty when anything fails.
std::vector<uint8_t> PlayFirstAudio(sonvera::TRVLAVPlayerAudio& APlayer, const std::string& AFile);

// A context of the decoder ADecoder for AChannels channels at ARate, as a player builds it from
// a stream's parameters, not yet opened.
sonvera::TRVLAVCodecContext DecoderContext(const char* ADecoder, int AChannels, int ARate);

} // namespace codecs_test
