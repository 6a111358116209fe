#include "sonvera/chain/SVPropertyText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>

#include "sonvera/format/SVSpeakers.h"
#include "sonvera/platform/runtime/ClassAttributes.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

// Sub-objects nest a few levels at most; a longer dotted name is a typing error.
constexpr int KMaxDepth = 8;

const TPropertyInfo* FindFolded(const TPropertyTableBase& ATable, const std::string& AName) {
    const std::string wanted = FoldedName(AName);
    for (const TPropertyInfo& property : ATable.Properties())
        if (FoldedName(property.Name()) == wanted)
            return &property;
    return nullptr;
}

// A number and the unit written after it, in lower case ("" when there is none).
struct TTypedNumber {
    double Value = 0;
    std::string Unit;
};

TTypedNumber SplitNumber(const std::string& AText, const char* AExpected) {
    TTypedNumber number;
    const char* begin = AText.data();
    const char* end = begin + AText.size();
    if (begin != end && *begin == '+')
        ++begin; // from_chars takes no plus sign
    const auto [stop, error] = std::from_chars(begin, end, number.Value);
    if (error != std::errc() || !std::isfinite(number.Value))
        throw EArgumentError(std::string("'") + AText + "' is not " + AExpected);
    for (const char* c = stop; c != end; ++c)
        number.Unit.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*c))));
    return number;
}

// Scales by the unit typed; AInfo's unit says what a decibel or a time means for it.
double ApplyUnit(const TPropertyInfo& AInfo, const std::string& AText, TTypedNumber ANumber) {
    const std::string& unit = ANumber.Unit;
    double value = ANumber.Value;
    if (unit.empty() || unit == "hz")
        return value;
    if (unit == "k" || unit == "khz")
        return value * 1e3;
    if (unit == "m" || unit == "mhz")
        return value * 1e6;
    if (unit == "db")
        return AInfo.Unit() == puFactor ? std::pow(10.0, value / 20) : value;
    if (unit == "%" && AInfo.Unit() == puFactor)
        return value / 100;
    if (unit == "ms")
        return AInfo.Unit() == puSeconds ? value / 1e3 : value;
    if (unit == "s")
        return AInfo.Unit() == puMilliseconds ? value * 1e3 : value;
    throw EArgumentError("unknown unit '" + ANumber.Unit + "' in '" + AText + "'");
}

double ParseReal(const TPropertyInfo& AInfo, const std::string& AText) {
    return ApplyUnit(AInfo, AText, SplitNumber(AText, "a number"));
}

// A whole number within [AMin, AMax]: digits read exactly, anything with a unit or a fraction
// through the real reading and then checked to be whole.
int64_t ParseWhole(const TPropertyInfo& AInfo, const std::string& AText, int64_t AMin,
                   int64_t AMax) {
    int64_t whole = 0;
    const char* end = AText.data() + AText.size();
    const auto [stop, error] = std::from_chars(AText.data(), end, whole);
    if (error == std::errc() && stop == end) {
        if (whole < AMin || whole > AMax)
            throw EArgumentError("'" + AText + "' is out of range (" + std::to_string(AMin) +
                                 " to " + std::to_string(AMax) + ")");
        return whole;
    }
    const double value = ApplyUnit(AInfo, AText, SplitNumber(AText, "a whole number"));
    if (value != std::floor(value) || value < static_cast<double>(AMin) ||
        value > static_cast<double>(AMax))
        throw EArgumentError("'" + AText + "' is not a whole number from " + std::to_string(AMin) +
                             " to " + std::to_string(AMax));
    return static_cast<int64_t>(value);
}

bool ParseBoolean(const std::string& AText) {
    const std::string folded = FoldedName(AText);
    for (const char* yes : {"true", "yes", "on", "1"})
        if (folded == yes)
            return true;
    for (const char* no : {"false", "no", "off", "0"})
        if (folded == no)
            return false;
    throw EArgumentError("'" + AText + "' is not true or false");
}

// A member by its name, without regard to case, with or without its lower-case prefix
// ("spFrontLeft", "frontleft").
std::optional<int64_t> FindMember(const TEnumTypeInfo& AType, const std::string& AName) {
    const std::string wanted = FoldedName(AName);
    for (const TEnumTypeInfo::TMember& member : AType.Members()) {
        const std::string folded = FoldedName(member.Name);
        size_t prefix = 0;
        while (prefix < member.Name.size() &&
               std::islower(static_cast<unsigned char>(member.Name[prefix])))
            ++prefix;
        if (folded == wanted || (prefix < member.Name.size() && folded.substr(prefix) == wanted))
            return member.Value;
    }
    return std::nullopt;
}

std::string MemberList(const TEnumTypeInfo& AType) {
    std::string list;
    for (const std::string& name : AType.Names())
        list += (list.empty() ? "" : ", ") + name;
    return list;
}

