#include "sonvera/components/SVStreamSource.h"

namespace sonvera {

TSVStreamSource::TSVStreamSource(TPersistent* AOwner) : TQXBasicCommonGen(AOwner) {
    FOutputPin = std::make_unique<TSVPXAudioSourcePin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVStreamSource::DispatchOperation));
    FOutputPin->AddDependency(GetClockInputPin());
}

TSVStreamSource::~TSVStreamSource() {
    FOutputPin.reset(); // the subclass has stopped the stream: a stop reads through it
}

const TPropertyTableBase& TSVStreamSource::ClassPropertyTable() {
    using T = TSVStreamSource;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVStreamSource", TLockComponent::ClassPropertyTable())
            .Boolean("Realtime", false, &T::GetRealtime, &T::SetRealtime)
            .About("deliver buffers as their time comes instead of as fast as the chain takes "
                   "them");
    return table;
}

void TSVStreamSource::Open() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!FReady)
        Prepare();
}

TSVWaveFormatExtensible TSVStreamSource::GetWaveFormat() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FFormat;
}

std::string TSVStreamSource::GetError() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FError;
}

void TSVStreamSource::Prepare() {
    Close();
    FFormat = OpenStream();
    FReady = true;
}

void TSVStreamSource::Close() {
    CloseStream();
    FReady = false;
}

bool TSVStreamSource::NotifyOutputPins(const TRef<IPXNotifyOperation>& AOperation) {
    return FOutputPin->Notify(AOperation);
}

void TSVStreamSource::IntStartStream() {
    if (!FReady)
        Prepare();
    FReady = false; // the next start opens the stream from its beginning again
    FEnded = false;
    FReachedEnd = false;
    FError.clear();
    FStreamClock.Restart(FFormat.Format.nSamplesPerSec);
    FPosition = 0;
    FFormatChanges = 0;
    SetRate(FFormat.Format.nSamplesPerSec);
    AnnounceStream(TPXStartWaveOperation::Create(FFormat, false));
}

void TSVStreamSource::StartPump() {
    if (!GetPump() || IsExternalClock() || GetPumpClock())
        return;
    const bool realtime = GetRealtime();
    FClockSource = GetTimeSource();
    FFreeRunning.reset();
    if (!FClockSource && realtime) {
        FClockSource = std::make_shared<TQXSteadyTimeSource>();
    } else if (!FClockSource) {
        FFreeRunning = std::make_shared<TQXFreeRunningTimeSource>();
        FClockSource = FFreeRunning;
    }
    FClockStart = FClockSource->Now();
    SetPumpClock(std::make_unique<TQXClockGen>(
        this, realtime ? KRealtimeInterval : 1, [this] { IntPump(); }, FClockSource));
}

void TSVStreamSource::IntPump() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (!IsGenerating() || FEnded)
        return;
    try {
        if (GetRealtime() && !IsExternalClock() && FClockSource) {
            const int64_t due = FClockSource->Now() - FClockStart;
            while (!FEnded && FPosition.load() <= due && SendNext()) {
            }
        } else {
            SendNext();
        }
    } catch (const std::exception& error) {
        EndStream(error.what());
    }
}

bool TSVStreamSource::SendNext() {
    const TRef<ISVAudioBuffer> buffer = ReadBuffer();
    if (!buffer) {
        FReachedEnd = true;
        EndStream("");
        return false;
    }
    if (buffer->GetSize() == 0)
        return false;
    const TSVWaveFormatExtensible format = buffer->GetWaveFormat();
    if (!SVIsSameStreamFormat(format, FFormat))
        FollowFormat(format);
    FStreamClock.Stamp(*buffer);
    FPosition = FStreamClock.GetPosition();
    FOutputPin->SubmitBuffer(buffer);
    return true;
}

void TSVStreamSource::FollowFormat(const TSVWaveFormatExtensible& AFormat) {
    FFormat = AFormat;
    // Stamps go on from the end of the last buffer, on the new rate's clock.
    FStreamClock.Restart(FFormat.Format.nSamplesPerSec, FStreamClock.GetPosition());
    SetRate(FFormat.Format.nSamplesPerSec);
    ++FFormatChanges;
    AnnounceStream(TPXStartWaveOperation::Create(FFormat, false));
}

void TSVStreamSource::EndStream(const std::string& AError) {
    FEnded = true;
    FError = AError;
    if (FFreeRunning)
        FFreeRunning->Hold(); // no idle ticks until the stop has joined the clock
    PostStop();
}

TRef<IPXNotifyOperation> TSVStreamSource::IntStopStream() {
    TChangeNotifyLockGuard guard(*GetLock());
    Close();
    FClockSource.reset();
    FFreeRunning.reset();
    if (FReachedEnd && FError.empty())
        return TPXEndStopOperation::Create();
    return TPXStopOperation::Create();
}

} // namespace sonvera
