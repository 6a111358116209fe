// A serialization medium in memory for the buffer tests: named entries in a map, groups as
// path prefixes. The test edits the map to feed readers damaged or missing entries.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "sonvera/platform/runtime/Serialization.h"

namespace sonvera::test {

using TEntryValue = std::variant<int32_t, int64_t, bool, std::string, std::vector<uint8_t>>;
using TEntries = std::map<std::string, TEntryValue>;

class TMemoryWriter : public TInterfacedObject, public virtual IWriter {
public:
    TRef<IWriter> WriteInteger(const std::string& AName, int32_t AValue) override {
        return Put(AName, AValue);
    }
    TRef<IWriter> WriteInt64(const std::string& AName, int64_t AValue) override {
        return Put(AName, AValue);
    }
    TRef<IWriter> WriteBoolean(const std::string& AName, bool AValue) override {
        return Put(AName, AValue);
    }
    TRef<IWriter> WriteString(const std::string& AName, const std::string& AValue) override {
        return Put(AName, AValue);
    }
    TRef<IWriter> WriteBinary(const std::string& AName, const void* AData,
                              uint64_t ASize) override {
        const auto* bytes = static_cast<const uint8_t*>(AData);
        return Put(AName, std::vector<uint8_t>(bytes, bytes + ASize));
    }
    void BeginGroup(const std::string& AName) override { FGroups.push_back(Path(AName) + "/"); }
    void EndGroup() override { FGroups.pop_back(); }

    TEntries FEntries;

private:
    std::string Path(const std::string& AName) const {
        return (FGroups.empty() ? std::string() : FGroups.back()) + AName;
    }
    TRef<IWriter> Put(const std::string& AName, TEntryValue AValue) {
        FEntries[Path(AName)] = std::move(AValue);
        return TRef<IWriter>(this);
    }

    std::vector<std::string> FGroups;
};

class TMemoryReader : public TInterfacedObject, public virtual IReader {
public:
    explicit TMemoryReader(TEntries AEntries) : FEntries(std::move(AEntries)) {}

    bool ReadInteger(const std::string& AName, int32_t& AValue) override {
        return Get(AName, AValue);
    }
    bool ReadInt64(const std::string& AName, int64_t& AValue) override {
        return Get(AName, AValue);
    }
    bool ReadBoolean(const std::string& AName, bool& AValue) override { return Get(AName, AValue); }
    bool ReadString(const std::string& AName, std::string& AValue) override {
        return Get(AName, AValue);
    }
    bool ReadBinary(const std::string& AName, std::vector<uint8_t>& AValue) override {
        return Get(AName, AValue);
    }
    bool BeginGroup(const std::string& AName) override {
        const std::string prefix = Path(AName) + "/";
        const auto next = FEntries.lower_bound(prefix);
        if (next == FEntries.end() || next->first.compare(0, prefix.size(), prefix) != 0)
            return false;
        FGroups.push_back(prefix);
        return true;
    }
    void EndGroup() override { FGroups.pop_back(); }

private:
    std::string Path(const std::string& AName) const {
        return (FGroups.empty() ? std::string() : FGroups.back()) + AName;
    }
    template <class T> bool Get(const std::string& AName, T& AValue) const {
        const auto entry = FEntries.find(Path(AName));
        if (entry == FEntries.end() || !std::holds_alternative<T>(entry->second))
            return false;
        AValue = std::get<T>(entry->second);
        return true;
    }

    TEntries FEntries;
    std::vector<std::string> FGroups;
};

} // namespace sonvera::test
