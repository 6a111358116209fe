// Moving audio buffers in and out of WAV files, and describing them, for the tool's commands.
#pragma once

#include <string>

#include "WaveFile.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"

namespace sonvera::tool {

TRef<ISVAudioBuffer> LoadAudioBuffer(const std::string& APath);
// The buffer holding a WAV file's samples in its format.
TRef<ISVAudioBuffer> AudioBufferOf(const TWaveData& AData);
void SaveAudioBuffer(const std::string& APath, const TRef<ISVAudioBuffer>& ABuffer);

// The largest sample magnitude over all channels, in dB relative to the width's full scale
// (-inf for silence).
double PeakLevelDb(const TRef<ISVAudioBuffer>& ABuffer);

// The table header and one row: file, bits, channels, mask, frames, peak level.
void PrintBufferTableHeader();
void PrintBufferTableRow(const std::string& AFile, const TRef<ISVAudioBuffer>& ABuffer);

} // namespace sonvera::tool
