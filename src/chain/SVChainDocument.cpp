#include "sonvera/chain/SVChainDocument.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "sonvera/chain/SVChain.h"
#include "sonvera/platform/runtime/ClassAttributes.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

namespace sonvera {

namespace {

using TJson = nlohmann::ordered_json;

constexpr int64_t KMaxPinIndex = 65535;

[[noreturn]] void Refuse(const std::string& AWhy) {
    throw EReadError("chain document: " + AWhy);
}

void CheckKeys(const TJson& AObject, std::initializer_list<const char*> AKeys,
               const std::string& AWhere) {
    if (!AObject.is_object())
        Refuse(AWhere + " is not an object");
    for (const auto& item : AObject.items()) {
        const std::string& key = item.key(); // a name a lambda can capture
        if (std::none_of(AKeys.begin(), AKeys.end(), [&](const char* A) { return key == A; }))
            Refuse("unknown entry '" + key + "' in " + AWhere);
    }
}

const TJson& Member(const TJson& AObject, const char* AKey, const std::string& AWhere) {
    const auto found = AObject.find(AKey);
    if (found == AObject.end())
        Refuse(AWhere + " has no " + AKey);
    return *found;
}

std::string Text(const TJson& AObject, const char* AKey, const std::string& AWhere) {
    const TJson& value = Member(AObject, AKey, AWhere);
    if (!value.is_string())
        Refuse(std::string(AKey) + " of " + AWhere + " is not a text");
    return value.get<std::string>();
}

int32_t PinIndex(const TJson& AObject, const char* AKey, const std::string& AWhere) {
    const TJson& value = Member(AObject, AKey, AWhere);
    if (!value.is_number_integer() || value.get<int64_t>() < 0 ||
        value.get<int64_t>() > KMaxPinIndex)
        Refuse(std::string(AKey) + " of " + AWhere + " is not a pin number");
    return static_cast<int32_t>(value.get<int64_t>());
}

bool HoldsKind(const TJson& AValue, TPropertyKind AKind) {
    switch (AKind) {
    case pkInteger:
    case pkCardinal:
    case pkInt64:
        return AValue.is_number_integer();
    case pkBoolean:
        return AValue.is_boolean();
    case pkObject:
        return AValue.is_object();
    default:
        return AValue.is_string();
    }
}

// Every entry names a published property of AObject and holds a value of its kind.
void CheckProperties(const TPersistent& AObject, const TJson& AProperties,
                     const std::string& AWhere) {
    if (!AProperties.is_object())
        Refuse("the properties of " + AWhere + " are not an object");
    const TPropertyTableBase& table = AObject.GetPropertyTable();
    for (const auto& [key, value] : AProperties.items()) {
        const TPropertyInfo* info = table.Find(key);
        if (!info)
            Refuse("unknown property '" + key + "' of " + AWhere);
        if (!HoldsKind(value, info->Kind()))
            Refuse("property '" + key + "' of " + AWhere + " holds a value of the wrong type");
        if (info->Kind() == pkObject) {
            const TPersistent* object = info->GetObject(AObject);
            if (!object)
                Refuse("property '" + key + "' of " + AWhere + " has nothing to set");
            CheckProperties(*object, value, AWhere + "." + key);
        }
    }
}

void LoadComponent(TSVChain& AChain, const TJson& AEntry, size_t AIndex) {
    const std::string where = "component " + std::to_string(AIndex);
    CheckKeys(AEntry, {"Name", "Class", "Properties"}, where);
    const std::string name = Text(AEntry, "Name", where);
    const std::string type = Text(AEntry, "Class", where);
    if (name.empty())
        Refuse(where + " has an empty name");
    if (AChain.Find(name))
        Refuse("two components named '" + name + "'");
    const TClassRef info = FindComponentClass(type);
    if (!info || info->ClassName != type)
        Refuse("unknown class '" + type + "' of " + name);
    TPersistent& component = AChain.Add(type, name);
    const auto properties = AEntry.find("Properties");
    if (properties == AEntry.end())
        return;
    CheckProperties(component, *properties, name);
    try {
        ReadPublishedProperties(component, TJsonReader::Create(properties->dump()));
    } catch (const std::exception& error) {
        Refuse(name + ": " + error.what());
    }
}

void LoadConnection(TSVChain& AChain, const TJson& AEntry, size_t AIndex) {
    const std::string where = "connection " + std::to_string(AIndex);
    CheckKeys(AEntry, {"From", "Output", "To", "Input"}, where);
    const std::string from = Text(AEntry, "From", where);
    const std::string to = Text(AEntry, "To", where);
    for (const std::string& name : {from, to})
        if (!AChain.Find(name))
            Refuse(where + " names no component '" + name + "'");
    try {
        AChain.Connect(from, to, PinIndex(AEntry, "Output", where),
                       PinIndex(AEntry, "Input", where));
    } catch (const EReadError&) {
        throw;
    } catch (const std::exception& error) {
        Refuse(error.what());
    }
}

const TJson& List(const TJson& ADocument, const char* AKey) {
    const TJson& list = Member(ADocument, AKey, "the document");
    if (!list.is_array())
        Refuse(std::string(AKey) + " is not a list");
    return list;
}

} // namespace

std::string SVSaveChainDocument(const TSVChain& AChain) {
    TJson document;
    document["Version"] = KSVChainDocumentVersion;
    TJson components = TJson::array();
    for (const TPersistent* component : AChain.GetComponents()) {
        const TRef<TJsonWriter> writer = TJsonWriter::CreateObject();
        WritePublishedProperties(*component, writer);
        TJson entry;
        entry["Name"] = AChain.NameOf(*component);
        entry["Class"] = component->GetPropertyTable().ClassName();
        TJson properties = TJson::parse(writer->Text());
        if (!properties.empty())
            entry["Properties"] = std::move(properties);
        components.push_back(std::move(entry));
    }
    document["Components"] = std::move(components);
    TJson connections = TJson::array();
    for (const TSVChain::TConnection& connection : AChain.GetConnections())
        connections.push_back({{"From", connection.From},
                               {"Output", connection.Output},
                               {"To", connection.To},
                               {"Input", connection.Input}});
    document["Connections"] = std::move(connections);
    try {
        return document.dump(2) + "\n";
    } catch (const nlohmann::json::exception&) {
        // Names from chain text are bytes as typed; a document holds UTF-8 only.
        throw EArgumentError("chain document: a component name is not valid UTF-8");
    }
}

void SVLoadChainDocument(TSVChain& AChain, const std::string& ADocument) {
    const TJson document = TJson::parse(ADocument, nullptr, false);
    if (document.is_discarded())
        Refuse("not JSON");
    CheckKeys(document, {"Version", "Components", "Connections"}, "the document");
    const TJson& version = Member(document, "Version", "the document");
    if (!version.is_number_integer() || version.get<int64_t>() != KSVChainDocumentVersion)
        Refuse("version " + version.dump() + " is not " + std::to_string(KSVChainDocumentVersion));
    const TJson& components = List(document, "Components");
    for (size_t i = 0; i < components.size(); ++i)
        LoadComponent(AChain, components[i], i);
    const TJson& connections = List(document, "Connections");
    for (size_t i = 0; i < connections.size(); ++i)
        LoadConnection(AChain, connections[i], i);
}

} // namespace sonvera
