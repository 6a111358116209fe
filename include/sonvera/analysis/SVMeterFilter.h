// What every meter shares: a pass-through filter that measures also with nothing connected
// downstream, an Interval of stream time in milliseconds (what it paces is the meter's), and a
// handler that receives each finished result on the main thread. A meter keeps its measuring
// state under the meter lock and sends what it finished after letting the lock go.
//
// Threads and locks: buffers are measured on the delivering or the processing thread, readers
// may be anywhere. Lock order: the component lock, then the meter lock (a stream start takes
// both); measuring takes only the meter lock, and no handler runs inside either.
#pragma once

#include <cmath>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

template <class TResult> class TSVMeterFilter : public TSVCommonFilter {
public:
    using TOnResult = std::function<void(const TResult&)>;

    // Negative, infinite or NaN values are refused with EArgumentError. Read at the stream start.
    double GetInterval() const { return GetPropValue(FInterval); }
    void SetInterval(double AValue) {
        if (!std::isfinite(AValue) || AValue < 0)
            throw EArgumentError(
                FormatMessage("%s: Interval out of range = %g", ClassName().c_str(), AValue));
        SetPropValue("Interval", FInterval, AValue);
    }

protected:
    TSVMeterFilter(TPersistent* AOwner, double AInterval)
        : TSVCommonFilter(AOwner), FInterval(AInterval) {}

    bool NeedsOutput() override { return false; }
    void SetOnResult(TOnResult AHandler) {
        std::lock_guard<std::mutex> guard(FMeterLock);
        FOnResult = std::move(AHandler);
    }
    // Runs the handler with each of AResults, in order, on the main thread. Call it outside the
    // meter lock. The work holds what it needs, not the meter, which may be gone when it runs.
    void Send(std::vector<TResult> AResults) {
        TOnResult handler;
        {
            std::lock_guard<std::mutex> guard(FMeterLock);
            handler = FOnResult;
        }
        if (handler && !AResults.empty())
            TMainThread::Post([handler, results = std::move(AResults)] {
                for (const TResult& result : results)
                    handler(result);
            });
    }

    mutable std::mutex FMeterLock;

private:
    double FInterval;
    TOnResult FOnResult; // under FMeterLock
};

} // namespace sonvera
