// sonvera inspect: the registered components by palette category, one line each, and for one
// component its pins and published properties.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "sonvera/chain/SVPropertyText.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/ClassAttributes.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera::tool {

namespace {

std::string CategoryName(const TClassInfo& AClass) {
    if (!AClass.Category)
        return "Other";
    return AClass.Category->Name.empty() ? AClass.Category->ClassName : AClass.Category->Name;
}

std::string ShownName(const TClassInfo& AClass) {
    return AClass.ShortName.empty() ? AClass.ClassName : AClass.ShortName;
}

int ListComponents() {
    std::map<std::string, std::vector<TClassRef>> categories;
    for (const TClassRef type : RegisteredComponents())
        categories[CategoryName(*type)].push_back(type);
    for (auto& [category, types] : categories) {
        std::sort(types.begin(), types.end(),
                  [](TClassRef A, TClassRef B) { return ShownName(*A) < ShownName(*B); });
        std::printf("%s\n", category.c_str());
        for (const TClassRef type : types)
            std::printf("  %-18s %s\n", ShownName(*type).c_str(), type->Description.c_str());
    }
    return 0;
}

void PrintPins(const TPersistent& AComponent) {
    std::printf("\nPins:\n");
    uint32_t inputs = 0, outputs = 0;
    for (const TPXPin* pin : PXPinsOf(&AComponent)) {
        std::string streams;
        for (const TGUID& stream : pin->GetStreamTypes())
            streams += (streams.empty() ? "" : ", ") + PXStreamName(stream);
        std::printf("  %-6s %-3u %-10s %s\n", pin->IsSource() ? "output" : "input",
                    pin->IsSource() ? outputs++ : inputs++, FoldedName(pin->GetName()).c_str(),
                    streams.c_str());
    }
}

struct TPropertyLine {
    std::string Name, Kind, Default, Description, Members;
};

// The value a newly made component has, which its constructor may have set apart from the
// class's declared default (a tone's 44100 Hz beside the format's 11025).
TPropertyValue NewValueOf(const TPropertyInfo& AProperty, const TPersistent& AObject) {
    try {
        return AProperty.GetValue(AObject);
    } catch (const std::exception&) {
        return AProperty.Default();
    }
}

// The property's one line, after the values it accepts where the class states them.
std::string AboutText(const TPropertyInfo& AProperty) {
    const std::optional<TPropertyRange>& range = AProperty.Range();
    if (!range)
        return AProperty.Description();
    char text[64];
    std::snprintf(text, sizeof text, "%.10g to %.10g", range->Min, range->Max);
    return AProperty.Description().empty() ? text : text + ("; " + AProperty.Description());
}

void CollectProperties(const TPersistent& AObject, const std::string& APrefix,
                       std::vector<TPropertyLine>& ALines) {
    for (const TPropertyInfo& property : AObject.GetPropertyTable().Properties()) {
        const std::string name = APrefix + property.Name();
        if (property.Kind() == pkObject) {
            if (const TPersistent* object = property.GetObject(AObject))
                CollectProperties(*object, name + ".", ALines);
            continue;
        }
        TPropertyLine line{name,
                           SVPropertyKindName(property.Kind()),
                           SVPropertyValueText(property, NewValueOf(property, AObject)),
                           AboutText(property),
                           {}};
        if (property.Kind() == pkString)
            line.Default = "\"" + line.Default + "\"";
        if (property.EnumType())
            for (const std::string& member : property.EnumType()->Names())
                line.Members += (line.Members.empty() ? "" : " ") + member;
        ALines.push_back(std::move(line));
    }
}

void PrintProperties(const TPersistent& AComponent) {
    std::vector<TPropertyLine> lines;
    CollectProperties(AComponent, "", lines);
    int name = 4, kind = 4, value = 4;
    for (const TPropertyLine& line : lines) {
        name = std::max(name, static_cast<int>(line.Name.size()));
        kind = std::max(kind, static_cast<int>(line.Kind.size()));
        value = std::max(value, static_cast<int>(line.Default.size()));
    }
    for (const TPropertyLine& line : lines) {
        std::printf("  %-*s  %-*s  default %-*s  %s\n", name, line.Name.c_str(), kind,
                    line.Kind.c_str(), value, line.Default.c_str(), line.Description.c_str());
        if (!line.Members.empty())
            std::printf("  %-*s  %s: %s\n", name, "", line.Kind == "set" ? "members" : "values",
                        line.Members.c_str());
    }
}

int ShowComponent(const std::string& AName) {
    const TClassRef type = FindComponentClass(AName);
    if (!type)
        throw EArgumentError("no component called '" + AName + "' (sonvera inspect lists them)");
    const std::unique_ptr<TPersistent> component = CreateComponent(type->ClassName, nullptr);
    std::printf("%s - %s\n  class %s, category %s\n", ShownName(*type).c_str(),
                type->Description.c_str(), type->ClassName.c_str(), CategoryName(*type).c_str());
    PrintPins(*component);
    std::printf("\nProperties (chain text matches names without regard to case or dashes):\n");
    PrintProperties(*component);
    return 0;
}

} // namespace

int RunInspect(const std::vector<std::string>& AArguments) {
    if (AArguments.empty())
        return ListComponents();
    if (AArguments.size() == 1)
        return ShowComponent(AArguments[0]);
    throw EArgumentError("usage: sonvera inspect [NAME]");
}

} // namespace sonvera::tool
