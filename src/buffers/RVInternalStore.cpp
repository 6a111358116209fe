#include "sonvera/buffers/RVInternalStore.h"

namespace sonvera {

TRVSmartMediaBuffer::TRVSmartMediaBuffer(const TRVSmartMediaBuffer& AOther, bool APreserve)
    : TQXSmartBuffer(AOther, APreserve), FTimeStampAvailable(AOther.GetTimeStampAvailable()) {
    const TTimeRange range = AOther.LockedTimeRange();
    FTimeStampBegin = range.Begin;
    FTimeStampEnd = range.End;
}

TRVSmartMediaBuffer::TTimeRange TRVSmartMediaBuffer::LockedTimeRange() const {
    // Reading takes the lock, which the base keeps mutable in all but name.
    auto& self = const_cast<TRVSmartMediaBuffer&>(*this);
    self.EnterRead();
    const TTimeRange range{FTimeStampBegin, FTimeStampEnd};
    self.LeaveRead();
    return range;
}

void TRVSmartMediaBuffer::SetTimeData(const TRVSmartMediaBuffer& AOther) {
    if (&AOther == this)
        return;
    const bool available = AOther.GetTimeStampAvailable();
    const TTimeRange range = AOther.LockedTimeRange();
    EnterWrite();
    FTimeStampBegin = range.Begin;
    FTimeStampEnd = range.End;
    LeaveWrite();
    SetTimeStampAvailable(available);
}

void TRVSmartMediaBuffer::ResetUnsharedTimeStamp() noexcept {
    FTimeStampBegin = 0;
    FTimeStampEnd = 0;
    SetTimeStampAvailable(false);
}

bool TRVSmartMediaBuffer::GetTimeStampAvailable() const noexcept {
    return FTimeStampAvailable.load(std::memory_order_relaxed);
}

void TRVSmartMediaBuffer::SetTimeStampAvailable(bool AValue) noexcept {
    FTimeStampAvailable.store(AValue, std::memory_order_relaxed);
}

int64_t TRVSmartMediaBuffer::GetTimeStampBegin() const {
    return LockedTimeRange().Begin;
}

void TRVSmartMediaBuffer::SetTimeStampBegin(int64_t AValue) {
    EnterWrite();
    FTimeStampBegin = AValue;
    LeaveWrite();
}

int64_t TRVSmartMediaBuffer::GetTimeStampEnd() const {
    return LockedTimeRange().End;
}

void TRVSmartMediaBuffer::SetTimeStampEnd(int64_t AValue) {
    EnterWrite();
    FTimeStampEnd = AValue;
    LeaveWrite();
}

} // namespace sonvera
