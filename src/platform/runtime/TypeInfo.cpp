#include "sonvera/platform/runtime/TypeInfo.h"

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr int64_t KSetBits = 32;

std::string Trimmed(const std::string& AText) {
    const char* blanks = " \t";
    const size_t first = AText.find_first_not_of(blanks);
    if (first == std::string::npos)
        return {};
    return AText.substr(first, AText.find_last_not_of(blanks) - first + 1);
}

} // namespace

TEnumTypeInfo::TEnumTypeInfo(std::string ATypeName, std::vector<TMember> AMembers)
    : FTypeName(std::move(ATypeName)), FMembers(std::move(AMembers)) {
    for (size_t i = 0; i < FMembers.size(); ++i) {
        if (FMembers[i].Name.empty())
            throw EArgumentError("Empty member name in enumeration " + FTypeName);
        for (size_t j = 0; j < i; ++j) {
            if (FMembers[j].Name == FMembers[i].Name)
                throw EArgumentError("Duplicate member " + FMembers[i].Name + " in enumeration " +
                                     FTypeName);
            if (FMembers[j].Value == FMembers[i].Value)
                throw EArgumentError("Members " + FMembers[j].Name + " and " + FMembers[i].Name +
                                     " of enumeration " + FTypeName + " share a value");
        }
    }
}

std::vector<std::string> TEnumTypeInfo::Names() const {
    std::vector<std::string> names;
    names.reserve(FMembers.size());
    for (const TMember& member : FMembers)
        names.push_back(member.Name);
    return names;
}

const TEnumTypeInfo::TMember* TEnumTypeInfo::FindByName(const std::string& AName) const noexcept {
    for (const TMember& member : FMembers)
        if (member.Name == AName)
            return &member;
    return nullptr;
}

const TEnumTypeInfo::TMember* TEnumTypeInfo::FindByValue(int64_t AValue) const noexcept {
    for (const TMember& member : FMembers)
        if (member.Value == AValue)
            return &member;
    return nullptr;
}

std::optional<int64_t> TEnumTypeInfo::FindValue(const std::string& AName) const {
    if (const TMember* member = FindByName(AName))
        return member->Value;
    return std::nullopt;
}

int64_t TEnumTypeInfo::ValueOf(const std::string& AName) const {
    if (const TMember* member = FindByName(AName))
        return member->Value;
    throw EArgumentError("\"" + AName + "\" is not a member of " + FTypeName);
}

const std::string& TEnumTypeInfo::NameOf(int64_t AValue) const {
    if (const TMember* member = FindByValue(AValue))
        return member->Name;
    throw ERangeError(std::to_string(AValue) + " is not a value of " + FTypeName);
}

bool TEnumTypeInfo::HasValue(int64_t AValue) const noexcept {
    return FindByValue(AValue) != nullptr;
}

uint32_t TEnumTypeInfo::SetBitOf(const TMember& AMember) const {
    if (AMember.Value < 0 || AMember.Value >= KSetBits)
        throw ERangeError("Member " + AMember.Name + " of " + FTypeName +
                          " has no place in a 32-bit set");
    return uint32_t{1} << AMember.Value;
}

std::string TEnumTypeInfo::SetToText(uint32_t AMask) const {
    std::string text = "[";
    uint32_t named = 0;
    for (const TMember& member : FMembers) {
        if (member.Value < 0 || member.Value >= KSetBits || (AMask & SetBitOf(member)) == 0)
            continue;
        if (named != 0)
            text += ',';
        text += member.Name;
        named |= SetBitOf(member);
    }
    if (named != AMask)
        throw ERangeError("Set of " + FTypeName +
                          " holds bits that name no member: " + std::to_string(AMask & ~named));
    return text + "]";
}

uint32_t TEnumTypeInfo::TextToSet(const std::string& AText) const {
    const std::string text = Trimmed(AText);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']')
        throw EArgumentError("Malformed set of " + FTypeName + ": " + AText);
    const std::string body = text.substr(1, text.size() - 2);
    uint32_t mask = 0;
    if (Trimmed(body).empty())
        return mask;
    size_t start = 0;
    while (start <= body.size()) {
        size_t comma = body.find(',', start);
        if (comma == std::string::npos)
            comma = body.size();
        const std::string name = Trimmed(body.substr(start, comma - start));
        const TMember* member = FindByName(name);
        if (!member)
            throw EArgumentError("\"" + name + "\" is not a member of " + FTypeName);
        const uint32_t bit = SetBitOf(*member);
        if (mask & bit)
            throw EArgumentError("Member " + name + " repeated in a set of " + FTypeName);
        mask |= bit;
        start = comma + 1;
    }
    return mask;
}

} // namespace sonvera
