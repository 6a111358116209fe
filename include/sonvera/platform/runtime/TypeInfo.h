// Run-time information about enumerations: the names of their values in declaration order,
// and look-ups in both directions. A set over an enumeration is a 32-bit mask in which bit n
// stands for the member whose value is n; its text form lists the member names.
#pragma once

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace sonvera {

class TEnumTypeInfo {
public:
    struct TMember {
        std::string Name;
        int64_t Value;
    };

    // Members in declaration order. Empty, duplicate names and duplicate values are refused
    // with EArgumentError.
    TEnumTypeInfo(std::string ATypeName, std::vector<TMember> AMembers);

    const std::string& TypeName() const noexcept { return FTypeName; }
    const std::vector<TMember>& Members() const noexcept { return FMembers; }
    // The member names in declaration order.
    std::vector<std::string> Names() const;

    // EArgumentError for a name that is not a member.
    int64_t ValueOf(const std::string& AName) const;
    std::optional<int64_t> FindValue(const std::string& AName) const;
    // ERangeError for a value that no member has.
    const std::string& NameOf(int64_t AValue) const;
    bool HasValue(int64_t AValue) const noexcept;

    // "[spFrontLeft,spFrontRight]" in declaration order; "[]" for the empty set. A bit that no
    // member stands for is refused with ERangeError.
    std::string SetToText(uint32_t AMask) const;
    // The inverse of SetToText; member order in the text is free. Refuses malformed text and
    // unknown or repeated names with EArgumentError, a member beyond bit 31 with ERangeError.
    uint32_t TextToSet(const std::string& AText) const;

private:
    const TMember* FindByName(const std::string& AName) const noexcept;
    const TMember* FindByValue(int64_t AValue) const noexcept;
    uint32_t SetBitOf(const TMember& AMember) const;

    std::string FTypeName;
    std::vector<TMember> FMembers;
};

template <class E>
concept CEnumeration = std::is_enum_v<E>;

// The type information of an enumeration. The unit that declares the enumeration declares an
// explicit specialization next to it and defines it with a function-local static:
//     template <> const TEnumTypeInfo& EnumTypeInfo<TSVSpeaker>();
template <CEnumeration E> const TEnumTypeInfo& EnumTypeInfo();

template <CEnumeration E> const std::string& EnumName(E AValue) {
    return EnumTypeInfo<E>().NameOf(static_cast<int64_t>(AValue));
}

template <CEnumeration E> E EnumValue(const std::string& AName) {
    return static_cast<E>(EnumTypeInfo<E>().ValueOf(AName));
}

} // namespace sonvera
