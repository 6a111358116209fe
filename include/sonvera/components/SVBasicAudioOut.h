// The base of components that consume audio at the end of a chain (devices, writers): an audio
// input pin whose operations go to the subclass's SinkDispatch, a clock output pin, an Enabled
// switch, master-pumping settings and a private copy of the current wave format.
//
// Master pumping: with MasterPumping enabled, the output tells its chain's generator to leave
// its own clock (a master-pump operation sent upstream once the subclass has taken the stream's
// start), so that the stream moves one buffer per pump request. Render does all of it on the
// calling thread: the way to run a chain as fast as its output consumes it (a file writer
// rendering), with any generator and no time source to pick.
//
// Threads and locks: the format copy is stored, cleared and released inside the component
// lock, so a subclass that reads it inside the same lock never sees a released record.
#pragma once

#include <functional>
#include <memory>

#include "sonvera/platform/bases/BVMasterPumping.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/streams/SVStreamTypes.h"

namespace sonvera {

class TSVBasicAudioOut : public TLockComponent {
public:
    explicit TSVBasicAudioOut(TPersistent* AOwner);
    ~TSVBasicAudioOut() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TSVPXAudioSinkPin* GetInputPin() const noexcept { return FInputPin.get(); }
    TPXClockSourcePin* GetClockOutputPin() const noexcept { return FClockOutputPin.get(); }
    bool GetEnabled() const { return GetPropValue(FEnabled); }
    // A change calls EnableChanged after the change is told.
    void SetEnabled(bool AValue);
    TBVMasterPumping* GetMasterPumping() const noexcept { return FMasterPumping.get(); }
    void SetMasterPumping(const TBVMasterPumping& AValue);

    // Runs the chain from AGenerator (connected upstream) to this output on the calling thread
    // and returns once the stream has ended: enables MasterPumping, starts AGenerator, then asks
    // for one buffer after another through the input pin and pumps the main-thread queue after
    // each (where the stream's end arrives). AOnPumped runs after each buffer; its false stops
    // the stream, and Render then returns false. A pump request that nothing upstream answers
    // while AGenerator still runs (a broken chain, a paused generator) stops the stream and
    // raises, so that a render never waits for a buffer that cannot come. Call it from the
    // thread that pumps the main-thread queue.
    bool Render(TQXBasicCommonGen& AGenerator, const std::function<bool()>& AOnPumped = nullptr);

    // Keeps a copy of AFormat (extra size + 18 bytes, never less than the 40-byte record);
    // the pointer already stored changes nothing, null only clears.
    void SetAudioFormat(const TSVWaveFormatExtensible* AFormat);
    void ClearAudioFormat();
    // The stored copy or null; read it inside the component lock.
    const TSVWaveFormatExtensible* GetAudioFormat() const noexcept { return FWaveFormat; }

    virtual bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                              const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) = 0;
    // The clock output's handler: ignores what comes back.
    bool ClockSourceDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                             const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

protected:
    virtual void EnableChanged();

private:
    bool InputDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                       const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

private:
    std::unique_ptr<TSVPXAudioSinkPin> FInputPin;
    std::unique_ptr<TPXClockSourcePin> FClockOutputPin;
    bool FEnabled = true;
    std::unique_ptr<TBVMasterPumping> FMasterPumping;
    TSVWaveFormatExtensible* FWaveFormat = nullptr;
    std::unique_ptr<uint8_t[]> FWaveFormatBlock;
};

} // namespace sonvera
