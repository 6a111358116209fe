#include "sonvera/devices/SVPulseAudioOut.h"

#include "sonvera/components/Categories.h"
#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

TSVPulseAudioOut::TSVPulseAudioOut(TPersistent* AOwner) : TSVPulseComponent(AOwner, "Playback") {}

TSVPulseAudioOut::~TSVPulseAudioOut() {
    // Nothing may arrive while the stream closes and the members go.
    GetInputPin()->DisconnectAll();
    TChangeNotifyLockGuard guard(*GetLock());
    FStream.reset();
}

const TClassInfo& TSVPulseAudioOut::ClassInfo() {
    static const TClassInfo info{
        .ClassName = "TSVPulseAudioOut",
        .Category = &TSonveraOutputToolbarCategory::ClassInfo(),
        .ShortName = "audio-out",
        .Description = "Plays audio on a sink of the sound server, on the device's clock"};
    return info;
}

const TPropertyTableBase& TSVPulseAudioOut::ClassPropertyTable() {
    using T = TSVPulseAudioOut;
    static const TPropertyTable<T> table = WithSettings(
        TPropertyTable<T>("TSVPulseAudioOut", TSVBasicAudioOut::ClassPropertyTable()), "Playback");
    return table;
}

double TSVPulseAudioOut::GetGrantedLatency() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FStream ? FStream->GetGrantedLatency() : FGrantedLatency;
}

double TSVPulseAudioOut::GetMeasuredLatency() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FStream ? FStream->GetMeasuredLatency() : FMeasuredLatency;
}

std::string TSVPulseAudioOut::GetDeviceName() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FStream ? FStream->GetDeviceName() : FDeviceName;
}

std::string TSVPulseAudioOut::GetError() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FError;
}

bool TSVPulseAudioOut::SinkDispatch(TPXPin*, TPXPin*, const TGUID&,
                                    const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    bool running = true;
    if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation)) {
        running = PlayBuffer(IntfCast<ISVAudioBuffer>(supplied->GetData()));
    } else if (auto* start = OperationAs<TPXStartWaveOperation>(AOperation)) {
        running = OpenStream(start->GetWaveFormat());
    } else if (OperationAs<TPXStopOperation>(AOperation)) {
        // An end-stop is a stop as well: only a stream that reached its end is played out.
        TChangeNotifyLockGuard guard(*GetLock());
        CloseStream(OperationAs<TPXEndStopOperation>(AOperation) != nullptr);
    }
    if (!running)
        GetInputPin()->Notify(TPXStopOperation::Create()); // upstream, outside the lock
    return false;
}

bool TSVPulseAudioOut::OpenStream(const TSVWaveFormatExtensible& AFormat) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!GetEnabled())
        return true;
    if (FStream) {
        // A repeated announcement changes nothing; a new format needs a new stream.
        if (SVIsEqualAudioFormat(*GetAudioFormat(), AFormat))
            return true;
        CloseStream(false);
    }
    FError.clear();
    FUnderruns = 0;
    FGrantedLatency = FMeasuredLatency = 0;
    try {
        FStream =
            std::make_unique<TSVPulseStream>(TSVPulseStream::sdPlayback, FSettings, AFormat,
                                             [this](uint64_t ACount) { TellUnderrun(ACount); });
        SetAudioFormat(&AFormat);
        return true;
    } catch (const std::exception& error) {
        Fail(error.what());
        return false;
    }
}

bool TSVPulseAudioOut::PlayBuffer(const TRef<ISVAudioBuffer>& ABuffer) {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!FStream)
        return FError.empty();
    try {
        const TSVWaveFormatExtensible& format = *GetAudioFormat();
        if (ABuffer->GetSampleBitWidth() != format.Format.wBitsPerSample ||
            ABuffer->GetChannels() != format.Format.nChannels)
            throw EArgumentError(FStream->GetDeviceName() +
                                 ": a buffer does not match the stream's format");
        FStream->Write(static_cast<const uint8_t*>(ABuffer->Read()),
                       size_t{ABuffer->GetSize()} * static_cast<size_t>(ABuffer->GetDataStep()));
        return true;
    } catch (const std::exception& error) {
        Fail(error.what());
        return false;
    }
}

void TSVPulseAudioOut::CloseStream(bool APlayOut) {
    if (!FStream)
        return;
    try {
        if (APlayOut)
            FStream->Drain();
    } catch (const std::exception& error) {
        Fail(error.what());
        return;
    }
    KeepFigures();
    FStream.reset();
    ClearAudioFormat();
}

void TSVPulseAudioOut::Fail(const std::string& AError) {
    if (FError.empty())
        FError = AError;
    KeepFigures();
    FStream.reset();
    ClearAudioFormat();
}

void TSVPulseAudioOut::KeepFigures() {
    if (!FStream)
        return;
    FDeviceName = FStream->GetDeviceName();
    FGrantedLatency = FStream->GetGrantedLatency();
    FMeasuredLatency = FStream->GetMeasuredLatency();
}

void TSVPulseAudioOut::TellUnderrun(uint64_t ACount) {
    FUnderruns = ACount;
    PostCount(OnUnderrun, ACount);
}

} // namespace sonvera
