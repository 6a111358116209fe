#include "sonvera/platform/runtime/JsonSerialization.h"

#include <limits>
#include <utility>

#include <nlohmann/json.hpp>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KUnitName = "JsonSerialization";
const std::string KBinaryMember = "$base64";
constexpr char KBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Sextet(char AChar) {
    if (AChar >= 'A' && AChar <= 'Z')
        return AChar - 'A';
    if (AChar >= 'a' && AChar <= 'z')
        return AChar - 'a' + 26;
    if (AChar >= '0' && AChar <= '9')
        return AChar - '0' + 52;
    if (AChar == '+')
        return 62;
    if (AChar == '/')
        return 63;
    return -1;
}

std::string EncodeBase64(const uint8_t* AData, uint64_t ASize) {
    std::string text;
    text.reserve(static_cast<size_t>((ASize + 2) / 3 * 4));
    for (uint64_t i = 0; i < ASize; i += 3) {
        const uint64_t left = ASize - i;
        const uint32_t bits = uint32_t{AData[i]} << 16 |
                              (left > 1 ? uint32_t{AData[i + 1]} << 8 : 0) |
                              (left > 2 ? uint32_t{AData[i + 2]} : 0);
        text += KBase64Alphabet[bits >> 18];
        text += KBase64Alphabet[(bits >> 12) & 63];
        text += left > 1 ? KBase64Alphabet[(bits >> 6) & 63] : '=';
        text += left > 2 ? KBase64Alphabet[bits & 63] : '=';
    }
    return text;
}

[[noreturn]] void RefuseBlob(const std::string& AName) {
    throw EReadError("Entry \"" + AName + "\" holds malformed base64");
}

size_t TrailingPadding(const std::string& AText) {
    size_t padding = 0;
    while (padding < AText.size() && AText[AText.size() - 1 - padding] == '=')
        ++padding;
    return padding;
}

// Decodes one group of four characters, of which the last APadding are '='. The bits that
// padding leaves over must be zero, so that every blob has exactly one text.
void DecodeQuad(const char* AQuad, size_t APadding, std::vector<uint8_t>& AData,
                const std::string& AName) {
    uint32_t bits = 0;
    for (size_t j = 0; j < 4; ++j) {
        const int sextet = j < 4 - APadding ? Sextet(AQuad[j]) : 0;
        if (sextet < 0)
            RefuseBlob(AName);
        bits = bits << 6 | static_cast<uint32_t>(sextet);
    }
    const uint32_t leftOver = APadding == 2 ? bits & 0xFFFF : APadding == 1 ? bits & 0xFF : 0;
    if (leftOver != 0)
        RefuseBlob(AName);
    AData.push_back(static_cast<uint8_t>(bits >> 16));
    if (APadding < 2)
        AData.push_back(static_cast<uint8_t>(bits >> 8));
    if (APadding < 1)
        AData.push_back(static_cast<uint8_t>(bits));
}

std::vector<uint8_t> DecodeBase64(const std::string& AText, const std::string& AName) {
    const size_t padding = TrailingPadding(AText);
    if (AText.size() % 4 != 0 || padding > 2)
        RefuseBlob(AName);
    const uint64_t size = uint64_t{AText.size()} / 4 * 3 - padding;
    std::vector<uint8_t> data;
    data.reserve(static_cast<size_t>(size));
    for (size_t i = 0; i < AText.size(); i += 4)
        DecodeQuad(AText.data() + i, i + 4 == AText.size() ? padding : 0, data, AName);
    return data;
}

void RequireUtf8(const std::string& AText) {
    try {
        (void)nlohmann::json(AText).dump();
    } catch (const nlohmann::json::exception&) {
        throw EArgumentError("Text is not valid UTF-8");
    }
}

template <class TJson> bool IsBlob(const TJson& AValue) {
    return AValue.is_object() && AValue.size() == 1 && AValue.contains(KBinaryMember) &&
           AValue[KBinaryMember].is_string();
}

// A JSON number as an integer of type T; fractions and values out of T's range are refused.
template <class T> T IntegerEntry(const nlohmann::json& AValue, const std::string& AName) {
    if (AValue.is_number_unsigned()) {
        const uint64_t value = AValue.get<uint64_t>();
        if (std::in_range<T>(value))
            return static_cast<T>(value);
    } else if (AValue.is_number_integer()) {
        const int64_t value = AValue.get<int64_t>();
        if (std::in_range<T>(value))
            return static_cast<T>(value);
    } else {
        throw EReadError("Entry \"" + AName + "\" is not an integer");
    }
    throw EReadError("Entry \"" + AName + "\" is out of range: " + AValue.dump());
}

} // namespace

// Writes keep the order of the calls, so the document reads in the order it was written.
struct TJsonWriter::TImpl {
    using TJson = nlohmann::ordered_json;

    TJson Root = TJson::object();
    // The open groups, innermost last. Only the innermost object grows, so the pointers to the
    // outer ones stay valid.
    std::vector<TJson*> Open{&Root};

