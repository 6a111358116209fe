// Stream time: signed 64-bit counts of 100 ns on a stream's own clock, and the one way a buffer
// is stamped with it. A stream clock counts the frames it has stamped and converts the total,
// so that stamps never drift however the buffers are cut.
#pragma once

#include <cstdint>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"

namespace sonvera {

inline constexpr int64_t KUnitsPerSecond = 10'000'000;

// AFrames at ARate frames per second in stream time, rounded to nearest (ties away from zero);
// 0 when ARate is not positive.
int64_t SVFramesToUnits(int64_t AFrames, int64_t ARate) noexcept;
// AUnits of stream time in frames at ARate, rounded to nearest; 0 when ARate is not positive.
int64_t SVUnitsToFrames(int64_t AUnits, int64_t ARate) noexcept;
// Marks ABuffer's time stamp available with the given begin and end.
void SVStampBuffer(ISVAudioBuffer& ABuffer, int64_t ABegin, int64_t AEnd);
// Gives ATo AFrom's stamp, available or not: a buffer made from another keeps its time.
void SVCopyStamp(ISVAudioBuffer& AFrom, ISVAudioBuffer& ATo);

class TSVStreamClock {
public:
    // Counts from AStart (stream time) at ARate frames per second, with no frame stamped yet.
    void Restart(int64_t ARate, int64_t AStart = 0) noexcept;
    // Stamps ABuffer with its frames, following the last buffer stamped, and moves on.
    void Stamp(ISVAudioBuffer& ABuffer);
    // The end of the last buffer stamped (the start before the first).
    int64_t GetPosition() const noexcept { return FStart + SVFramesToUnits(FFrames, FRate); }

private:
    int64_t FRate = 0;
    int64_t FStart = 0;
    int64_t FFrames = 0;
};

} // namespace sonvera
