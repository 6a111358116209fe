#include "sonvera/components/SVCommonFilter.h"

#include "sonvera/streams/SVStreamTime.h"

namespace sonvera {

TSVCommonFilter::TSVCommonFilter(TPersistent* AOwner) : TQXBasicCommonFilter(AOwner) {
    FInputPin = std::make_unique<TSVPXAudioSinkPin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVCommonFilter::SinkDispatch));
    FOutputPin = std::make_unique<TSVPXAudioSourcePin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVCommonFilter::SourceDispatch));
    FOutputPin->AddDependency(FInputPin.get());
}

TSVCommonFilter::~TSVCommonFilter() {
    // Disconnect before the processing thread and the rest go, so that nothing arrives.
    FInputPin.reset();
    FOutputPin.reset();
}

bool TSVCommonFilter::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                                   const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    if (OperationAs<TPXSuppliedBufferOperation>(AOperation))
        return SuppliedBuffer(AOperation, AState);
    ProcessQueuedBuffers();
    if (auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
        AudioStreamStart(*start);
        return false;
    }
    if (OperationAs<TPXStopOperation>(AOperation)) {
        StreamStop(); // and on downstream below
    } else if (OperationAs<TPXPumpRequestOperation>(AOperation)) {
        PumpRequest(AOperation);
        return false;
    } else if (OperationAs<TPXStartPumpOperation>(AOperation)) {
        StartPump(AOperation);
        return false;
    }
    return FOutputPin->Notify(AOperation, AState);
}

bool TSVCommonFilter::SuppliedBuffer(const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    const auto* supplied = static_cast<TPXSuppliedBufferOperation*>(&AOperation->GetOperation());
    const TRef<ISVAudioBuffer> buffer = IntfCast<ISVAudioBuffer>(supplied->GetData());
    const TRef<IRVTimeStamp> stamp = buffer->GetTimeStamp();
    if (stamp->GetAvailable()) {
        FCurrentTime = stamp->GetEnd();
        return BufferOperation(AOperation, AState);
    }
    // Stamped on the stream's clock; the rate of the stream decides, not the buffer's header.
    const int64_t rate = FWaveFormat.Format.nSamplesPerSec;
    const int64_t begin = FCurrentTime.load();
    const int64_t end =
        begin + (rate > 0 ? int64_t{buffer->GetSize()} * KUnitsPerSecond / rate : 0);
    SVStampBuffer(*buffer, begin, end);
    FCurrentTime = end;
    return BufferOperation(TPXSuppliedBufferOperation::Create(supplied->GetData()), AState);
}

bool TSVCommonFilter::SourceDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                                     const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
    if (OperationAs<TPXMasterPumpOperation>(AOperation)) {
        MasterPump(AOperation);
        return false;
    }
    if (FInputPin->IsConnected())
        return FInputPin->Notify(AOperation, AState);
    if (OperationAs<TPXQueryStreamOperation>(AOperation))
        return FOutputPin->Notify(TPXIgnoreStreamOperation::Create(), AState);
    return SinkDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
}

void TSVCommonFilter::AudioStreamStart(TPXStartWaveOperation& AOperation) {
    TChangeNotifyLockGuard guard(*GetLock());
    // A start within a running stream changes its format, not its clock: unstamped buffers
    // after it go on from where the stream is.
    if (!GetStarted())
        FCurrentTime = 0;
    FWaveFormat = AOperation.GetWaveFormat();
    SetStarted(true);
    if (CanStart()) {
        FStartSent = true;
        SendStart(OutputStartOperation(AOperation));
    }
    StreamStart();
}

void TSVCommonFilter::SendStart(const TRef<IPXNotifyOperation>& AOperation) {
    FOutputPin->Notify(AOperation);
}

TRef<IPXNotifyOperation> TSVCommonFilter::OutputStartOperation(TPXStartWaveOperation& AOperation) {
    return TRef<IPXNotifyOperation>(&AOperation);
}

void TSVCommonFilter::StreamStop() {
    TQXBasicCommonFilter::StreamStop();
    FStartSent = false;
    FCurrentTime = 0;
}

void TSVCommonFilter::MasterPump(const TRef<IPXNotifyOperation>& AOperation) {
    FInputPin->Notify(AOperation);
}

void TSVCommonFilter::PumpRequest(const TRef<IPXNotifyOperation>& AOperation) {
    FOutputPin->Notify(AOperation);
}

void TSVCommonFilter::StartPump(const TRef<IPXNotifyOperation>& AOperation) {
    FOutputPin->Notify(AOperation);
}

bool TSVCommonFilter::CanStart() {
    return true;
}

bool TSVCommonFilter::NeedsOutput() {
    return true;
}

bool TSVCommonFilter::IntSingleOperation(const TRef<IPXNotifyOperation>& AOperation) {
    const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation);
    return supplied &&
           IntSingleBufferOperation(TSVAudioBuffer::CreateUniversal(supplied->GetData()));
}

bool TSVCommonFilter::IntBufferOperation(const TRef<IQXData>& AInBuffer,
                                         const TRef<IQXData>& AOutBuffer) {
    bool send = true;
    TRef<ISVAudioBuffer> out = IntfCast<ISVAudioBuffer>(AOutBuffer);
    if (GetEnabled())
        InternalOperation(IntfCast<ISVAudioBuffer>(AInBuffer), out,
                          FOutputPin->IsConnected() || !NeedsOutput(), send);
    return send && FOutputPin->SubmitBuffer(out);
}

void TSVCommonFilter::InternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                        TRef<ISVAudioBuffer>& AOutBuffer, bool AProcess,
                                        bool& ASend) {
    if (AProcess)
        FilterInternalOperation(AInBuffer, AOutBuffer, ASend);
}

void TSVCommonFilter::FilterInternalOperation(const TRef<ISVAudioBuffer>&, TRef<ISVAudioBuffer>&,
                                              bool&) {}

} // namespace sonvera
