// Change notification: the lock that serializes every property read and change of an owner and
// its sub-objects and reports changes to that owner, and the process-wide listeners that are
// told when any published property begins and finishes changing.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/runtime/Threading.h"

namespace sonvera {

class TPersistent;

class IChangeNotifyLock : public virtual IInterface {
public:
    // Recursive: a setter may run inside a caller that already holds the lock.
    virtual void Enter() = 0;
    virtual void Leave() = 0;
    virtual bool TryEnter() = 0;
    // Reports to the lock's owner that a property of ASender changed; called inside the lock.
    virtual void NotifyChange(TPersistent* ASender) = 0;
};

class TChangeNotifyLock : public TInterfacedObject, public virtual IChangeNotifyLock {
public:
    using TChangeHandler = std::function<void(TPersistent* ASender)>;

    explicit TChangeNotifyLock(TChangeHandler AOnChange = nullptr)
        : FOnChange(std::move(AOnChange)) {}
    static TRef<TChangeNotifyLock> CreateObject(TChangeHandler AOnChange = nullptr) {
        return MakeRef<TChangeNotifyLock>(std::move(AOnChange));
    }
    static TRef<IChangeNotifyLock> Create(TChangeHandler AOnChange = nullptr) {
        return CreateObject(std::move(AOnChange));
    }

    void Enter() override { FSection.Enter(); }
    void Leave() override { FSection.Leave(); }
    bool TryEnter() override { return FSection.TryEnter(); }
    // Runs the owner's handler, if there is one.
    void NotifyChange(TPersistent* ASender) override;
    // Replaces the owner's handler; null detaches the owner.
    void SetOnChange(TChangeHandler AOnChange);

private:
    TCriticalSection FSection;
    TChangeHandler FOnChange;
};

class TChangeNotifyLockGuard {
public:
    explicit TChangeNotifyLockGuard(IChangeNotifyLock& ALock) : FLock(ALock) { FLock.Enter(); }
    ~TChangeNotifyLockGuard() { FLock.Leave(); }
    TChangeNotifyLockGuard(const TChangeNotifyLockGuard&) = delete;
    TChangeNotifyLockGuard& operator=(const TChangeNotifyLockGuard&) = delete;

private:
    IChangeNotifyLock& FLock;
};

// Told inside the changing object's lock, before the new value is stored and after it is stored
// (and derived state recalculated). Only real changes are told. Listeners must not throw, and
// must not take another object's lock that might be held while waiting for this one.
class IPropertyChangeListener : public virtual IInterface {
public:
    virtual void PropertyChanging(TPersistent* AObject, std::string_view AProperty) noexcept = 0;
    virtual void PropertyChanged(TPersistent* AObject, std::string_view AProperty) noexcept = 0;
};

// Registering a listener twice keeps one registration; unregistering an unknown one does
// nothing. A change that is under way keeps telling the listeners it started with.
void RegisterPropertyChangeListener(const TRef<IPropertyChangeListener>& AListener);
void UnregisterPropertyChangeListener(const TRef<IPropertyChangeListener>& AListener);

// One property change as the listeners see it: the constructor tells them it begins, Done that
// it is done; both go to the listeners registered when the change began.
class TPropertyChange {
public:
    TPropertyChange(TPersistent* AObject, std::string_view AProperty);
    TPropertyChange(const TPropertyChange&) = delete;
    TPropertyChange& operator=(const TPropertyChange&) = delete;
    void Done() const;

private:
    using TListeners = std::vector<TRef<IPropertyChangeListener>>;

    TPersistent* FObject;
    std::string_view FProperty;
    std::shared_ptr<const TListeners> FListeners;
};

} // namespace sonvera
