#include "sonvera/components/SVBasicGenericFilter.h"

#include <cmath>

namespace sonvera {

TSVBasicGenericFilter::TSVBasicGenericFilter(TPersistent* AOwner)
    : TSVCommonFilter(AOwner),
      FBufferQueue(std::make_unique<TQXMainThreadBufferQueue>(
          [this](TQXMainThreadBufferQueue* ASender, const TRef<IQXData>& AData) {
              SyncBuffer(ASender, AData);
          })) {}

TSVBasicGenericFilter::~TSVBasicGenericFilter() {
    FBufferQueue.reset();
}

const TPropertyTableBase& TSVBasicGenericFilter::ClassPropertyTable() {
    using T = TSVBasicGenericFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVBasicGenericFilter",
                          TQXBasicThreadedEnableFilter::ClassPropertyTable())
            .Enumeration("SynchronizeType", stDeliveringThread, &T::GetSynchronizeType,
                         &T::SetSynchronizeType);
    return table;
}

void TSVBasicGenericFilter::SetSynchronizeType(TQXSynchronizeType AValue) {
    SetPropValue("SynchronizeType", FSynchronizeType, AValue);
}

void TSVBasicGenericFilter::SetOnStart(TNotifyEvent AValue) {
    TChangeNotifyLockGuard guard(*GetLock());
    FOnStart = std::move(AValue);
}

void TSVBasicGenericFilter::SetOnStop(TNotifyEvent AValue) {
    TChangeNotifyLockGuard guard(*GetLock());
    FOnStop = std::move(AValue);
}

void TSVBasicGenericFilter::InternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                              TRef<ISVAudioBuffer>& AOutBuffer, bool, bool& ASend) {
    AOutBuffer->Assign(AInBuffer);
    std::lock_guard<std::recursive_mutex> guard(FEventLock);
    if (!GetHasEvent())
        return;
    const TQXSynchronizeType type = GetSynchronizeType();
    if (type == stDeliveringThread) {
        DoProcessData(AInBuffer, AOutBuffer, ASend);
        return;
    }
    FBufferQueue->Add(AInBuffer, type == stMainThreadLatest);
    ASend = false;
}

void TSVBasicGenericFilter::SyncBuffer(TQXMainThreadBufferQueue*, const TRef<IQXData>& AData) {
    const TRef<ISVAudioBuffer> buffer = IntfCast<ISVAudioBuffer>(AData);
    TRef<ISVAudioBuffer> out = TSVAudioBuffer::CreateCopy(buffer);
    std::lock_guard<std::recursive_mutex> guard(FEventLock);
    bool send = true;
    if (GetEnabled())
        DoProcessData(buffer, out, send);
    if (send)
        GetAudioOutputPin()->SubmitBuffer(out);
}

void TSVBasicGenericFilter::AudioStreamStart(TPXStartWaveOperation& AOperation) {
    TNotifyEvent onStart;
    {
        TChangeNotifyLockGuard guard(*GetLock());
        FWaveFormat = AOperation.GetWaveFormat();
        if (!GetStarted())
            onStart = FOnStart;
    }
    if (onStart)
        onStart(this);
    TSVCommonFilter::AudioStreamStart(AOperation);
}

void TSVBasicGenericFilter::SendStart(const TRef<IPXNotifyOperation>& AOperation) {
    // The buffers waiting belong to the stream this start ends; the queue is emptied at a stop
    // and before the filter goes, so the work never outlives the filter.
    if (FBufferQueue->AddWorkBehindBuffers([this, AOperation] {
            TChangeNotifyLockGuard guard(*GetLock());
            GetAudioOutputPin()->Notify(AOperation);
        }))
        return;
    TSVCommonFilter::SendStart(AOperation);
}

void TSVBasicGenericFilter::StreamStop() {
    TChangeNotifyLockGuard guard(*GetLock());
    const bool wasStarted = GetStarted();
    TSVCommonFilter::StreamStop();
    if (!wasStarted)
        return;
    FBufferQueue->Clear();
    if (FOnStop)
        FOnStop(this);
}

void TSVBasicGenericFilter::NotifyUpstreamOrDown(const TRef<IPXNotifyOperation>& AOperation) {
    if (GetInputPin()->IsConnected())
        GetInputPin()->Notify(AOperation);
    else
        GetAudioOutputPin()->Notify(AOperation);
}

void TSVBasicGenericFilter::SendStartCommand(int32_t ABitsPerSample, int32_t AChannelsCount,
                                             double ARate) {
    const double rate = std::nearbyint(ARate);
    const int32_t samplesPerSecond =
        std::isfinite(rate) && rate >= 0 && rate <= INT32_MAX ? static_cast<int32_t>(rate) : 0;
    TRef<TPXStartWaveOperation> start;
    {
        std::lock_guard<std::recursive_mutex> guard(FEventLock);
        start = TPXStartWaveOperation::CreateFormatObject(samplesPerSecond, ABitsPerSample,
                                                          AChannelsCount, false);
        FWaveFormat = start->GetWaveFormat();
    }
    NotifyUpstreamOrDown(start);
}

void TSVBasicGenericFilter::SendPauseCommand() {
    GetAudioOutputPin()->Notify(TPXPauseOperation::Create());
}

void TSVBasicGenericFilter::SendResumeCommand() {
    GetAudioOutputPin()->Notify(TPXQXResumeOperation::Create());
}

void TSVBasicGenericFilter::SendStopCommand() {
    NotifyUpstreamOrDown(TPXStopOperation::Create());
}

void TSVBasicGenericFilter::SendEndStopCommand() {
    NotifyUpstreamOrDown(TPXEndStopOperation::Create());
}

void TSVBasicGenericFilter::ClearQueue() {
    FBufferQueue->Clear();
}

void TSVSimpleGenericFilter::SetOnProcessData(TSVProcessAudioNotify AValue) {
    std::lock_guard<std::recursive_mutex> guard(EventLock());
    FOnProcessData = std::move(AValue);
}

void TSVSimpleGenericFilter::SendData(const TRef<ISVAudioBuffer>& ABuffer) {
    GetAudioOutputPin()->SubmitBuffer(ABuffer);
}

bool TSVSimpleGenericFilter::GetHasEvent() {
    return static_cast<bool>(FOnProcessData);
}

void TSVSimpleGenericFilter::DoProcessData(const TRef<ISVAudioBuffer>& AInBuffer,
                                           TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) {
    if (FOnProcessData)
        FOnProcessData(this, AInBuffer, AOutBuffer, ASend);
}

} // namespace sonvera
