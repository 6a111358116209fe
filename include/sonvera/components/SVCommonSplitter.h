// The base of splitters: interleaved audio arrives on one input pin and leaves as one stream of
// doubles per channel, channel c on output pin c. The class of the output pins is the concrete
// splitter's choice.
//
// The format of the running stream comes from the start-wave operation, not from the buffers:
// its bits per sample choose the reading (8, 16, 24 or 32 bits; any other width produces
// nothing), its block alignment is the step from frame to frame. A channel whose samples would
// not lie inside a frame of that alignment produces nothing either, so that a format that
// disagrees with itself never reads outside the buffer.
//
// Threads and locks: operations arrive on the delivering thread. The stream start, the
// processing of a buffer (the submission of every channel's values included) and changes of
// the channel count run inside the component lock, so every lock taken downstream of a
// splitter nests inside its component lock. Pins are never destroyed or disconnected inside
// it: a pin's destruction waits for deliveries on other threads, and one of those may be
// waiting for this lock. A shrinking channel count therefore takes the surplus pins out of the
// list inside the lock and destroys them after leaving it; from then on no buffer reaches them.
#pragma once

#include <cstdint>
#include <memory>

#include "sonvera/platform/pins/PXPinList.h"
#include "sonvera/platform/runtime/LockPersistent.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

class TSVBasicCommonSplitter : public TLockComponent {
public:
    explicit TSVBasicCommonSplitter(TPersistent* AOwner);
    // Destroys the pins before the rest, so that nothing arrives while the splitter goes.
    ~TSVBasicCommonSplitter() override;

    TSVPXAudioSinkPin* GetInputPin() const noexcept { return FInputPin.get(); }
    // Pin i carries channel i.
    TPXPinList* GetOutputPins() noexcept { return &FOutputPins; }
    const TPXPinList* GetOutputPins() const noexcept { return &FOutputPins; }
    // The format of the running stream, as the last start-wave operation gave it.
    TSVWaveFormatExtensible GetWaveFormat() const { return GetPropValue(FWaveFormat); }

    // Stores the format (a null one is ignored) and announces a stream of samples at its rate
    // on every output pin.
    virtual void AudioStreamStart(const TSVWaveFormatExtensible* AFormat);
    virtual void Stop();
    virtual void Resume();
    // Splits one buffer: every channel whose pin is connected, or that has a channel event,
    // becomes a real buffer handed to SplitBuffer.
    virtual void Process(TRef<ISVAudioBuffer>& ABuffer);
    // Notifies every output pin, in list order.
    virtual void OperationDispatch(const TRef<IPXNotifyOperation>& AOperation);
    // Whether values are divided into the range -1 to 1.
    virtual bool GetNormalize() const;

    // The input's dispatch handler; its result is always false.
    bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);
    // The output pins' dispatch handler: a pin beyond the stream's channels tells a query that
    // no stream will come; everything else goes upstream, or back in when nothing is upstream.
    bool SourceDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                        const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

protected:
    // Whether channel AChannel is wanted although its pin is not connected.
    virtual bool HasChannelEvent(int32_t AChannel);
    // Channel AChannel of ABuffer as doubles, read as the stream's width says.
    virtual void Strip8Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer);
    virtual void Strip16Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer);
    virtual void Strip24Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer);
    virtual void Strip32Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer);
    // Receives the values of channel AChannel; nothing here.
    virtual void SplitBuffer(int32_t AChannel, const TRef<IQXRealBuffer>& ABuffer);

    // The handler that output pins are created with.
    TPXDispatchHandler SourceDispatchHandler();

private:
    // Reads the channel's samples of ABits bits; normalised values are divided by the width's
    // full scale.
    void StripChannel(int32_t AChannel, const TRef<ISVAudioBuffer>& ABuffer, int32_t ABits);

    std::unique_ptr<TSVPXAudioSinkPin> FInputPin;
    TPXPinList FOutputPins;
    TSVWaveFormatExtensible FWaveFormat{};
};

// A splitter whose output pins follow the published channel count.
class TSVCommonSplitter : public TSVBasicCommonSplitter {
public:
    static constexpr int32_t KMinChannels = 1;
    static constexpr int32_t KMaxChannels = 32;
    static constexpr int32_t KDefaultChannels = 2;

    using TSVBasicCommonSplitter::TSVBasicCommonSplitter;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // The number of output pins.
    int32_t GetCountChannels() const;
    // Clamps ACount to 1..32, then adds pins at the end of the list or removes them from it.
    // Removed pins are destroyed once the component lock is left. A caller that holds the lock
    // around the call (ApplyPublishedState does, to set a whole state at once) has them
    // destroyed inside it: change the count that way only while no other thread delivers.
    virtual void SetCountChannels(int32_t ACount);

protected:
    // A new output pin with SourceDispatchHandler as its handler, handed to AOnCreated while
    // it is built; AOnCreated adds it to the output pin list, which owns it from then on.
    virtual TPXPin* CreateSourcePin(const TPXPinCreated& AOnCreated) = 0;
    // Completes the construction: the default channel count. A concrete splitter calls it at
    // the end of its constructor, the first point at which CreateSourcePin is its own.
    virtual void AfterConstruction();
};

} // namespace sonvera
