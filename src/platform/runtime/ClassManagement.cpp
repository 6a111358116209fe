#include "sonvera/platform/runtime/ClassManagement.h"

#include <algorithm>
#include <mutex>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

template <class TFactory> class TRegistry {
public:
    using TEntry = TRegisteredClassOf<TFactory>;

    void Register(const std::vector<TEntry>& AClasses) {
        std::lock_guard<std::mutex> guard(FMutex);
        for (size_t i = 0; i < AClasses.size(); ++i)
            CheckRegistrable(AClasses, i);
        for (const TEntry& entry : AClasses) {
            if (TSlot* slot = Find(entry.Name))
                ++slot->Count;
            else
                FSlots.push_back({entry, 1});
        }
    }

    void Unregister(const std::vector<TEntry>& AClasses) {
        std::lock_guard<std::mutex> guard(FMutex);
        for (const TEntry& entry : AClasses) {
            TSlot* slot = Find(entry.Name);
            if (slot && slot->Entry.Type == entry.Type && --slot->Count == 0)
                FSlots.erase(FSlots.begin() + (slot - FSlots.data()));
        }
    }

    bool Contains(const std::string& AName) {
        std::lock_guard<std::mutex> guard(FMutex);
        return Find(AName) != nullptr;
    }

    // A copy, so that the factory runs outside the registry's mutex.
    TFactory FactoryOf(const std::string& AName) {
        std::lock_guard<std::mutex> guard(FMutex);
        if (const TSlot* slot = Find(AName))
            return slot->Entry.Factory;
        throw EArgumentError("Class \"" + AName + "\" is not registered");
    }

    std::vector<std::string> Names() {
        std::lock_guard<std::mutex> guard(FMutex);
        std::vector<std::string> names;
        for (const TSlot& slot : FSlots)
            names.push_back(slot.Entry.Name);
        return names;
    }

private:
    struct TSlot {
        TEntry Entry;
        int64_t Count;
    };

    TSlot* Find(const std::string& AName) {
        auto it = std::find_if(FSlots.begin(), FSlots.end(),
                               [&](const TSlot& ASlot) { return ASlot.Entry.Name == AName; });
        return it == FSlots.end() ? nullptr : &*it;
    }

    // Checks entry AIndex against the registry and against the entries before it in the list.
    void CheckRegistrable(const std::vector<TEntry>& AClasses, size_t AIndex) {
        const TEntry& entry = AClasses[AIndex];
        if (entry.Name.empty() || !entry.Factory)
            throw EArgumentError("A registered class needs a name and a factory");
        const TSlot* slot = Find(entry.Name);
        bool clash = slot && slot->Entry.Type != entry.Type;
        for (size_t i = 0; i < AIndex; ++i)
            clash = clash || (AClasses[i].Name == entry.Name && AClasses[i].Type != entry.Type);
        if (clash)
            throw EArgumentError("Class name \"" + entry.Name + "\" is taken by another class");
    }

    std::mutex FMutex;
    std::vector<TSlot> FSlots; // registration order
};

// Registries are never destroyed: units unregister at unload, which may run after the
// destructors of statics made during start-up.
TRegistry<TClassFactory>& Classes() {
    static auto& registry = *new TRegistry<TClassFactory>();
    return registry;
}

TRegistry<TCollectionItemFactory>& CollectionItemClasses() {
    static auto& registry = *new TRegistry<TCollectionItemFactory>();
    return registry;
}

constexpr const char* KUnitName = "ClassManagement";

} // namespace

void TClassManagement::RegisterClasses(const std::vector<TRegisteredClass>& AClasses) {
    Classes().Register(AClasses);
}

void TClassManagement::UnregisterClasses(const std::vector<TRegisteredClass>& AClasses) {
    Classes().Unregister(AClasses);
}

bool TClassManagement::IsClassRegistered(const std::string& AName) {
    return Classes().Contains(AName);
}

TRef<IInterface> TClassManagement::CreateObject(const std::string& AName) {
    TRef<IInterface> object = Classes().FactoryOf(AName)();
    Assert(object != nullptr, KUnitName, "Class factory created nothing");
    return object;
}

void TClassManagement::RegisterCollectionItemClasses(
    const std::vector<TCollectionItemClass>& AClasses) {
    CollectionItemClasses().Register(AClasses);
}

void TClassManagement::UnregisterCollectionItemClasses(
    const std::vector<TCollectionItemClass>& AClasses) {
    CollectionItemClasses().Unregister(AClasses);
}

std::vector<std::string> TClassManagement::CollectionItemClassNames() {
    return CollectionItemClasses().Names();
}

std::unique_ptr<TLockPersistent>
TClassManagement::CreateCollectionItem(const std::string& AName, const TPersistentNotify& AOnChange,
                                       TPersistent* AOwner, const TRef<IChangeNotifyLock>& ALock) {
    std::unique_ptr<TLockPersistent> item =
        CollectionItemClasses().FactoryOf(AName)(AOnChange, AOwner, ALock);
    Assert(item != nullptr, KUnitName, "Class factory created nothing");
    return item;
}

} // namespace sonvera
