// Hands buffers from the delivering thread to a consumer that runs on the main thread. Each
// buffer added is consumed by a later ProcessQueue of the main thread, in order, and work added
// between them runs in its place in that order; whatever still waits when the queue is cleared
// or destroyed is dropped. Destroy the queue on the main thread (or while the main thread does
// not pump), so that a consumer call never outlives it.
// Locks: the queue's own lock is a leaf, held only to move items; the consumer and the work run
// outside it, so they may take any lock and add to the queue again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "sonvera/platform/runtime/TypeInfo.h"
#include "sonvera/platform/signal/QXSimpleDataBuffer.h"

namespace sonvera {

// Where a filter processes what it receives: on the delivering thread, or on the main thread
// through a buffer queue (every buffer, or only the newest one waiting).
enum TQXSynchronizeType : uint8_t { stDeliveringThread, stMainThread, stMainThreadLatest };

template <> const TEnumTypeInfo& EnumTypeInfo<TQXSynchronizeType>();

class TQXMainThreadBufferQueue {
public:
    using TConsumer =
        std::function<void(TQXMainThreadBufferQueue* ASender, const TRef<IQXData>& AData)>;

    explicit TQXMainThreadBufferQueue(TConsumer AConsumer);
    TQXMainThreadBufferQueue(const TQXMainThreadBufferQueue&) = delete;
    TQXMainThreadBufferQueue& operator=(const TQXMainThreadBufferQueue&) = delete;
    ~TQXMainThreadBufferQueue();

    // Queues AData for the consumer. With ALatestOnly the buffers still waiting are dropped
    // for this one: for consumers (displays, meters) that only want the newest. False when
    // the main-thread queue is closed.
    bool Add(const TRef<IQXData>& AData, bool ALatestOnly);
    // Queues AWork to run on the main thread after the buffers waiting and the one the
    // consumer is in; a latest-only Add never drops it. False, queuing nothing, when no buffer
    // is waiting or being consumed (or the main-thread queue is closed): nothing is ahead of
    // the work then, and the caller does it at once.
    bool AddWorkBehindBuffers(std::function<void()> AWork);
    void Clear();

private:
    // A buffer for the consumer, or work to run (Data is null).
    struct TItem {
        TRef<IQXData> Data;
        std::function<void()> Work;
        uint64_t Serial = 0;
    };
    struct TState {
        std::mutex Lock;
        std::deque<TItem> Items;
        uint64_t LastSerial = 0;
        int Consuming = 0; // consumer calls or work running outside the lock (they may nest)
        TConsumer Consumer;
        TQXMainThreadBufferQueue* Owner;
    };
    bool Post(TItem AItem, bool ALatestOnly, bool AOnlyBehindOthers);
    static void ConsumeOne(const std::shared_ptr<TState>& AState);

    std::shared_ptr<TState> FState;
};

} // namespace sonvera