int64_t ParseEnumeration(const TPropertyInfo& AInfo, const std::string& AText) {
    if (const std::optional<int64_t> value = FindMember(*AInfo.EnumType(), AText))
        return *value;
    throw EArgumentError("'" + AText + "' is not one of " + MemberList(*AInfo.EnumType()));
}

std::optional<TSVSpeakers> NamedLayout(const std::string& AText) {
    const std::string folded = FoldedName(AText);
    if (folded == "mono")
        return KSVSpeakersMono;
    if (folded == "stereo")
        return KSVSpeakersStereo;
    if (folded == "5.1")
        return KSVSpeakers5Point1;
    if (folded == "7.1")
        return KSVSpeakers7Point1;
    return std::nullopt;
}

uint32_t ParseSet(const TPropertyInfo& AInfo, const std::string& AText) {
    if (AInfo.EnumType() == &EnumTypeInfo<TSVSpeaker>())
        if (const std::optional<TSVSpeakers> layout = NamedLayout(AText))
            return layout->Mask();
    std::string list = AText;
    if (list.size() >= 2 && list.front() == '[' && list.back() == ']')
        list = list.substr(1, list.size() - 2);
    uint32_t mask = 0;
    std::stringstream members(list);
    for (std::string name; std::getline(members, name, ',');) {
        if (name.empty() && list.empty())
            break;
        const std::optional<int64_t> value = FindMember(*AInfo.EnumType(), name);
        if (!value || *value < 0 || *value > 31)
            throw EArgumentError("'" + name + "' is not one of " + MemberList(*AInfo.EnumType()));
        mask |= uint32_t{1} << *value;
    }
    return mask;
}

std::string RealText(double AValue) {
    char text[32];
    const auto [end, error] = std::to_chars(text, text + sizeof text, AValue);
    return error == std::errc() ? std::string(text, end) : "?";
}

} // namespace

TSVPropertyPath SVFindProperty(TPersistent& AObject, const std::string& AName) {
    TPersistent* object = &AObject;
    std::string published;
    size_t from = 0;
    for (int depth = 0; depth < KMaxDepth; ++depth) {
        const size_t dot = AName.find('.', from);
        const std::string part = AName.substr(from, dot == std::string::npos ? dot : dot - from);
        const TPropertyInfo* info = FindFolded(object->GetPropertyTable(), part);
        if (!info)
            return {};
        published += (published.empty() ? "" : ".") + info->Name();
        if (dot == std::string::npos)
            return info->Kind() == pkObject ? TSVPropertyPath{}
                                            : TSVPropertyPath{object, info, published};
        if (info->Kind() != pkObject || !(object = info->GetObject(*object)))
            return {};
        from = dot + 1;
    }
    return {};
}

TPropertyValue SVParsePropertyValue(const TPropertyInfo& AInfo, const std::string& AText) {
    switch (AInfo.Kind()) {
    case pkInteger:
        return static_cast<int32_t>(ParseWhole(AInfo, AText, std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max()));
    case pkCardinal:
        return static_cast<uint32_t>(
            ParseWhole(AInfo, AText, 0, std::numeric_limits<uint32_t>::max()));
    case pkInt64:
        return ParseWhole(AInfo, AText, std::numeric_limits<int64_t>::min(),
                          std::numeric_limits<int64_t>::max());
    case pkBoolean:
        return ParseBoolean(AText);
    case pkString:
        return AText;
    case pkDouble:
        return ParseReal(AInfo, AText);
    case pkEnumeration:
        return ParseEnumeration(AInfo, AText);
    case pkSet:
        return ParseSet(AInfo, AText);
    case pkObject:
        break;
    }
    throw EArgumentError("a group of properties takes no value");
}

std::string SVPropertyValueText(const TPropertyInfo& AInfo, const TPropertyValue& AValue) {
    switch (AInfo.Kind()) {
    case pkInteger:
        return std::to_string(std::get<int32_t>(AValue));
    case pkCardinal:
        return std::to_string(std::get<uint32_t>(AValue));
    case pkInt64:
        return std::to_string(std::get<int64_t>(AValue));
    case pkBoolean:
        return std::get<bool>(AValue) ? "true" : "false";
    case pkString:
        return std::get<std::string>(AValue);
    case pkDouble:
        return RealText(std::get<double>(AValue));
    case pkEnumeration:
        return AInfo.EnumType()->NameOf(std::get<int64_t>(AValue));
    case pkSet:
        return AInfo.EnumType()->SetToText(std::get<uint32_t>(AValue));
    case pkObject:
        break;
    }
    return {};
}

std::string SVPropertyKindName(TPropertyKind AKind) {
    static const char* const names[] = {"integer", "cardinal",    "boolean", "string", "int64",
                                        "double",  "enumeration", "set",     "object"};
    return names[AKind];
}

} // namespace sonvera
