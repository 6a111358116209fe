// Named-value serialization over JSON. A document is one JSON object: each named entry is a
// member (32- and 64-bit integers as JSON integers, Booleans, strings), a group is a nested
// object, and a binary blob is an object with the single member "$base64" holding the bytes
// in padded base64. Entry names are unique within their group, and "$base64" is reserved.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sonvera/platform/runtime/Serialization.h"

namespace sonvera {

class TJsonWriter : public TInterfacedObject, public virtual IWriter {
public:
    TJsonWriter();
    static TRef<TJsonWriter> CreateObject() { return MakeRef<TJsonWriter>(); }
    static TRef<IWriter> Create() { return CreateObject(); }

    // A name already written in the current group, the reserved name, or a name or string that
    // is not valid UTF-8, is refused with EArgumentError and writes nothing.
    TRef<IWriter> WriteInteger(const std::string& AName, int32_t AValue) override;
    TRef<IWriter> WriteInt64(const std::string& AName, int64_t AValue) override;
    TRef<IWriter> WriteBoolean(const std::string& AName, bool AValue) override;
    TRef<IWriter> WriteString(const std::string& AName, const std::string& AValue) override;
    TRef<IWriter> WriteBinary(const std::string& AName, const void* AData, uint64_t ASize) override;
    void BeginGroup(const std::string& AName) override;
    // EAssertionFailed when no group is open.
    void EndGroup() override;

    // The document; AIndent < 0 gives one line. EAssertionFailed while a group is open.
    std::string Text(int AIndent = -1) const;

protected:
    ~TJsonWriter() override;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

// Reads a document written by TJsonWriter (or any JSON object of the same shape).
// - A malformed document, or one whose top level is not an object, is refused with EReadError
//   when the reader is created.
// - A read reports whether the entry exists with the expected JSON type. An entry of another
//   type reads as absent: a string is not a number, an object is not a string.
// - An integer read of a JSON number that is not an integer of the requested width (a
//   fraction, or a value outside int32 for ReadInteger and outside int64 for ReadInt64) is
//   refused with EReadError: the entry is there, but its value is unusable.
// - A blob whose base64 is malformed or not canonical is refused with EReadError; its size
//   follows from the text's length and is known before anything is allocated.
// A refused read leaves its argument untouched.
class TJsonReader : public TInterfacedObject, public virtual IReader {
public:
    explicit TJsonReader(const std::string& AText);
    static TRef<TJsonReader> CreateObject(const std::string& AText) {
        return MakeRef<TJsonReader>(AText);
    }
    static TRef<IReader> Create(const std::string& AText) { return CreateObject(AText); }

    bool ReadInteger(const std::string& AName, int32_t& AValue) override;
    bool ReadInt64(const std::string& AName, int64_t& AValue) override;
    bool ReadBoolean(const std::string& AName, bool& AValue) override;
    bool ReadString(const std::string& AName, std::string& AValue) override;
    bool ReadBinary(const std::string& AName, std::vector<uint8_t>& AValue) override;
    bool BeginGroup(const std::string& AName) override;
    // EAssertionFailed when no group is open.
    void EndGroup() override;

protected:
    ~TJsonReader() override;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

} // namespace sonvera
