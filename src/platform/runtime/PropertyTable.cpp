#include "sonvera/platform/runtime/PropertyTable.h"

#include <cmath>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

// The alternative of TPropertyValue that each kind uses.
size_t AlternativeOf(TPropertyKind AKind) {
    switch (AKind) {
    case pkInteger:
        return 1;
    case pkCardinal:
    case pkSet:
        return 2;
    case pkBoolean:
        return 3;
    case pkString:
        return 4;
    case pkInt64:
    case pkEnumeration:
        return 5;
    case pkDouble:
        return 6;
    case pkObject:
        return 0;
    }
    throw EArgumentError("Unknown property kind " + std::to_string(static_cast<int>(AKind)));
}

bool BothNaN(const TPropertyValue& A, const TPropertyValue& B) {
    const double* a = std::get_if<double>(&A);
    const double* b = std::get_if<double>(&B);
    return a && b && std::isnan(*a) && std::isnan(*b);
}

} // namespace

bool SamePropertyValue(const TPropertyValue& A, const TPropertyValue& B) {
    return A == B || BothNaN(A, B);
}

TPropertyInfo::TPropertyInfo(std::string AName, TPropertyKind AKind, TPropertyValue ADefault,
                             const TEnumTypeInfo* AEnumType)
    : FName(std::move(AName)), FKind(AKind), FDefault(std::move(ADefault)), FEnumType(AEnumType) {
    if (FName.empty())
        throw EArgumentError("A published property needs a name");
    const bool needsEnumType = FKind == pkEnumeration || FKind == pkSet;
    if (needsEnumType != (FEnumType != nullptr))
        throw EArgumentError("Property " + FName +
                             (needsEnumType ? " needs its enumeration's type information"
                                            : " takes no enumeration type information"));
    CheckValue(FDefault);
}

TPropertyInfo TPropertyInfo::Value(std::string AName, TPropertyKind AKind, TPropertyValue ADefault,
                                   const TEnumTypeInfo* AEnumType, TGetter AGetter,
                                   TSetter ASetter) {
    if (AKind == pkObject)
        throw EArgumentError("Property " + AName + ": an object property has no value");
    if (!AGetter || !ASetter)
        throw EArgumentError("Property " + AName + " needs a getter and a setter");
    TPropertyInfo info(std::move(AName), AKind, std::move(ADefault), AEnumType);
    info.FGetter = std::move(AGetter);
    info.FSetter = std::move(ASetter);
    return info;
}

TPropertyInfo TPropertyInfo::Object(std::string AName, TObjectGetter AGetter) {
    if (!AGetter)
        throw EArgumentError("Property " + AName + " needs a getter");
    TPropertyInfo info(std::move(AName), pkObject, std::monostate(), nullptr);
    info.FObjectGetter = std::move(AGetter);
    return info;
}

void TPropertyInfo::CheckValue(const TPropertyValue& AValue) const {
    if (AValue.index() != AlternativeOf(FKind))
        throw EArgumentError("Property " + FName + " was given a value of another kind");
    if (FKind == pkEnumeration && !FEnumType->HasValue(std::get<int64_t>(AValue)))
        throw ERangeError("Property " + FName + ": " + std::to_string(std::get<int64_t>(AValue)) +
                          " is not a value of " + FEnumType->TypeName());
    if (FKind == pkSet)
        FEnumType->SetToText(std::get<uint32_t>(AValue)); // refuses bits that name no member
}

TPropertyValue TPropertyInfo::GetValue(const TPersistent& AObject) const {
    if (FKind == pkObject)
        throw EArgumentError("Property " + FName + " is an object");
    return FGetter(AObject);
}

void TPropertyInfo::SetValue(TPersistent& AObject, const TPropertyValue& AValue) const {
    if (FKind == pkObject)
        throw EArgumentError("Property " + FName + " is an object");
    CheckValue(AValue);
    FSetter(AObject, AValue);
}

bool TPropertyInfo::IsDefault(const TPersistent& AObject) const {
    return SamePropertyValue(GetValue(AObject), FDefault);
}

TPersistent* TPropertyInfo::GetObject(const TPersistent& AObject) const {
    if (FKind != pkObject)
        throw EArgumentError("Property " + FName + " is not an object");
    return FObjectGetter(AObject);
}

TPropertyTableBase::TPropertyTableBase(std::string AClassName, const TPropertyTableBase* AParent,
                                       TInstanceTest AIsInstance)
    : FClassName(std::move(AClassName)), FIsInstance(AIsInstance) {
    if (AParent)
        FProperties = AParent->FProperties;
}

const TPropertyInfo* TPropertyTableBase::Find(std::string_view AName) const noexcept {
    for (const TPropertyInfo& property : FProperties)
        if (property.Name() == AName)
            return &property;
    return nullptr;
}

void TPropertyTableBase::CheckInRange(std::string_view AName, double AValue) const {
    const TPropertyInfo* property = Find(AName);
    Assert(property && property->Range(), "PropertyTable", "A ranged setting states its range");
    const TPropertyRange range = *property->Range();
    if (!(AValue >= range.Min && AValue <= range.Max))
        throw EArgumentError(FormatMessage("%s out of range = %g (%g to %g)",
                                           property->Name().c_str(), AValue, range.Min, range.Max));
}

TPropertyInfo& TPropertyTableBase::LastProperty() {
    if (FProperties.empty())
        throw EArgumentError("Table " + FClassName + " has no property to describe");
    return FProperties.back();
}

void TPropertyTableBase::AddProperty(TPropertyInfo AInfo) {
    if (Find(AInfo.Name()))
        throw EArgumentError("Class " + FClassName + " publishes " + AInfo.Name() + " twice");
    FProperties.push_back(std::move(AInfo));
}

} // namespace sonvera
