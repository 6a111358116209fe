#include "sonvera/platform/runtime/PropertyStreaming.h"

#include <charconv>
#include <optional>
#include <system_error>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

std::string DoubleToText(double AValue) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, AValue);
    return std::string(text, result.ptr);
}

[[noreturn]] void RefuseEntry(const TPropertyInfo& AProperty, const std::string& AWhy) {
    throw EReadError("Property " + AProperty.Name() + ": " + AWhy);
}

double TextToDouble(const TPropertyInfo& AProperty, const std::string& AText) {
    double value = 0;
    const char* end = AText.data() + AText.size();
    const auto result = std::from_chars(AText.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end)
        RefuseEntry(AProperty, "\"" + AText + "\" is not a number");
    return value;
}

bool DiffersFromDefaults(const TPersistent& AObject) {
    if (AObject.StreamedItemCount() > 0)
        return true;
    for (const TPropertyInfo& property : AObject.GetPropertyTable().Properties()) {
        if (property.Kind() != pkObject) {
            if (!property.IsDefault(AObject))
                return true;
        } else if (const TPersistent* object = property.GetObject(AObject)) {
            if (DiffersFromDefaults(*object))
                return true;
        }
    }
    return false;
}

void WriteValue(const TPropertyInfo& AProperty, const TPropertyValue& AValue, IWriter& AWriter) {
    const std::string& name = AProperty.Name();
    switch (AProperty.Kind()) {
    case pkInteger:
        AWriter.WriteInteger(name, std::get<int32_t>(AValue));
        break;
    case pkCardinal:
        AWriter.WriteInt64(name, std::get<uint32_t>(AValue));
        break;
    case pkBoolean:
        AWriter.WriteBoolean(name, std::get<bool>(AValue));
        break;
    case pkString:
        AWriter.WriteString(name, std::get<std::string>(AValue));
        break;
    case pkInt64:
        AWriter.WriteInt64(name, std::get<int64_t>(AValue));
        break;
    case pkDouble:
        AWriter.WriteString(name, DoubleToText(std::get<double>(AValue)));
        break;
    case pkEnumeration:
        AWriter.WriteString(name, AProperty.EnumType()->NameOf(std::get<int64_t>(AValue)));
        break;
    case pkSet:
        AWriter.WriteString(name, AProperty.EnumType()->SetToText(std::get<uint32_t>(AValue)));
        break;
    case pkObject:
        break;
    }
}

void WriteItems(const TPersistent& AObject, IWriter& AWriter);

void WriteObject(const TPersistent& AObject, IWriter& AWriter) {
    for (const TPropertyInfo& property : AObject.GetPropertyTable().Properties()) {
        if (property.Kind() != pkObject) {
            const TPropertyValue value = property.GetValue(AObject);
            if (!SamePropertyValue(value, property.Default()))
                WriteValue(property, value, AWriter);
            continue;
        }
        const TPersistent* object = property.GetObject(AObject);
        if (!object || !DiffersFromDefaults(*object))
            continue;
        AWriter.BeginGroup(property.Name());
        WriteObject(*object, AWriter);
        AWriter.EndGroup();
    }
    WriteItems(AObject, AWriter);
}

// A collection's items: the group "Items" of groups "Item0", "Item1"..., each with the item's
// "ClassName" and its published properties.
void WriteItems(const TPersistent& AObject, IWriter& AWriter) {
    const int32_t count = AObject.StreamedItemCount();
    if (count <= 0)
        return;
    AWriter.BeginGroup("Items");
    for (int32_t i = 0; i < count; ++i) {
        const TPersistent& item = AObject.StreamedItem(i);
        AWriter.BeginGroup("Item" + std::to_string(i));
        AWriter.WriteString("ClassName", item.ClassName());
        WriteObject(item, AWriter);
        AWriter.EndGroup();
    }
    AWriter.EndGroup();
}

template <class T>
std::optional<T> ReadEntry(IReader& AReader, const std::string& AName,
                           bool (IReader::*ARead)(const std::string&, T&)) {
    T value{};
    if ((AReader.*ARead)(AName, value))
        return value;
    return std::nullopt;
}

