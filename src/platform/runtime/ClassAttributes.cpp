#include "sonvera/platform/runtime/ClassAttributes.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/Resources.h"

namespace sonvera {

namespace {

// Further than any real chain of parent images goes; a longer one is a loop.
constexpr int KMaxParentImages = 16;

struct TComponentSlot {
    TComponentClass Class;
    int64_t Count;
};

// Built on first use, since units register from static constructors, and never destroyed, since
// they unregister from static destructors at unload.
std::mutex& ComponentsLock() {
    static std::mutex& lock = *new std::mutex;
    return lock;
}

std::vector<TComponentSlot>& Components() { // registration order, under ComponentsLock()
    static std::vector<TComponentSlot>& components = *new std::vector<TComponentSlot>;
    return components;
}

TComponentSlot* FindComponent(const std::string& AClassName) {
    auto it = std::find_if(Components().begin(), Components().end(), [&](const TComponentSlot& A) {
        return A.Class.Class->ClassName == AClassName;
    });
    return it == Components().end() ? nullptr : &*it;
}

// Entry AIndex must be complete, and its name must not belong to another class record, in the
// palette or earlier in the list.
void CheckRegistrable(const std::vector<TComponentClass>& AClasses, size_t AIndex) {
    const TComponentClass& entry = AClasses[AIndex];
    if (!entry.Class || entry.Class->ClassName.empty() || !entry.Factory)
        throw EArgumentError("A component class needs a class record, a name and a factory");
    const TComponentSlot* slot = FindComponent(entry.Class->ClassName);
    bool clash = slot && slot->Class.Class != entry.Class;
    for (size_t i = 0; i < AIndex; ++i)
        clash = clash || (AClasses[i].Class->ClassName == entry.Class->ClassName &&
                          AClasses[i].Class != entry.Class);
    if (clash)
        throw EArgumentError("Class name \"" + entry.Class->ClassName +
                             "\" is taken by another class");
}

} // namespace

std::string ClassResourceName(const TClassInfo& AClass) {
    std::string name = AClass.ClassName;
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char AChar) { return static_cast<char>(std::toupper(AChar)); });
    return name;
}

std::span<const uint8_t> ClassImage(const TClassInfo& AClass) {
    TClassRef current = &AClass;
    for (int hop = 0; current && hop <= KMaxParentImages; ++hop) {
        const std::span<const uint8_t> image = FindResourceData(ClassResourceName(*current));
        if (!image.empty())
            return image;
        current = current->ParentImage;
    }
    return {};
}

std::string TClassCategory::GetName() const {
    const TClassInfo& info = GetOwnClassType();
    return info.Name.empty() ? info.ClassName : info.Name;
}

std::span<const uint8_t> TClassCategory::GetImage() const {
    return ClassImage(GetOwnClassType());
}

void RegisterComponents(const std::vector<TComponentClass>& AClasses) {
    std::lock_guard<std::mutex> guard(ComponentsLock());
    for (size_t i = 0; i < AClasses.size(); ++i)
        CheckRegistrable(AClasses, i);
    for (const TComponentClass& entry : AClasses) {
        if (TComponentSlot* slot = FindComponent(entry.Class->ClassName))
            ++slot->Count;
        else
            Components().push_back({entry, 1});
    }
}

void UnregisterComponents(const std::vector<TComponentClass>& AClasses) {
    std::lock_guard<std::mutex> guard(ComponentsLock());
    for (const TComponentClass& entry : AClasses) {
        if (!entry.Class)
            continue;
        // By the record's address: at unload the records may already be gone.
        auto slot =
            std::find_if(Components().begin(), Components().end(),
                         [&](const TComponentSlot& A) { return A.Class.Class == entry.Class; });
        if (slot != Components().end() && --slot->Count == 0)
            Components().erase(slot);
    }
}

std::vector<TClassRef> RegisteredComponents() {
    std::lock_guard<std::mutex> guard(ComponentsLock());
    std::vector<TClassRef> classes;
    for (const TComponentSlot& slot : Components())
        classes.push_back(slot.Class.Class);
    return classes;
}

std::unique_ptr<TPersistent> CreateComponent(const std::string& AClassName, TPersistent* AOwner) {
    TComponentFactory factory;
    {
        std::lock_guard<std::mutex> guard(ComponentsLock());
        const TComponentSlot* slot = FindComponent(AClassName);
        if (!slot)
            throw EArgumentError("Component class \"" + AClassName + "\" is not registered");
        factory = slot->Class.Factory; // a copy: the component is built outside the lock
    }
    return factory(AOwner);
}

std::string FoldedName(const std::string& AName) {
    std::string folded;
    folded.reserve(AName.size());
    for (const unsigned char c : AName)
        if (c != '-' && c != '_')
            folded.push_back(static_cast<char>(std::tolower(c)));
    return folded;
}

TClassRef FindComponentClass(const std::string& AName) {
    const std::string wanted = FoldedName(AName);
    std::lock_guard<std::mutex> guard(ComponentsLock());
    for (const TComponentSlot& slot : Components())
        if (!slot.Class.Class->ShortName.empty() &&
            FoldedName(slot.Class.Class->ShortName) == wanted)
            return slot.Class.Class;
    for (const TComponentSlot& slot : Components())
        if (FoldedName(slot.Class.Class->ClassName) == wanted)
            return slot.Class.Class;
    return nullptr;
}

} // namespace sonvera
