#include "sonvera/components/SVCommonSplitter.h"

#include <algorithm>
#include <vector>

#include "sonvera/primitives/SVSampleKernels.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera {

namespace {

double FullScale(int32_t ABits) {
    switch (ABits) {
    case 8:
        return TSVSampleTraits<8>::KFullScale;
    case 16:
        return TSVSampleTraits<16>::KFullScale;
    case 24:
        return TSVSampleTraits<24>::KFullScale;
    default:
        return TSVSampleTraits<32>::KFullScale;
    }
}

using TStripOperation = void (TSVBasicCommonSplitter::*)(int32_t, TRef<ISVAudioBuffer>&);

} // namespace

// --- TSVBasicCommonSplitter ------------------------------------------------------------------

TSVBasicCommonSplitter::TSVBasicCommonSplitter(TPersistent* AOwner) : TLockComponent(AOwner) {
    FInputPin = std::make_unique<TSVPXAudioSinkPin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVBasicCommonSplitter::SinkDispatch));
}

TSVBasicCommonSplitter::~TSVBasicCommonSplitter() {
    FInputPin.reset();
    FOutputPins.Clear();
}

TPXDispatchHandler TSVBasicCommonSplitter::SourceDispatchHandler() {
    return PXDispatchTo(this, &TSVBasicCommonSplitter::SourceDispatch);
}

bool TSVBasicCommonSplitter::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                                          const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    if (const auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
        AudioStreamStart(&start->GetWaveFormat());
    } else if (OperationAs<TPXStopOperation>(AOperation)) {
        Stop();
    } else if (OperationAs<TPXQXResumeOperation>(AOperation)) {
        Resume();
    } else if (const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
        TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateUniversal(supplied->GetData());
        Process(buffer);
    }
    return false;
}

bool TSVBasicCommonSplitter::SourceDispatch(TPXPin* AReceiving, TPXPin* AOther,
                                            const TGUID& AStreamId,
                                            const TRef<IPXNotifyOperation>& AOperation,
                                            uint32_t AState) {
    if (OperationAs<TPXQueryStreamOperation>(AOperation)) {
        bool beyondStream;
        {
            TChangeNotifyLockGuard guard(*GetLock());
            beyondStream = FOutputPins.IndexOf(AReceiving) >= FWaveFormat.Format.nChannels;
        }
        if (beyondStream) {
            AReceiving->Notify(TPXIgnoreStreamOperation::Create(), AState);
            return false;
        }
    }
    if (FInputPin->IsConnected())
        return FInputPin->Notify(AOperation, AState);
    return SinkDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
}

void TSVBasicCommonSplitter::AudioStreamStart(const TSVWaveFormatExtensible* AFormat) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!AFormat)
        return;
    FWaveFormat = *AFormat;
    OperationDispatch(TPXStartSampleRateOperation::Create(FWaveFormat.Format.nSamplesPerSec));
}

void TSVBasicCommonSplitter::Stop() {
    OperationDispatch(TPXStopOperation::Create());
}

void TSVBasicCommonSplitter::Resume() {
    OperationDispatch(TPXQXResumeOperation::Create());
}

void TSVBasicCommonSplitter::OperationDispatch(const TRef<IPXNotifyOperation>& AOperation) {
    TChangeNotifyLockGuard guard(*GetLock());
    FOutputPins.Notify(AOperation);
}

void TSVBasicCommonSplitter::Process(TRef<ISVAudioBuffer>& ABuffer) {
    TChangeNotifyLockGuard guard(*GetLock());
    TStripOperation strip = nullptr;
    switch (FWaveFormat.Format.wBitsPerSample) {
    case 8:
        strip = &TSVBasicCommonSplitter::Strip8Bits;
        break;
    case 16:
        strip = &TSVBasicCommonSplitter::Strip16Bits;
        break;
    case 24:
        strip = &TSVBasicCommonSplitter::Strip24Bits;
        break;
    case 32:
        strip = &TSVBasicCommonSplitter::Strip32Bits;
        break;
    default:
        return;
    }
    const auto channels =
        std::min<int32_t>(FWaveFormat.Format.nChannels, static_cast<int32_t>(FOutputPins.Count()));
    for (int32_t channel = 0; channel < channels; ++channel)
        if (HasChannelEvent(channel) || FOutputPins.Items(channel)->IsConnected())
            (this->*strip)(channel, ABuffer);
}

