// Published properties: per class, a table of entries (name, kind, declared default, getter,
// setter) built once in a function-local static. The table drives streaming (only values that
// differ from the default are written), Assign, defaults and the enumeration of sub-objects.
//
//     const TPropertyTableBase& TMyFormat::ClassPropertyTable() {
//         static const TPropertyTable<TMyFormat> table =
//             TPropertyTable<TMyFormat>("TMyFormat", TLockPersistent::ClassPropertyTable())
//                 .Cardinal("Channels", 2, &TMyFormat::GetChannels, &TMyFormat::SetChannels);
//         return table;
//     }
//     const TPropertyTableBase& TMyFormat::GetPropertyTable() const { return ClassPropertyTable();
//     }
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "sonvera/platform/runtime/TypeInfo.h"

namespace sonvera {

class TPersistent;

enum TPropertyKind : uint8_t {
    pkInteger,     // int32_t
    pkCardinal,    // uint32_t
    pkBoolean,     // bool
    pkString,      // std::string, UTF-8
    pkInt64,       // int64_t
    pkDouble,      // double
    pkEnumeration, // int64_t, the value of a member of the property's enumeration
    pkSet,         // uint32_t, a mask of members of the property's enumeration
    pkObject       // a sub-object owned by the object; no value of its own
};

// What a number typed for a property means when it carries a unit ("-6dB", "250ms"): decibels
// given to a factor become the factor, a time becomes the property's unit of time. A property
// without a unit takes the number as written, its unit dropped.
enum TPropertyUnit : uint8_t { puNone, puFactor, puSeconds, puMilliseconds };

// The pins whose number a property sets (a mixer's inputs, a splitter's outputs), so that a
// caller asking for a pin beyond them can name the property that adds more.
enum TPropertyPins : uint8_t { ppNone, ppInputs, ppOutputs };

// The closed range a number property's values lie in.
struct TPropertyRange {
    double Min;
    double Max;
};

// A property value; the alternative in use is the one its kind names above (std::monostate
// for pkObject).
using TPropertyValue =
    std::variant<std::monostate, int32_t, uint32_t, bool, std::string, int64_t, double>;

// Equality as the setters see it: exact, except that two NaNs are the same value.
bool SamePropertyValue(const TPropertyValue& A, const TPropertyValue& B);

class TPropertyInfo {
public:
    using TGetter = std::function<TPropertyValue(const TPersistent&)>;
    using TSetter = std::function<void(TPersistent&, const TPropertyValue&)>;
    using TObjectGetter = std::function<TPersistent*(const TPersistent&)>;

    // A value property. The default must hold the kind's alternative, and enumerations and sets
    // need their type information; anything else is refused with EArgumentError.
    static TPropertyInfo Value(std::string AName, TPropertyKind AKind, TPropertyValue ADefault,
                               const TEnumTypeInfo* AEnumType, TGetter AGetter, TSetter ASetter);
    static TPropertyInfo Object(std::string AName, TObjectGetter AGetter);

    const std::string& Name() const noexcept { return FName; }
    TPropertyKind Kind() const noexcept { return FKind; }
    const TEnumTypeInfo* EnumType() const noexcept { return FEnumType; }
    const TPropertyValue& Default() const noexcept { return FDefault; }
    TPropertyUnit Unit() const noexcept { return FUnit; }
    // One line for listings; empty when the class gives none.
    const std::string& Description() const noexcept { return FDescription; }
    void Describe(std::string ADescription, TPropertyUnit AUnit) {
        FDescription = std::move(ADescription);
        FUnit = AUnit;
    }
    TPropertyPins CountedPins() const noexcept { return FCountedPins; }
    void CountPins(TPropertyPins APins) noexcept { FCountedPins = APins; }
    // The values a number property accepts, where the class states them: listings show them,
    // and the setter that checks them reads them here, so they are written once.
    const std::optional<TPropertyRange>& Range() const noexcept { return FRange; }
    void Limit(TPropertyRange ARange) noexcept { FRange = ARange; }

