// The analysis area's one reading of samples: a buffer's interleaved samples as floats, full
// scale at 1.0, whatever the container width, so that every meter sees the same values.
#pragma once

#include <cstdint>
#include <vector>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"

namespace sonvera {

// What a sample of ABits reads as at full scale: 2^(ABits - 1).
double SVFullScale(int32_t ABits);

// AOut becomes the buffer's frames, channels interleaved: sample / full scale (the 8-bit
// silence, 127, reads as 0). A width other than 8, 16, 24 or 32 is refused with EArgumentError.
void SVReadFloatFrames(const ISVAudioBuffer& ABuffer, std::vector<float>& AOut);

// The stream time, in 100 ns units, of AFrames frames at ARate.
int64_t SVFramesToTime(uint64_t AFrames, int32_t ARate);

} // namespace sonvera
