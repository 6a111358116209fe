// The base of audio filters: one audio input pin, one audio output pin, the routing of stream
// operations between them, time stamps for buffers that arrive without one, and the processing
// hook FilterInternalOperation that subclasses override.
//
// What a filter does with each buffer, and the component that shows it:
//   pass through     leave AOutBuffer alone: it is the input's buffer, samples shared, nothing
//                    copied (TSVGainFilter at a gain of 1).
//   change in place  write through AOutBuffer (Write, Modify or an operation on it): copy on
//                    write gives it samples of its own first, so whoever else holds the input
//                    never sees the change (TSVGainFilter).
//   replace          set AOutBuffer to a new buffer, stamped like the input, and announce a
//                    changed format in OutputStartOperation (TSVFormatFilter).
//   drop             clear ASend (TSVResampleFilter, while its resampler holds every sample).
//   hold back        keep samples between buffers and send what is left from StreamStop,
//                    before the stop goes on (TSVResampleFilter's tail).
//
// Threads and locks: operations arrive on the delivering thread. AudioStreamStart runs inside
// the component lock (and so does the delivery of the start downstream); buffers are stamped on
// the delivering thread and processed inline or on the filter's processing thread, never inside
// the component lock; a start (or any other operation) from upstream waits for the buffers
// queued before it, so a new format midway never overtakes the old format's buffers.
#pragma once

#include <atomic>
#include <memory>

#include "sonvera/platform/bases/QXBasicCommonFilter.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

class TSVCommonFilter : public TQXBasicCommonFilter {
public:
    explicit TSVCommonFilter(TPersistent* AOwner);
    ~TSVCommonFilter() override;

    TSVPXAudioSinkPin* GetInputPin() const noexcept { return FInputPin.get(); }
    TPXPin* GetOutputPin() override { return FOutputPin.get(); }
    TSVPXAudioSourcePin* GetAudioOutputPin() const noexcept { return FOutputPin.get(); }
    // The format of the running stream, as the last start-wave operation gave it.
    const TSVWaveFormatExtensible* GetWaveFormat() const noexcept { return &FWaveFormat; }
    // Stream time in 100 ns units: where the next unstamped buffer begins.
    int64_t GetCurrentTime() const noexcept { return FCurrentTime.load(); }

    bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) override;
    // Operations that come back from downstream to the output pin.
    virtual bool SourceDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                                const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

protected:
    // Calls FilterInternalOperation when AProcess is set.
    virtual void InternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                   TRef<ISVAudioBuffer>& AOutBuffer, bool AProcess, bool& ASend);
    // The processing hook: AOutBuffer shares AInBuffer's samples until it is written
    // (Write/Modify give it samples of its own). Clearing ASend drops the buffer.
    virtual void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                         TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend);
    // Whether processing needs a connected output (true: an unconnected filter skips it).
    virtual bool NeedsOutput();
    virtual void AudioStreamStart(TPXStartWaveOperation& AOperation);
    // The start passed downstream: by default the one that arrived. A filter that changes the
    // format announces its own. Runs inside the component lock.
    virtual TRef<IPXNotifyOperation> OutputStartOperation(TPXStartWaveOperation& AOperation);
    // Sends that start downstream: at once by default. A filter that sends its buffers later
    // sends the start behind the ones it still holds. Runs inside the component lock.
    virtual void SendStart(const TRef<IPXNotifyOperation>& AOperation);
    virtual void MasterPump(const TRef<IPXNotifyOperation>& AOperation);
    // Whether the start is passed downstream.
    virtual bool CanStart();
    virtual void PumpRequest(const TRef<IPXNotifyOperation>& AOperation);
    virtual void StartPump(const TRef<IPXNotifyOperation>& AOperation);

    bool IntSingleOperation(const TRef<IPXNotifyOperation>& AOperation) override;
    void StreamStop() override;
    bool IntBufferOperation(const TRef<IQXData>& AInBuffer,
                            const TRef<IQXData>& AOutBuffer) override;

private:
    bool SuppliedBuffer(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

    std::unique_ptr<TSVPXAudioSinkPin> FInputPin;
    std::unique_ptr<TSVPXAudioSourcePin> FOutputPin;
    TSVWaveFormatExtensible FWaveFormat{};
    std::atomic<int64_t> FCurrentTime{0};
    std::atomic<bool> FStartSent{false};
};

} // namespace sonvera
