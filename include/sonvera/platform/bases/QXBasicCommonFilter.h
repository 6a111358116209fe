// The base of filters with one output: a stream started flag, and the step from an input
// buffer to a prepared output buffer that the filter's processing fills.
#pragma once

#include <atomic>

#include "sonvera/platform/bases/QXBasicThreadedEnableFilter.h"

namespace sonvera {

class TQXBasicCommonFilter : public TQXBasicThreadedEnableFilter {
public:
    using TQXBasicThreadedEnableFilter::TQXBasicThreadedEnableFilter;

    virtual TPXPin* GetOutputPin() = 0;
    // Set when the filter has seen its stream start, cleared when the stream stops.
    bool GetStarted() const noexcept { return FStarted.load(); }

protected:
    void SetStarted(bool AValue) noexcept { FStarted = AValue; }
    // Prepares the output buffer for AInBuffer and hands both to IntBufferOperation.
    bool IntSingleBufferOperation(const TRef<IQXData>& AInBuffer);
    // The output buffer: by default a buffer sharing the input's store, so that nothing is
    // copied unless the processing writes (which gives the output a store of its own).
    virtual TRef<IQXData> PrepareOutputBuffer(const TRef<IQXData>& AInBuffer);
    virtual bool IntBufferOperation(const TRef<IQXData>& AInBuffer,
                                    const TRef<IQXData>& AOutBuffer) = 0;
    void StreamStop() override;

private:
    std::atomic<bool> FStarted{false};
};

} // namespace sonvera
