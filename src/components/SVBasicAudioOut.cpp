#include "sonvera/components/SVBasicAudioOut.h"

#include <algorithm>
#include <cstring>

#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

TSVBasicAudioOut::TSVBasicAudioOut(TPersistent* AOwner)
    : TLockComponent(AOwner),
      FMasterPumping(std::make_unique<TBVMasterPumping>(nullptr, this, GetLock())) {
    FInputPin = std::make_unique<TSVPXAudioSinkPin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVBasicAudioOut::InputDispatch));
    FClockOutputPin = std::make_unique<TPXClockSourcePin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVBasicAudioOut::ClockSourceDispatch));
}

TSVBasicAudioOut::~TSVBasicAudioOut() {
    FInputPin.reset();
    FClockOutputPin.reset();
    TChangeNotifyLockGuard guard(*GetLock());
    ClearAudioFormat();
}

const TPropertyTableBase& TSVBasicAudioOut::ClassPropertyTable() {
    using T = TSVBasicAudioOut;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVBasicAudioOut", TLockComponent::ClassPropertyTable())
            .Boolean("Enabled", true, &T::GetEnabled, &T::SetEnabled)
            .Object("MasterPumping", [](const T& AOut) { return AOut.GetMasterPumping(); });
    return table;
}

void TSVBasicAudioOut::SetEnabled(bool AValue) {
    if (SetPropValue("Enabled", FEnabled, AValue))
        EnableChanged();
}

void TSVBasicAudioOut::EnableChanged() {}

void TSVBasicAudioOut::SetMasterPumping(const TBVMasterPumping& AValue) {
    FMasterPumping->Assign(AValue);
}

void TSVBasicAudioOut::SetAudioFormat(const TSVWaveFormatExtensible* AFormat) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (AFormat == FWaveFormat)
        return;
    ClearAudioFormat();
    if (!AFormat)
        return;
    // The record declares its own length; a copy never holds less than the 40-byte record.
    const size_t length = std::max<size_t>(size_t{AFormat->Format.cbSize} + sizeof(tWAVEFORMATEX),
                                           sizeof(TSVWaveFormatExtensible));
    auto block = std::make_unique<uint8_t[]>(length);
    std::memcpy(block.get(), AFormat, sizeof(TSVWaveFormatExtensible));
    FWaveFormatBlock = std::move(block);
    FWaveFormat = reinterpret_cast<TSVWaveFormatExtensible*>(FWaveFormatBlock.get());
}

void TSVBasicAudioOut::ClearAudioFormat() {
    TChangeNotifyLockGuard guard(*GetLock());
    FWaveFormat = nullptr;
    FWaveFormatBlock.reset();
}

bool TSVBasicAudioOut::InputDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                                     const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    const bool result = SinkDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
    if (OperationAs<TPXStartWaveOperation>(AOperation) && GetMasterPumping()->GetEnabled())
        FInputPin->Notify(TPXMasterPumpOperation::Create());
    return result;
}

bool TSVBasicAudioOut::Render(TQXBasicCommonGen& AGenerator,
                              const std::function<bool()>& AOnPumped) {
    GetMasterPumping()->SetEnabled(true);
    AGenerator.Start();
    const TRef<IPXNotifyOperation> request = TPXPumpRequestOperation::Create();
    while (AGenerator.GetRunning()) {
        const bool answered = FInputPin->Notify(request);
        TMainThread::ProcessQueue(); // where the stream's end arrives
        if (AOnPumped && !AOnPumped()) {
            AGenerator.Stop();
            return false;
        }
        if (!answered && AGenerator.GetRunning() && TMainThread::Pending() == 0) {
            AGenerator.Stop();
            throw Exception(ClassName() +
                            ": nothing upstream answers a pump request (a broken chain or a "
                            "paused generator)");
        }
    }
    return true;
}

bool TSVBasicAudioOut::ClockSourceDispatch(TPXPin*, TPXPin*, const TGUID&,
                                           const TRef<IPXNotifyOperation>&, uint32_t) {
    return false;
}

} // namespace sonvera
