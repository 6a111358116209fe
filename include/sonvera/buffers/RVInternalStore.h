// The timestamped store: a sample store that carries the media timestamp of its samples, so
// that the timestamp travels with them when the store is shared or cloned.
#pragma once

#include <atomic>
#include <cstdint>

#include "sonvera/platform/signal/QXInternalStore.h"

namespace sonvera {

// The timestamp is an available flag and a begin and an end time whose unit producers and
// consumers agree on. Begin and end are read under the store's read lock and written under its
// write lock, so that a 64-bit value is never seen half-written; the flag needs no lock.
// Setting a timestamp never makes a store private: every holder sees the new value.
class TRVSmartMediaBuffer : public TQXSmartBuffer {
public:
    // A fresh store: not available, begin and end 0.
    TRVSmartMediaBuffer() noexcept = default;
    // The copying constructor: starts with AOther's timestamp, read under AOther's read lock.
    TRVSmartMediaBuffer(const TRVSmartMediaBuffer& AOther, bool APreserve);

    // Copies the timestamp of AOther, read under AOther's read lock and written under this
    // store's write lock (never both at once).
    virtual void SetTimeData(const TRVSmartMediaBuffer& AOther);

    // Back to a fresh store's timestamp, without the lock: only for a store that no other
    // holder can reach.
    void ResetUnsharedTimeStamp() noexcept;

    bool GetTimeStampAvailable() const noexcept;
    void SetTimeStampAvailable(bool AValue) noexcept;
    int64_t GetTimeStampBegin() const;
    void SetTimeStampBegin(int64_t AValue);
    int64_t GetTimeStampEnd() const;
    void SetTimeStampEnd(int64_t AValue);

protected:
    ~TRVSmartMediaBuffer() override = default;

private:
    struct TTimeRange {
        int64_t Begin;
        int64_t End;
    };
    TTimeRange LockedTimeRange() const;

    std::atomic<bool> FTimeStampAvailable{false};
    int64_t FTimeStampBegin = 0;
    int64_t FTimeStampEnd = 0;
};

} // namespace sonvera