    TJson& Add(const std::string& AName, TJson AValue) {
        RequireUtf8(AName);
        if (AName == KBinaryMember)
            throw EArgumentError("Entry name \"" + AName + "\" is reserved");
        TJson& group = *Open.back();
        if (group.contains(AName))
            throw EArgumentError("Entry \"" + AName + "\" written twice");
        return group.emplace(AName, std::move(AValue)).first.value();
    }
};

TJsonWriter::TJsonWriter() : FImpl(std::make_unique<TImpl>()) {}

TJsonWriter::~TJsonWriter() = default;

TRef<IWriter> TJsonWriter::WriteInteger(const std::string& AName, int32_t AValue) {
    FImpl->Add(AName, AValue);
    return this;
}

TRef<IWriter> TJsonWriter::WriteInt64(const std::string& AName, int64_t AValue) {
    FImpl->Add(AName, AValue);
    return this;
}

TRef<IWriter> TJsonWriter::WriteBoolean(const std::string& AName, bool AValue) {
    FImpl->Add(AName, AValue);
    return this;
}

TRef<IWriter> TJsonWriter::WriteString(const std::string& AName, const std::string& AValue) {
    RequireUtf8(AValue);
    FImpl->Add(AName, AValue);
    return this;
}

TRef<IWriter> TJsonWriter::WriteBinary(const std::string& AName, const void* AData,
                                       uint64_t ASize) {
    if (ASize > 0 && !AData)
        throw EArgumentError("Blob \"" + AName + "\" has no data");
    if (ASize > std::numeric_limits<size_t>::max() / 4 * 3 - 3)
        throw EArgumentError("Blob \"" + AName + "\" is too large");
    TImpl::TJson blob = TImpl::TJson::object();
    blob[KBinaryMember] = EncodeBase64(static_cast<const uint8_t*>(AData), ASize);
    FImpl->Add(AName, std::move(blob));
    return this;
}

void TJsonWriter::BeginGroup(const std::string& AName) {
    TImpl::TJson& group = FImpl->Add(AName, TImpl::TJson::object());
    FImpl->Open.push_back(&group);
}

void TJsonWriter::EndGroup() {
    Assert(FImpl->Open.size() > 1, KUnitName, "EndGroup without BeginGroup");
    FImpl->Open.pop_back();
}

std::string TJsonWriter::Text(int AIndent) const {
    Assert(FImpl->Open.size() == 1, KUnitName, "Document taken while a group is open");
    return FImpl->Root.dump(AIndent);
}

struct TJsonReader::TImpl {
    using TJson = nlohmann::json;

    TJson Root;
    std::vector<const TJson*> Open; // innermost last

    const TJson* Find(const std::string& AName) const {
        const TJson& group = *Open.back();
        auto it = group.find(AName);
        return it == group.end() ? nullptr : &*it;
    }
};

TJsonReader::TJsonReader(const std::string& AText) : FImpl(std::make_unique<TImpl>()) {
    try {
        FImpl->Root = TImpl::TJson::parse(AText);
    } catch (const nlohmann::json::exception& error) {
        throw EReadError(std::string("Malformed JSON document: ") + error.what());
    }
    if (!FImpl->Root.is_object())
        throw EReadError("JSON document is not an object");
    FImpl->Open.push_back(&FImpl->Root);
}

TJsonReader::~TJsonReader() = default;

bool TJsonReader::ReadInteger(const std::string& AName, int32_t& AValue) {
    const TImpl::TJson* entry = FImpl->Find(AName);
    if (!entry || !entry->is_number())
        return false;
    AValue = IntegerEntry<int32_t>(*entry, AName);
    return true;
}

bool TJsonReader::ReadInt64(const std::string& AName, int64_t& AValue) {
    const TImpl::TJson* entry = FImpl->Find(AName);
    if (!entry || !entry->is_number())
        return false;
    AValue = IntegerEntry<int64_t>(*entry, AName);
    return true;
}

bool TJsonReader::ReadBoolean(const std::string& AName, bool& AValue) {
    const TImpl::TJson* entry = FImpl->Find(AName);
    if (!entry || !entry->is_boolean())
        return false;
    AValue = entry->get<bool>();
    return true;
}

bool TJsonReader::ReadString(const std::string& AName, std::string& AValue) {
    const TImpl::TJson* entry = FImpl->Find(AName);
    if (!entry || !entry->is_string())
        return false;
    AValue = entry->get<std::string>();
    return true;
}

bool TJsonReader::ReadBinary(const std::string& AName, std::vector<uint8_t>& AValue) {
    const TImpl::TJson* entry = FImpl->Find(AName);
    if (!entry || !IsBlob(*entry))
        return false;
    AValue = DecodeBase64((*entry)[KBinaryMember].get_ref<const std::string&>(), AName);
    return true;
}

bool TJsonReader::BeginGroup(const std::string& AName) {
    const TImpl::TJson* entry = FImpl->Find(AName);
    if (!entry || !entry->is_object() || IsBlob(*entry))
        return false;
    FImpl->Open.push_back(entry);
    return true;
}

void TJsonReader::EndGroup() {
    Assert(FImpl->Open.size() > 1, KUnitName, "EndGroup without BeginGroup");
    FImpl->Open.pop_back();
}

} // namespace sonvera
