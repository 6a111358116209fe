// Reading and writing integer PCM WAV files for the sonvera tool, through libsndfile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace sonvera::tool {

// Interleaved samples exactly as a WAV file stores them (8-bit unsigned, wider widths signed
// little-endian), with their format.
struct TWaveData {
    uint32_t Rate = 0;
    uint32_t Channels = 0;
    uint32_t Bits = 0;        // 8, 16, 24 or 32
    uint32_t ChannelMask = 0; // speaker bits; bit n is speaker n
    std::vector<uint8_t> Samples;

    uint64_t Frames() const;
};

// Reads an integer PCM WAV file; anything else (missing file, not a WAV file, float samples,
// an absurd size) is refused with sonvera::EReadError and a one-line message.
TWaveData ReadWaveFile(const std::string& APath);
// The same from the bytes of a whole file in memory; AName stands for the file in messages.
TWaveData ReadWaveMemory(const void* AData, size_t ASize, const std::string& AName);

// Writes AData as an extensible WAV file carrying its channel mask; refuses with
// sonvera::EArgumentError a format it cannot write, and writes nothing then.
void WriteWaveFile(const std::string& APath, const TWaveData& AData);

} // namespace sonvera::tool
