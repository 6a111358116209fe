// The base of filter components: a component with an Enabled switch that processes what
// arrives at its input either inline, on the delivering thread, or on a processing thread of
// its own (the published Threaded switch), started with the stream and stopped with it.
//
// Order: every other operation from upstream (a start that announces a new format midway, a
// pause, a stop) is handled only once the buffers queued before it have been processed, so it
// never overtakes them: buffers of the old format are processed as such, and the processing
// never runs while a start changes what it uses.
//
// Lock order: the component lock may be held while a buffer is queued for the processing
// thread and while the stream stops (which waits for the queued buffers to be processed), so
// work on the processing thread never takes the component lock. The delivering thread waits for
// the queued buffers before any other operation as it waits for room in the queue: it must not
// hold a lock that the processing (and the delivery downstream of it) takes.
#pragma once

#include <atomic>
#include <cstdint>

#include "sonvera/platform/bases/QXProcessingThread.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

class TQXBasicThreadedEnableFilter : public TLockComponent {
public:
    // Buffers that may wait for the processing thread before the deliverer waits.
    static constexpr uint32_t KDefaultQueueLength = 8;

    explicit TQXBasicThreadedEnableFilter(TPersistent* AOwner);
    // Stops the processing thread, dropping what it had not processed.
    ~TQXBasicThreadedEnableFilter() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // Read without the component lock: every buffer asks.
    bool GetEnabled() const noexcept { return FEnabledNow.load(std::memory_order_relaxed); }
    void SetEnabled(bool AValue);
    // Whether buffers are processed on a thread of the filter's own. A change takes effect at
    // the next stream start.
    bool GetThreaded() const { return GetPropValue(FThreaded); }
    void SetThreaded(bool AValue);
    uint32_t GetQueueLength() const { return GetPropValue(FQueueLength); }
    void SetQueueLength(uint32_t AValue);

    // The input's dispatch handler: supplied buffers go to processing while the filter is
    // enabled; any other operation waits for the buffers queued before it, a stop stops the
    // stream, and it then reaches FilterOperation. The result is the processing's, or
    // FilterOperation's.
    virtual bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                              const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

protected:
    // Hands a supplied-buffer operation to IntSingleOperation, inline or through the
    // processing thread (then the result is true once it is queued).
    bool BufferOperation(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
    // Waits until the buffers queued for the processing thread have been processed; at once
    // when the filter is not threaded or on the processing thread. A subclass that dispatches
    // its input's operations itself calls it before every operation but a buffer.
    void ProcessQueuedBuffers();
    // Processes one supplied-buffer operation.
    virtual bool IntSingleOperation(const TRef<IPXNotifyOperation>& AOperation) = 0;
    // Operations other than buffers; nothing by default.
    virtual bool FilterOperation(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

    // Starts the processing thread when the filter is threaded.
    virtual void StreamStart();
    // Processes what is queued, then stops the processing thread.
    virtual void StreamStop();
    bool IsProcessingThread() const noexcept { return FProcessing.IsProcessingThread(); }

private:
    bool FEnabled = true;
    std::atomic<bool> FEnabledNow{true}; // FEnabled, for readers outside the lock
    bool FThreaded = false;
    uint32_t FQueueLength = KDefaultQueueLength;
    TQXProcessingThread FProcessing;
};

} // namespace sonvera