bool TSVBasicCommonSplitter::HasChannelEvent(int32_t) {
    return false;
}

bool TSVBasicCommonSplitter::GetNormalize() const {
    return false;
}

void TSVBasicCommonSplitter::Strip8Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, 8);
}

void TSVBasicCommonSplitter::Strip16Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, 16);
}

void TSVBasicCommonSplitter::Strip24Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, 24);
}

void TSVBasicCommonSplitter::Strip32Bits(int32_t AChannel, TRef<ISVAudioBuffer>& ABuffer) {
    StripChannel(AChannel, ABuffer, 32);
}

void TSVBasicCommonSplitter::StripChannel(int32_t AChannel, const TRef<ISVAudioBuffer>& ABuffer,
                                          int32_t ABits) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!ABuffer || AChannel < 0)
        return;
    const uint32_t step = FWaveFormat.Format.nBlockAlign;
    const uint64_t column =
        uint64_t{FWaveFormat.Format.wBitsPerSample / 8u} * static_cast<uint32_t>(AChannel);
    if (column + static_cast<uint32_t>(ABits) / 8 > step)
        return;
    const uint32_t frames = ABuffer->GetByteSize() / step;
    const TRef<TQXRealBuffer> values = TQXRealBuffer::CreateSizeObject(frames);
    // Full scales are powers of two, so multiplying by their inverse is exact.
    const double scale = GetNormalize() ? 1.0 / FullScale(ABits) : 1.0;
    SVStripChannel(static_cast<const uint8_t*>(ABuffer->Read()), static_cast<uint32_t>(column),
                   step, ABits, values->Write(), frames, scale);
    SplitBuffer(AChannel, values);
}

void TSVBasicCommonSplitter::SplitBuffer(int32_t, const TRef<IQXRealBuffer>&) {}

// --- TSVCommonSplitter -----------------------------------------------------------------------

const TPropertyTableBase& TSVCommonSplitter::ClassPropertyTable() {
    using T = TSVCommonSplitter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVCommonSplitter", TLockComponent::ClassPropertyTable())
            .Integer("CountChannels", KDefaultChannels, &T::GetCountChannels, &T::SetCountChannels)
            .CountsPins(ppOutputs);
    return table;
}

int32_t TSVCommonSplitter::GetCountChannels() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return static_cast<int32_t>(GetOutputPins()->Count());
}

void TSVCommonSplitter::SetCountChannels(int32_t ACount) {
    const auto count = static_cast<uint32_t>(std::clamp(ACount, KMinChannels, KMaxChannels));
    TPXPinList& pins = *GetOutputPins();
    // Declared before the guard, so destroyed after it: surplus pins go outside the lock.
    // Reserved, so that keeping a pin for later never fails.
    std::vector<std::unique_ptr<TPXPin>> surplus;
    surplus.reserve(KMaxChannels);
    TChangeNotifyLockGuard guard(*GetLock());
    const uint32_t before = pins.Count();
    if (count == before)
        return;
    const TPropertyChange change(this, "CountChannels");
    while (pins.Count() > count)
        surplus.push_back(pins.Extract(pins.Count() - 1));
    try {
        while (pins.Count() < count)
            CreateSourcePin(pins.PinListAddSetter())->AddDependency(GetInputPin());
    } catch (...) {
        while (pins.Count() > before)
            surplus.push_back(pins.Extract(pins.Count() - 1));
        throw;
    }
    change.Done();
    NotifyProp();
}

void TSVCommonSplitter::AfterConstruction() {
    SetCountChannels(KDefaultChannels);
}

} // namespace sonvera
