#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

namespace {

// AValue * AMultiplier / ADivisor rounded to nearest, without overflowing for any stream
// length: the remainder's product stays below ADivisor * AMultiplier, both at most 2^31 * 10^7.
int64_t Rescale(int64_t AValue, int64_t AMultiplier, int64_t ADivisor) noexcept {
    if (ADivisor <= 0)
        return 0;
    const bool negative = AValue < 0;
    const uint64_t value = negative ? 0 - static_cast<uint64_t>(AValue) : AValue;
    const auto multiplier = static_cast<uint64_t>(AMultiplier);
    const auto divisor = static_cast<uint64_t>(ADivisor);
    const uint64_t whole = value / divisor * multiplier;
    const uint64_t part = (value % divisor * multiplier + divisor / 2) / divisor;
    const auto result = static_cast<int64_t>(whole + part);
    return negative ? -result : result;
}

} // namespace

int64_t SVFramesToUnits(int64_t AFrames, int64_t ARate) noexcept {
    return Rescale(AFrames, KUnitsPerSecond, ARate);
}

int64_t SVUnitsToFrames(int64_t AUnits, int64_t ARate) noexcept {
    return ARate > 0 ? Rescale(AUnits, ARate, KUnitsPerSecond) : 0;
}

void SVStampBuffer(ISVAudioBuffer& ABuffer, int64_t ABegin, int64_t AEnd) {
    const TRef<IRVTimeStamp> stamp = ABuffer.GetTimeStamp();
    stamp->SetBegin(ABegin);
    stamp->SetEnd(AEnd);
    stamp->SetAvailable(true);
}

void SVCopyStamp(ISVAudioBuffer& AFrom, ISVAudioBuffer& ATo) {
    const TRef<IRVTimeStamp> from = AFrom.GetTimeStamp();
    const TRef<IRVTimeStamp> to = ATo.GetTimeStamp();
    to->SetBegin(from->GetBegin());
    to->SetEnd(from->GetEnd());
    to->SetAvailable(from->GetAvailable());
}

void TSVStreamClock::Restart(int64_t ARate, int64_t AStart) noexcept {
    FRate = ARate;
    FStart = AStart;
    FFrames = 0;
}

void TSVStreamClock::Stamp(ISVAudioBuffer& ABuffer) {
    const int64_t begin = GetPosition();
    FFrames += ABuffer.GetSize();
    SVStampBuffer(ABuffer, begin, GetPosition());
}

} // namespace sonvera
