// Design-time metadata of classes, read by a visual designer and never by the library itself.
// A class that carries some has a class record, TClassInfo, which is also how other records
// refer to it (a class reference): its display name, the palette category it belongs to, the
// further categories it is listed under, and the class whose image stands in for its own.
// Palette categories derive from TClassCategory; components are put on the palette with
// RegisterComponents.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "sonvera/platform/runtime/Persistent.h"

namespace sonvera {

struct TClassInfo;
using TClassRef = const TClassInfo*;

struct TClassInfo {
    std::string ClassName{};
    // Where the class is published, as the designer groups packages: "Kerrow.Categories...".
    std::string Namespace{};
    // NameAttribute: the display name; empty when the class has none.
    std::string Name{};
    // CategoryAttribute: the category that a component or a sub-category belongs to.
    TClassRef Category = nullptr;
    // AlternateCategoryAttribute, in declaration order: further categories listing the class.
    std::vector<TClassRef> AlternateCategories{};
    // ParentImageAttribute: the class whose image is shown when this one has none of its own.
    TClassRef ParentImage = nullptr;
    // The name chain text and tools use for a component ("file-source", "gain"): lower case
    // words joined by dashes; empty for classes that are not components of chains.
    std::string ShortName{};
    // What the component does, in one line, for listings such as `sonvera inspect`.
    std::string Description{};
};

// The name under which a class's image is a resource of its module: the class name in upper
// case.
std::string ClassResourceName(const TClassInfo& AClass);
// The image of AClass: the resource of its own name, else the image of its ParentImage class,
// followed as far as it leads (a loop ends it); empty when there is none.
std::span<const uint8_t> ClassImage(const TClassInfo& AClass);

// The designer's base of palette categories. A category adds no behaviour: the class itself
// is the key, and its record carries the rest.
class TClassCategory {
public:
    virtual ~TClassCategory() = default;
    virtual const TClassInfo& GetOwnClassType() const = 0;
    // The display name, or the class name when there is none.
    virtual std::string GetName() const;
    // The PNG image of the category (ClassImage).
    virtual std::span<const uint8_t> GetImage() const;
};

// Declares a palette category class; its ClassInfo is defined with the category's attributes.
#define SONVERA_CLASS_CATEGORY(TClass)                                                             \
    class TClass final : public TClassCategory {                                                   \
    public:                                                                                        \
        static const TClassInfo& ClassInfo();                                                      \
        const TClassInfo& GetOwnClassType() const override { return ClassInfo(); }                 \
    }

// Components on the designer's palette: the class record and how to create one in an owner.
using TComponentFactory = std::function<std::unique_ptr<TPersistent>(TPersistent* AOwner)>;
struct TComponentClass {
    TClassRef Class = nullptr;
    TComponentFactory Factory;
};

template <class T> TComponentClass ComponentClassOf() {
    return {&T::ClassInfo(), [](TPersistent* AOwner) -> std::unique_ptr<TPersistent> {
                return std::make_unique<T>(AOwner);
            }};
}

// Registrations are counted, as in the class registry: a class registered twice stays until
// both registrations are undone. All or nothing: a missing class record or factory, or a class
// name that another class record holds, is refused with EArgumentError and registers none.
void RegisterComponents(const std::vector<TComponentClass>& AClasses);
// Classes that are not registered are passed over.
void UnregisterComponents(const std::vector<TComponentClass>& AClasses);
// In registration order.
std::vector<TClassRef> RegisteredComponents();
// A new component of the registered class AClassName; EArgumentError when none is registered.
std::unique_ptr<TPersistent> CreateComponent(const std::string& AClassName, TPersistent* AOwner);
// The registered class whose short name or class name is AName, compared without regard to case
// and with dashes and underscores ignored ("file-source", "FileSource", "TSVLAVFileSource");
// short names are looked at first. Null when none is registered.
TClassRef FindComponentClass(const std::string& AName);
// How AName and a name of a registered class compare: lower case, dashes and underscores left
// out; also used for property names typed by users.
std::string FoldedName(const std::string& AName);

} // namespace sonvera
