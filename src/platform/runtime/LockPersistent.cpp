#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

namespace {

TRef<IChangeNotifyLock> OwnOrGiven(TRef<IChangeNotifyLock> ALock) {
    return ALock ? std::move(ALock) : TChangeNotifyLock::Create();
}

} // namespace

TLockPersistent::TLockPersistent(TPersistentNotify AOnChange, TPersistent* AOwner,
                                 TRef<IChangeNotifyLock> ALock, TRef<IInterface> AContext)
    : FOnChange(std::move(AOnChange)), FOwner(AOwner), FLock(OwnOrGiven(std::move(ALock))),
      FContext(std::move(AContext)) {}

void TLockPersistent::ApplyPublishedState(const TPublishedState& AState) {
    TChangeNotifyLockGuard guard(*FLock);
    TPersistent::ApplyPublishedState(AState);
}

void TLockPersistent::NotifyProp() {
    FLock->NotifyChange(this);
    if (FOnChange)
        FOnChange(this);
}

TLockComponent::TLockComponent(TPersistent* AOwner)
    : TLockComponent(AOwner, TChangeNotifyLock::CreateObject()) {}

TLockComponent::TLockComponent(TPersistent* AOwner, TRef<TChangeNotifyLock> ALock)
    : TLockPersistent(nullptr, AOwner, ALock), FComponentLock(std::move(ALock)) {
    FComponentLock->SetOnChange([this](TPersistent* ASender) { Changed(ASender); });
}

TLockComponent::~TLockComponent() {
    // Sub-objects may keep the lock longer than the component lives.
    FComponentLock->SetOnChange(nullptr);
}

void TLockComponent::Changed(TPersistent*) {}

} // namespace sonvera
