#include "sonvera/platform/runtime/ChangeNotify.h"

#include <algorithm>
#include <mutex>

namespace sonvera {

namespace {

using TListeners = std::vector<TRef<IPropertyChangeListener>>;

// The registry is copied on every registration, so that a change reads it without holding
// the registry's mutex while it talks to the listeners.
struct TListenerRegistry {
    std::mutex Mutex;
    std::shared_ptr<const TListeners> Listeners = std::make_shared<const TListeners>();
};

TListenerRegistry& Registry() {
    static TListenerRegistry registry;
    return registry;
}

} // namespace

void TChangeNotifyLock::NotifyChange(TPersistent* ASender) {
    TCriticalSectionGuard guard(FSection);
    if (FOnChange)
        FOnChange(ASender);
}

void TChangeNotifyLock::SetOnChange(TChangeHandler AOnChange) {
    TCriticalSectionGuard guard(FSection);
    FOnChange = std::move(AOnChange);
}

void RegisterPropertyChangeListener(const TRef<IPropertyChangeListener>& AListener) {
    if (!AListener)
        return;
    TListenerRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Mutex);
    const TListeners& current = *registry.Listeners;
    if (std::find(current.begin(), current.end(), AListener) != current.end())
        return;
    auto next = std::make_shared<TListeners>(current);
    next->push_back(AListener);
    registry.Listeners = std::move(next);
}

void UnregisterPropertyChangeListener(const TRef<IPropertyChangeListener>& AListener) {
    TListenerRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.Mutex);
    auto next = std::make_shared<TListeners>(*registry.Listeners);
    next->erase(std::remove(next->begin(), next->end(), AListener), next->end());
    registry.Listeners = std::move(next);
}

TPropertyChange::TPropertyChange(TPersistent* AObject, std::string_view AProperty)
    : FObject(AObject), FProperty(AProperty) {
    {
        TListenerRegistry& registry = Registry();
        std::lock_guard<std::mutex> guard(registry.Mutex);
        FListeners = registry.Listeners;
    }
    for (const auto& listener : *FListeners)
        listener->PropertyChanging(FObject, FProperty);
}

void TPropertyChange::Done() const {
    for (const auto& listener : *FListeners)
        listener->PropertyChanged(FObject, FProperty);
}

} // namespace sonvera
