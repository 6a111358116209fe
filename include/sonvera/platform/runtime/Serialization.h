// Named-value serialization: writers and readers of named entries and named groups.
// The medium behind them is free; TJsonWriter/TJsonReader (JsonSerialization.h) is ours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sonvera/platform/runtime/Interfaces.h"

namespace sonvera {

class IWriter : public virtual IInterface {
public:
    // Each named write returns the writer, so that writes chain.
    virtual TRef<IWriter> WriteInteger(const std::string& AName, int32_t AValue) = 0;
    virtual TRef<IWriter> WriteInt64(const std::string& AName, int64_t AValue) = 0;
    virtual TRef<IWriter> WriteBoolean(const std::string& AName, bool AValue) = 0;
    virtual TRef<IWriter> WriteString(const std::string& AName, const std::string& AValue) = 0;
    virtual TRef<IWriter> WriteBinary(const std::string& AName, const void* AData,
                                      uint64_t ASize) = 0;
    // Entries written between BeginGroup and EndGroup belong to the named group.
    virtual void BeginGroup(const std::string& AName) = 0;
    virtual void EndGroup() = 0;
};

class IReader : public virtual IInterface {
public:
    // Each read reports whether the entry exists (with the expected type); an absent entry
    // leaves AValue untouched.
    virtual bool ReadInteger(const std::string& AName, int32_t& AValue) = 0;
    virtual bool ReadInt64(const std::string& AName, int64_t& AValue) = 0;
    virtual bool ReadBoolean(const std::string& AName, bool& AValue) = 0;
    virtual bool ReadString(const std::string& AName, std::string& AValue) = 0;
    virtual bool ReadBinary(const std::string& AName, std::vector<uint8_t>& AValue) = 0;
    // Enters the named group when it exists; a successful BeginGroup is paired with EndGroup.
    virtual bool BeginGroup(const std::string& AName) = 0;
    virtual void EndGroup() = 0;
};

} // namespace sonvera