    // Refuses a value of another kind with EArgumentError, an enumeration value or set bit that
    // names no member with ERangeError.
    void CheckValue(const TPropertyValue& AValue) const;
    // Value properties only (EArgumentError for objects).
    TPropertyValue GetValue(const TPersistent& AObject) const;
    // Checks the value first (CheckValue); a refused value leaves the object unchanged.
    void SetValue(TPersistent& AObject, const TPropertyValue& AValue) const;
    bool IsDefault(const TPersistent& AObject) const;
    // Object properties only (EArgumentError for values); may be null.
    TPersistent* GetObject(const TPersistent& AObject) const;

private:
    TPropertyInfo(std::string AName, TPropertyKind AKind, TPropertyValue ADefault,
                  const TEnumTypeInfo* AEnumType);

    std::string FName;
    TPropertyKind FKind;
    TPropertyValue FDefault;
    const TEnumTypeInfo* FEnumType = nullptr;
    TPropertyUnit FUnit = puNone;
    TPropertyPins FCountedPins = ppNone;
    std::optional<TPropertyRange> FRange;
    std::string FDescription;
    TGetter FGetter;
    TSetter FSetter;
    TObjectGetter FObjectGetter;
};

class TPropertyTableBase {
public:
    const std::string& ClassName() const noexcept { return FClassName; }
    // The parent's properties first, then the class's own, in declaration order.
    const std::vector<TPropertyInfo>& Properties() const noexcept { return FProperties; }
    const TPropertyInfo* Find(std::string_view AName) const noexcept;
    // Refuses AValue with EArgumentError "NAME out of range = V (MIN to MAX)" unless it lies in
    // the range the table states for AName (NaN lies outside every range): the one check of
    // every setter whose range is declared with Within.
    void CheckInRange(std::string_view AName, double AValue) const;
    // Whether AObject is an object of the table's class (or of a class derived from it).
    bool IsInstance(const TPersistent& AObject) const { return FIsInstance(AObject); }

protected:
    using TInstanceTest = bool (*)(const TPersistent&);

