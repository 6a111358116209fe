// The analysis area's one reading of samples: a buffer's interleaved samples as floats, full
// scale at 1.0, whatever the container width, so that every meter sees the same values.
#pragma once

#include <cstdint>
#include <vector>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

// AOut becomes the buffer's frames, channels interleaved: each sample less its silence over its
// full scale, or the float samples as they are. A width other than 8, 16, 24 or 32 is refused with
// EArgumentError.
void SVCopyAsFloats(const ISVAudioBuffer& ABuffer, std::vector<float>& AOut);

} // namespace sonvera
