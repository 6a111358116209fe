#include "sonvera/platform/bases/QXMainThreadBufferQueue.h"

#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

template <> const TEnumTypeInfo& EnumTypeInfo<TQXSynchronizeType>() {
    static const TEnumTypeInfo info("TQXSynchronizeType",
                                    {{"stDeliveringThread", stDeliveringThread},
                                     {"stMainThread", stMainThread},
                                     {"stMainThreadLatest", stMainThreadLatest}});
    return info;
}

TQXMainThreadBufferQueue::TQXMainThreadBufferQueue(TConsumer AConsumer)
    : FState(std::make_shared<TState>()) {
    FState->Consumer = std::move(AConsumer);
    FState->Owner = this;
}

TQXMainThreadBufferQueue::~TQXMainThreadBufferQueue() {
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Items.clear();
    FState->Owner = nullptr;
}

bool TQXMainThreadBufferQueue::Add(const TRef<IQXData>& AData, bool ALatestOnly) {
    return Post(TItem{AData, {}}, ALatestOnly, false);
}

bool TQXMainThreadBufferQueue::AddWorkBehindBuffers(std::function<void()> AWork) {
    return Post(TItem{nullptr, std::move(AWork)}, false, true);
}

bool TQXMainThreadBufferQueue::Post(TItem AItem, bool ALatestOnly, bool AOnlyBehindOthers) {
    uint64_t serial;
    {
        std::lock_guard<std::mutex> guard(FState->Lock);
        // Decided under the lock that queues: a buffer popped but not yet delivered still
        // counts, or what the caller does at once could overtake it.
        if (AOnlyBehindOthers && FState->Items.empty() && FState->Consuming == 0)
            return false;
        if (ALatestOnly)
            std::erase_if(FState->Items, [](const TItem& AWaiting) { return AWaiting.Data; });
        serial = AItem.Serial = ++FState->LastSerial;
        FState->Items.push_back(std::move(AItem));
    }
    // One consumption per item added; one that finds the queue emptied does nothing.
    std::shared_ptr<TState> state = FState;
    if (TMainThread::Post([state] { ConsumeOne(state); }))
        return true;
    // Closed: take back what this call queued, unless a clear took it already.
    std::lock_guard<std::mutex> guard(FState->Lock);
    std::erase_if(FState->Items,
                  [serial](const TItem& AWaiting) { return AWaiting.Serial == serial; });
    return false;
}

void TQXMainThreadBufferQueue::Clear() {
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Items.clear();
}

void TQXMainThreadBufferQueue::ConsumeOne(const std::shared_ptr<TState>& AState) {
    TItem item;
    TQXMainThreadBufferQueue* owner;
    {
        std::lock_guard<std::mutex> guard(AState->Lock);
        if (AState->Items.empty() || !AState->Owner)
            return;
        item = std::move(AState->Items.front());
        AState->Items.pop_front();
        owner = AState->Owner;
        ++AState->Consuming;
    }
    struct TConsumed {
        TState& State;
        ~TConsumed() {
            std::lock_guard<std::mutex> guard(State.Lock);
            --State.Consuming;
        }
    } consumed{*AState};
    if (item.Data)
        AState->Consumer(owner, item.Data);
    else
        item.Work();
}

} // namespace sonvera
