// Filters whose processing is an event handler, run on the delivering thread or on the main
// thread (SynchronizeType), with commands that inject start, pause, resume, stop and end-stop
// operations into the chain. A start that arrives while buffers wait for the main thread reaches
// downstream behind them, on the main thread.
//
// Threads and locks: the processing event runs inside the filter's event lock, so it never
// runs twice at once, whichever thread runs it; the event lock is taken after the component
// lock when both are held and never the other way round. OnStart runs on the thread that
// delivered the start, OnStop inside the component lock on the thread that delivered the stop.
#pragma once

#include <functional>
#include <mutex>

#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/platform/bases/QXMainThreadBufferQueue.h"

namespace sonvera {

using TNotifyEvent = std::function<void(TPersistent* ASender)>;

class TSVBasicGenericFilter : public TSVCommonFilter {
public:
    explicit TSVBasicGenericFilter(TPersistent* AOwner);
    ~TSVBasicGenericFilter() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TQXSynchronizeType GetSynchronizeType() const { return GetPropValue(FSynchronizeType); }
    void SetSynchronizeType(TQXSynchronizeType AValue);
    void SetOnStart(TNotifyEvent AValue);
    void SetOnStop(TNotifyEvent AValue);

    // Announces a stream of AChannelsCount channels of ABitsPerSample bits at ARate (rounded to
    // the nearest integer, ties to even): upstream when the input is connected, else downstream.
    void SendStartCommand(int32_t ABitsPerSample, int32_t AChannelsCount, double ARate);
    void SendPauseCommand();
    void SendResumeCommand();
    void SendStopCommand();
    void SendEndStopCommand();
    // Drops the buffers still waiting for the main thread.
    void ClearQueue();

protected:
    virtual bool GetHasEvent() = 0;
    virtual void DoProcessData(const TRef<ISVAudioBuffer>& AInBuffer,
                               TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) = 0;

    void InternalOperation(const TRef<ISVAudioBuffer>& AInBuffer, TRef<ISVAudioBuffer>& AOutBuffer,
                           bool AProcess, bool& ASend) override;
    void AudioStreamStart(TPXStartWaveOperation& AOperation) override;
    void SendStart(const TRef<IPXNotifyOperation>& AOperation) override;
    void StreamStop() override;

    std::recursive_mutex& EventLock() noexcept { return FEventLock; }

private:
    void SyncBuffer(TQXMainThreadBufferQueue* ASender, const TRef<IQXData>& AData);
    void NotifyUpstreamOrDown(const TRef<IPXNotifyOperation>& AOperation);

    TNotifyEvent FOnStart;
    TNotifyEvent FOnStop;
    TSVWaveFormatExtensible FWaveFormat{};
    TQXSynchronizeType FSynchronizeType = stDeliveringThread;
    std::recursive_mutex FEventLock;
    std::unique_ptr<TQXMainThreadBufferQueue> FBufferQueue;
};

// Processes with the event (sender, input, output, send flag).
using TSVProcessAudioNotify =
    std::function<void(TPersistent* ASender, const TRef<ISVAudioBuffer>& AInBuffer,
                       TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend)>;

class TSVSimpleGenericFilter : public TSVBasicGenericFilter {
public:
    using TSVBasicGenericFilter::TSVBasicGenericFilter;

    void SetOnProcessData(TSVProcessAudioNotify AValue);
    // Sends ABuffer downstream as it is.
    void SendData(const TRef<ISVAudioBuffer>& ABuffer);

protected:
    bool GetHasEvent() override;
    void DoProcessData(const TRef<ISVAudioBuffer>& AInBuffer, TRef<ISVAudioBuffer>& AOutBuffer,
                       bool& ASend) override;

private:
    TSVProcessAudioNotify FOnProcessData;
};

} // namespace sonvera
