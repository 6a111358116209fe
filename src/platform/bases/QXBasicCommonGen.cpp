#include "sonvera/platform/bases/QXBasicCommonGen.h"

#include <algorithm>
#include <set>
#include <vector>

#include "sonvera/platform/runtime/MainThread.h"

namespace sonvera {

TQXBasicCommonGen::TQXBasicCommonGen(TPersistent* AOwner)
    : TLockComponent(AOwner),
      FClockInputPin(std::make_unique<TPXClockSinkPin>(
          this, nullptr, GetLock(), PXDispatchTo(this, &TQXBasicCommonGen::DispatchOperation))) {}

TQXBasicCommonGen::~TQXBasicCommonGen() {
    FRunning = false;
    TakePumpClock().reset();
}

void TQXBasicCommonGen::Start() {
    TChangeNotifyLockGuard guard(*GetLock());
    if (FRunning)
        return;
    FRunning = true;
    FPaused = false;
    FPump = true;
    FExternalClock = false;
    FStopPosted = false;
    try {
        IntStartStream();
        StartPump();
    } catch (...) {
        FRunning = false;
        FPump = false;
        throw;
    }
}

bool TQXBasicCommonGen::OnPumpClockThread() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FPumpClock && FPumpClock->IsClockThread();
}

void TQXBasicCommonGen::Stop() {
    IntStopping();
    if (OnPumpClockThread()) {
        PostStop();
        return;
    }
    if (!FRunning.exchange(false))
        return;
    FPaused = false;
    FPump = false;
    TakePumpClock().reset(); // joins: no tick runs after this
    NotifyOutputPins(IntStopStream());
}

TRef<IPXNotifyOperation> TQXBasicCommonGen::IntStopStream() {
    return TPXStopOperation::Create();
}

void TQXBasicCommonGen::Pause() {
    if (!FRunning || FPaused.exchange(true))
        return;
    NotifyOutputPins(TPXPauseOperation::Create());
}

void TQXBasicCommonGen::Resume() {
    if (!FRunning || !FPaused.exchange(false))
        return;
    NotifyOutputPins(TPXQXResumeOperation::Create());
}

TQXClockGen* TQXBasicCommonGen::GetPumpClock() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FPumpClock.get();
}

void TQXBasicCommonGen::SetTimeSource(std::shared_ptr<IQXTimeSource> ATimeSource) {
    TChangeNotifyLockGuard guard(*GetLock());
    FTimeSource = std::move(ATimeSource);
}

std::shared_ptr<IQXTimeSource> TQXBasicCommonGen::GetTimeSource() const {
    TChangeNotifyLockGuard guard(*GetLock());
    return FTimeSource;
}

double TQXBasicCommonGen::GetRate() const {
    return GetPropValue(FRate);
}

void TQXBasicCommonGen::SetRate(double ARate) {
    TChangeNotifyLockGuard guard(*GetLock());
    FRate = ARate;
}

void TQXBasicCommonGen::SetPumpClock(std::unique_ptr<TQXClockGen> AClock) {
    TChangeNotifyLockGuard guard(*GetLock());
    FPumpClock = std::move(AClock);
}

std::unique_ptr<TQXClockGen> TQXBasicCommonGen::TakePumpClock() {
    TChangeNotifyLockGuard guard(*GetLock());
    return std::move(FPumpClock);
}

void TQXBasicCommonGen::ReleasePumpClock() {
    if (!OnPumpClockThread()) {
        TakePumpClock().reset();
        return;
    }
    std::weak_ptr<int> alive = FAlive;
    TMainThread::Post([this, alive] {
        if (!alive.expired())
            ReleasePumpClock();
    });
}

void TQXBasicCommonGen::PostStop() {
    FStopPosted = true;
    std::weak_ptr<int> alive = FAlive;
    TMainThread::Post([this, alive] {
        if (!alive.expired())
            Stop();
    });
}

bool TQXBasicCommonGen::DispatchOperation(TPXPin*, TPXPin*, const TGUID&,
                                          const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
    if (OperationAs<TPXMasterPumpOperation>(AOperation)) {
        // A consumer paces the stream from now on.
        FExternalClock = true;
        ReleasePumpClock();
        return false;
    }
    if (OperationAs<TPXPumpRequestOperation>(AOperation)) {
        if (!IsGenerating())
            return false;
        IntPump();
        return true;
    }
    if (OperationAs<TPXStopOperation>(AOperation)) {
        PostStop();
        return false;
    }
    if (OperationAs<TPXQueryStreamOperation>(AOperation))
        return FRunning.load();
    return false;
}

bool TQXBasicCommonGen::AnnounceStream(const TRef<IPXNotifyOperation>& AStart) {
    FAnnouncedDuration = GetStreamDuration();
    return NotifyOutputPins(AStart);
}

int64_t TQXBasicCommonGen::UpstreamDuration(const TPXPin& AInput) {
    std::vector<const TPXPin*> pending{&AInput};
    std::set<const TPXPin*> seen;
    int64_t longest = 0;
    while (!pending.empty()) {
        const TPXPin* pin = pending.back();
        pending.pop_back();
        if (!seen.insert(pin).second)
            continue;
        for (const TPXPin* upstream : pin->GetConnectedPins()) {
            if (const auto* generator = dynamic_cast<const TQXBasicCommonGen*>(upstream->GetOwner())) {
                const int64_t duration = generator->FAnnouncedDuration.load();
                if (duration <= 0)
                    return 0;
                longest = std::max(longest, duration);
            } else {
                for (const TPXPin* feeding : upstream->GetDependencies())
                    pending.push_back(feeding);
            }
        }
    }
    return longest;
}

} // namespace sonvera
