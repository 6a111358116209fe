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
    FState->Buffers.clear();
    FState->Owner = nullptr;
}

bool TQXMainThreadBufferQueue::Add(const TRef<IQXData>& AData, bool ALatestOnly) {
    {
        std::lock_guard<std::mutex> guard(FState->Lock);
        if (ALatestOnly)
            FState->Buffers.clear();
        FState->Buffers.push_back(AData);
    }
    // One consumption per buffer added; one that finds the queue emptied does nothing.
    std::shared_ptr<TState> state = FState;
    if (TMainThread::Post([state] { ConsumeOne(state); }))
        return true;
    std::lock_guard<std::mutex> guard(FState->Lock);
    if (!FState->Buffers.empty() && FState->Buffers.back() == AData)
        FState->Buffers.pop_back();
    return false;
}

void TQXMainThreadBufferQueue::Clear() {
    std::lock_guard<std::mutex> guard(FState->Lock);
    FState->Buffers.clear();
}

size_t TQXMainThreadBufferQueue::Count() const {
    std::lock_guard<std::mutex> guard(FState->Lock);
    return FState->Buffers.size();
}

void TQXMainThreadBufferQueue::ConsumeOne(const std::shared_ptr<TState>& AState) {
    TRef<IQXData> data;
    TQXMainThreadBufferQueue* owner;
    {
        std::lock_guard<std::mutex> guard(AState->Lock);
        if (AState->Buffers.empty() || !AState->Owner)
            return;
        data = std::move(AState->Buffers.front());
        AState->Buffers.pop_front();
        owner = AState->Owner;
    }
    AState->Consumer(owner, data);
}

} // namespace sonvera
