// The class registry: classes registered by name so that a reader can create an object from
// the class name it finds, and the registry of collection item classes that collections offer
// and create by name. Both are process-wide and thread-safe.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

using TClassFactory = std::function<TRef<IInterface>()>;
// Collection items are lockable persistents created inside their collection's owner.
using TCollectionItemFactory = std::function<std::unique_ptr<TLockPersistent>(
    const TPersistentNotify& AOnChange, TPersistent* AOwner, const TRef<IChangeNotifyLock>& ALock)>;

// A class as a registry knows it: its name, its C++ type (which tells a second registration of
// the same class from two classes that claim one name) and how to create an instance.
template <class TFactory> struct TRegisteredClassOf {
    std::string Name;
    std::type_index Type;
    TFactory Factory;
};
using TRegisteredClass = TRegisteredClassOf<TClassFactory>;
using TCollectionItemClass = TRegisteredClassOf<TCollectionItemFactory>;

// Registrations are counted: a class registered by two units stays registered until both
// have unregistered it.
class TClassManagement {
public:
    template <class T> static TRegisteredClass ClassOf(std::string AName, TClassFactory AFactory) {
        return {std::move(AName), typeid(T), std::move(AFactory)};
    }
    template <class T>
    requires std::is_default_constructible_v<T>
    static TRegisteredClass ClassOf(std::string AName) {
        return ClassOf<T>(std::move(AName), [] { return TRef<IInterface>(MakeRef<T>()); });
    }

    // All or nothing: an empty name, a missing factory or a name that another class holds is
    // refused with EArgumentError and registers none of AClasses.
    static void RegisterClasses(const std::vector<TRegisteredClass>& AClasses);
    // Classes that are not registered (under that name and type) are passed over.
    static void UnregisterClasses(const std::vector<TRegisteredClass>& AClasses);
    static bool IsClassRegistered(const std::string& AName);
    // EArgumentError for a name that is not registered.
    static TRef<IInterface> CreateObject(const std::string& AName);
    // The object as interface I (EIntfCastError when the class does not implement it).
    template <class I> static TRef<I> Create(const std::string& AName) {
        return IntfCast<I>(CreateObject(AName));
    }

    template <class T> static TCollectionItemClass CollectionItemClassOf(std::string AName) {
        return {std::move(AName), typeid(T),
                [](const TPersistentNotify& AOnChange, TPersistent* AOwner,
                   const TRef<IChangeNotifyLock>& ALock) -> std::unique_ptr<TLockPersistent> {
                    return std::make_unique<T>(AOnChange, AOwner, ALock);
                }};
    }
    static void RegisterCollectionItemClasses(const std::vector<TCollectionItemClass>& AClasses);
    static void UnregisterCollectionItemClasses(const std::vector<TCollectionItemClass>& AClasses);
    // In registration order, for collections that offer their item classes.
    static std::vector<std::string> CollectionItemClassNames();
    static std::unique_ptr<TLockPersistent>
    CreateCollectionItem(const std::string& AName, const TPersistentNotify& AOnChange,
                         TPersistent* AOwner, const TRef<IChangeNotifyLock>& ALock);
};

} // namespace sonvera