uint32_t CardinalOf(const TPropertyInfo& AProperty, int64_t AValue) {
    if (!std::in_range<uint32_t>(AValue))
        RefuseEntry(AProperty, std::to_string(AValue) + " is outside 32 bits");
    return static_cast<uint32_t>(AValue);
}

int64_t MemberOf(const TPropertyInfo& AProperty, const std::string& AName) {
    const std::optional<int64_t> value = AProperty.EnumType()->FindValue(AName);
    if (!value)
        RefuseEntry(AProperty,
                    "\"" + AName + "\" is not a member of " + AProperty.EnumType()->TypeName());
    return *value;
}

uint32_t SetOf(const TPropertyInfo& AProperty, const std::string& AText) {
    try {
        return AProperty.EnumType()->TextToSet(AText);
    } catch (const Exception& error) {
        RefuseEntry(AProperty, error.Message());
    }
}

std::optional<TPropertyValue> ReadValue(const TPropertyInfo& AProperty, IReader& AReader) {
    const std::string& name = AProperty.Name();
    switch (AProperty.Kind()) {
    case pkInteger:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadInteger))
            return *value;
        break;
    case pkCardinal:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadInt64))
            return CardinalOf(AProperty, *value);
        break;
    case pkBoolean:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadBoolean))
            return *value;
        break;
    case pkString:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadString))
            return std::move(*value);
        break;
    case pkInt64:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadInt64))
            return *value;
        break;
    case pkDouble:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadString))
            return TextToDouble(AProperty, *value);
        break;
    case pkEnumeration:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadString))
            return MemberOf(AProperty, *value);
        break;
    case pkSet:
        if (auto value = ReadEntry(AReader, name, &IReader::ReadString))
            return SetOf(AProperty, *value);
        break;
    case pkObject:
        break;
    }
    return std::nullopt;
}

TPublishedState ReadState(const TPersistent& AObject, IReader& AReader);

// Runs ARead inside AReader's open group and closes the group however ARead ends.
template <class TRead> void InGroup(IReader& AReader, TRead ARead) {
    try {
        ARead();
    } catch (...) {
        AReader.EndGroup();
        throw;
    }
    AReader.EndGroup();
}

// A collection's items as WriteItems writes them; each is read against a new item of its class.
void ReadItems(const TPersistent& AObject, IReader& AReader, TPublishedState& AState) {
    if (AObject.StreamedItemCount() < 0 || !AReader.BeginGroup("Items"))
        return;
    AState.HasItems = true;
    InGroup(AReader, [&] {
        for (int32_t i = 0; AReader.BeginGroup("Item" + std::to_string(i)); ++i)
            InGroup(AReader, [&] {
                std::string name;
                if (!AReader.ReadString("ClassName", name))
                    throw EReadError(FormatMessage("Item %d has no ClassName", i));
                std::unique_ptr<TPersistent> item;
                try {
                    item = AObject.NewStreamedItem(name);
                } catch (const EArgumentError& error) {
                    throw EReadError(error.Message());
                }
                AState.Items.push_back({name, ReadState(*item, AReader)});
            });
    });
}

TPublishedState ReadState(const TPersistent& AObject, IReader& AReader) {
    TPublishedState state;
    for (const TPropertyInfo& property : AObject.GetPropertyTable().Properties()) {
        if (property.Kind() != pkObject) {
            if (std::optional<TPropertyValue> value = ReadValue(property, AReader))
                state.Values.push_back({&property, std::move(*value)});
            continue;
        }
        const TPersistent* object = property.GetObject(AObject);
        if (!object || !AReader.BeginGroup(property.Name()))
            continue;
        try {
            state.Objects.push_back({&property, ReadState(*object, AReader)});
        } catch (...) {
            AReader.EndGroup();
            throw;
        }
        AReader.EndGroup();
    }
    ReadItems(AObject, AReader, state);
    return state;
}

} // namespace

void WritePublishedProperties(const TPersistent& AObject, const TRef<IWriter>& AWriter) {
    Assert(AWriter != nullptr, "PropertyStreaming");
    WriteObject(AObject, *AWriter);
}

void ReadPublishedProperties(TPersistent& AObject, const TRef<IReader>& AReader) {
    Assert(AReader != nullptr, "PropertyStreaming");
    AObject.ApplyPublishedState(ReadState(AObject, *AReader));
}

} // namespace sonvera
