// Lockable persistent objects and components. A TLockPersistent reads and changes every
// property inside its owner's change-notification lock; a change that really changes a value
// is told to the property-change listeners (begins, done) and then reported to the owner. A
// TLockComponent owns such a lock - the component lock - and shares it with its sub-objects.
#pragma once

#include <cmath>
#include <concepts>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "sonvera/platform/runtime/ChangeNotify.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/Persistent.h"

namespace sonvera {

using TPersistentNotify = std::function<void(TPersistent* ASender)>;

// The setters' "nothing to recalculate".
struct TNoAction {
    void operator()() const noexcept {}
};

class TLockPersistent : public TPersistent {
public:
    // AOnChange: the owner's change callback. AOwner: the object this one belongs to, or null.
    // ALock: the owner's change-notification lock; null gives the object a lock of its own.
    // AContext: an interface the owner hands to its sub-objects; the runtime only keeps it.
    TLockPersistent(TPersistentNotify AOnChange, TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                    TRef<IInterface> AContext = nullptr);

    TPersistent* GetOwner() const noexcept { return FOwner; }
    const TRef<IChangeNotifyLock>& GetLock() const noexcept { return FLock; }
    const TRef<IInterface>& GetContext() const noexcept { return FContext; }

    // The whole state is set inside the lock, so no reader sees half of it.
    void ApplyPublishedState(const TPublishedState& AState) override;

protected:
    // Reports a real change: to the lock's owner first, then to the owner's callback.
    virtual void NotifyProp();

    template <class TField> TField GetPropValue(const TField& AField) const {
        TChangeNotifyLockGuard guard(*FLock);
        return AField;
    }

    // The plain setter. When AValue differs from AField, inside the lock: the listeners are
    // told the change begins, the field is assigned, AAfterAssign runs (to recalculate derived
    // state), the listeners are told it is done and the owner is notified. Returns whether the
    // value changed; an equal value does nothing at all.
    template <class TField, class TAfter = TNoAction>
    bool SetPropValue(std::string_view AName, TField& AField,
                      const std::type_identity_t<TField>& AValue, TAfter&& AAfterAssign = {}) {
        TChangeNotifyLockGuard guard(*FLock);
        if (SameFieldValue(AField, AValue))
            return false;
        const TPropertyChange change(this, AName);
        AField = AValue;
        AAfterAssign();
        change.Done();
        NotifyProp();
        return true;
    }

    // The ranged setter: EArgumentError "NAME out of range = V (MIN to MAX)" unless AValue lies
    // in the range the class's property table states for AName (Within; NaN lies outside every
    // range), else set as by SetPropValue. The range is written once, in the table, which
    // listings read too.
    template <class TField>
    requires std::is_arithmetic_v<TField>
    bool SetRangedPropValue(std::string_view AName, TField& AField,
                            std::type_identity_t<TField> AValue) {
        GetPropertyTable().CheckInRange(AName, static_cast<double>(AValue));
        return SetPropValue(AName, AField, AValue);
    }

    // The bounded setter: AValue is clamped into [AMin, AMax] (a NaN becomes AMin), then set
    // as by SetPropValue. Bounds that are reversed or that the field cannot hold are refused
    // with EArgumentError.
    template <class TField, class TValue, class TAfter = TNoAction>
    requires std::is_arithmetic_v<TField> && std::is_arithmetic_v<TValue> &&
        (std::is_floating_point_v<TField> ||
         std::is_integral_v<TValue>)bool SetBoundedPropValue(std::string_view AName, TField& AField,
                                                             TValue AValue, TValue AMin,
                                                             TValue AMax,
                                                             TAfter&& AAfterAssign = {}) {
        if (!(AMin <= AMax) || !FieldHolds<TField>(AMin) || !FieldHolds<TField>(AMax))
            throw EArgumentError("Bounds of property " + std::string(AName) + " are unusable");
        TValue clamped = AValue;
        if (!(clamped >= AMin)) // also catches NaN
            clamped = AMin;
        else if (clamped > AMax)
            clamped = AMax;
        return SetPropValue(AName, AField, static_cast<TField>(clamped),
                            std::forward<TAfter>(AAfterAssign));
    }

private:
    template <class T> static bool SameFieldValue(const T& A, const T& B) {
        if constexpr (std::is_floating_point_v<T>)
            return A == B || (std::isnan(A) && std::isnan(B));
        else
            return A == B;
    }

    template <class TField, class TValue> static bool FieldHolds(TValue AValue) {
        if constexpr (std::is_integral_v<TField> && std::is_integral_v<TValue>)
            return std::in_range<TField>(AValue);
        else
            return true;
    }

    TPersistentNotify FOnChange;
    TPersistent* FOwner;
    TRef<IChangeNotifyLock> FLock;
    TRef<IInterface> FContext;
};

// A component: the owner of a change-notification lock (the component lock) that its
// sub-objects share, so that a change anywhere in the component reaches Changed.
class TLockComponent : public TLockPersistent {
public:
    explicit TLockComponent(TPersistent* AOwner = nullptr);
    ~TLockComponent() override;

    // Why the component's last stream failed, in one line that names the cause; empty while
    // nothing failed. Chain runners ask every component after a run.
    virtual std::string GetError() const { return {}; }

protected:
    // Called inside the component lock after a property of the component, or of a sub-object
    // that shares its lock, really changed.
    virtual void Changed(TPersistent* ASender);

private:
    TLockComponent(TPersistent* AOwner, TRef<TChangeNotifyLock> ALock);

    TRef<TChangeNotifyLock> FComponentLock;
};

} // namespace sonvera