    TPropertyTableBase(std::string AClassName, const TPropertyTableBase* AParent,
                       TInstanceTest AIsInstance);
    // Refuses a name the table already has with EArgumentError.
    void AddProperty(TPropertyInfo AInfo);
    // The property added last: the one About describes.
    TPropertyInfo& LastProperty();

private:
    std::string FClassName;
    std::vector<TPropertyInfo> FProperties;
    TInstanceTest FIsInstance;
};

// Whether a getter's result converts to V without narrowing.
template <class G, class T, class V>
concept CPropertyGetter = std::invocable<const G&, const T&> &&
    requires(const G& AGetter, const T& AObject) {
    V{std::invoke(AGetter, AObject)};
};

template <class S, class T, class V>
concept CPropertySetter = std::invocable<const S&, T&, V>;

// The table of class T. Getters and setters are anything std::invoke accepts with a T:
// member function pointers or lambdas.
template <class T> class TPropertyTable : public TPropertyTableBase {
public:
    explicit TPropertyTable(std::string AClassName)
        : TPropertyTableBase(std::move(AClassName), nullptr, &IsInstanceOfT) {}
    TPropertyTable(std::string AClassName, const TPropertyTableBase& AParent)
        : TPropertyTableBase(std::move(AClassName), &AParent, &IsInstanceOfT) {}

    template <CPropertyGetter<T, int32_t> G, CPropertySetter<T, int32_t> S>
    TPropertyTable& Integer(std::string AName, int32_t ADefault, G AGetter, S ASetter) {
        return Add<int32_t>(std::move(AName), pkInteger, ADefault, nullptr, AGetter, ASetter);
    }
    template <CPropertyGetter<T, uint32_t> G, CPropertySetter<T, uint32_t> S>
    TPropertyTable& Cardinal(std::string AName, uint32_t ADefault, G AGetter, S ASetter) {
        return Add<uint32_t>(std::move(AName), pkCardinal, ADefault, nullptr, AGetter, ASetter);
    }
    template <CPropertyGetter<T, bool> G, CPropertySetter<T, bool> S>
    TPropertyTable& Boolean(std::string AName, bool ADefault, G AGetter, S ASetter) {
        return Add<bool>(std::move(AName), pkBoolean, ADefault, nullptr, AGetter, ASetter);
    }
    template <CPropertyGetter<T, std::string> G, CPropertySetter<T, std::string> S>
    TPropertyTable& String(std::string AName, std::string ADefault, G AGetter, S ASetter) {
        return Add<std::string>(std::move(AName), pkString, std::move(ADefault), nullptr, AGetter,
                                ASetter);
    }
    template <CPropertyGetter<T, int64_t> G, CPropertySetter<T, int64_t> S>
    TPropertyTable& Int64(std::string AName, int64_t ADefault, G AGetter, S ASetter) {
        return Add<int64_t>(std::move(AName), pkInt64, ADefault, nullptr, AGetter, ASetter);
    }
    template <CPropertyGetter<T, double> G, CPropertySetter<T, double> S>
    TPropertyTable& Double(std::string AName, double ADefault, G AGetter, S ASetter) {
        return Add<double>(std::move(AName), pkDouble, ADefault, nullptr, AGetter, ASetter);
    }
    // The enumeration's type information comes from EnumTypeInfo<E>().
    template <CEnumeration E, CPropertyGetter<T, E> G, CPropertySetter<T, E> S>
    TPropertyTable& Enumeration(std::string AName, E ADefault, G AGetter, S ASetter) {
        AddProperty(TPropertyInfo::Value(
            std::move(AName), pkEnumeration, static_cast<int64_t>(ADefault), &EnumTypeInfo<E>(),
            [AGetter](const TPersistent& AObject) -> TPropertyValue {
                return static_cast<int64_t>(std::invoke(AGetter, Self(AObject)));
            },
            [ASetter](TPersistent& AObject, const TPropertyValue& AValue) {
                std::invoke(ASetter, Self(AObject), static_cast<E>(std::get<int64_t>(AValue)));
            }));
        return *this;
    }
    // A set travels as its 32-bit mask; the getter and setter adapt the class's own set type.
    template <CPropertyGetter<T, uint32_t> G, CPropertySetter<T, uint32_t> S>
    TPropertyTable& Set(std::string AName, const TEnumTypeInfo& AMembers, uint32_t ADefault,
                        G AGetter, S ASetter) {
        return Add<uint32_t>(std::move(AName), pkSet, ADefault, &AMembers, AGetter, ASetter);
    }
    // Describes the property added last, in one line, and gives the unit its typed values are
    // read in.
    TPropertyTable& About(std::string ADescription, TPropertyUnit AUnit = puNone) {
        LastProperty().Describe(std::move(ADescription), AUnit);
        return *this;
    }
    // States the values the property added last accepts, AMin to AMax.
    TPropertyTable& Within(double AMin, double AMax) {
        LastProperty().Limit({AMin, AMax});
        return *this;
    }
    // Marks the property added last as the one that sets how many APins the object has.
    TPropertyTable& CountsPins(TPropertyPins APins) {
        LastProperty().CountPins(APins);
        return *this;
    }
    // A published sub-object: its getter returns a pointer convertible to TPersistent*.
    template <class G>
    requires std::is_convertible_v<std::invoke_result_t<const G&, const T&>, TPersistent*>
        TPropertyTable& Object(std::string AName, G AGetter) {
        AddProperty(TPropertyInfo::Object(std::move(AName), [AGetter](const TPersistent& AObject) {
            return static_cast<TPersistent*>(std::invoke(AGetter, Self(AObject)));
        }));
        return *this;
    }

private:
    // The table is only ever used with objects of T: its own class's objects, or a source
    // that IsInstance has accepted.
    static const T& Self(const TPersistent& AObject) { return static_cast<const T&>(AObject); }
    static T& Self(TPersistent& AObject) { return static_cast<T&>(AObject); }
    static bool IsInstanceOfT(const TPersistent& AObject) {
        if constexpr (std::is_same_v<T, TPersistent>)
            return true;
        else
            return dynamic_cast<const T*>(&AObject) != nullptr;
    }

    template <class V, class G, class S>
    TPropertyTable& Add(std::string AName, TPropertyKind AKind, V ADefault,
                        const TEnumTypeInfo* AEnumType, const G& AGetter, const S& ASetter) {
        AddProperty(TPropertyInfo::Value(
            std::move(AName), AKind, TPropertyValue(std::in_place_type<V>, std::move(ADefault)),
            AEnumType,
            [AGetter](const TPersistent& AObject) -> TPropertyValue {
                return TPropertyValue(std::in_place_type<V>, std::invoke(AGetter, Self(AObject)));
            },
            [ASetter](TPersistent& AObject, const TPropertyValue& AValue) {
                std::invoke(ASetter, Self(AObject), std::get<V>(AValue));
            }));
        return *this;
    }
};

} // namespace sonvera
