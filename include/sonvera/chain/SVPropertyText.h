// Published properties as people type them: names matched without regard to case, dashes or
// underscores ("sample-rate" finds SampleRate, "compression.bit-rate" a property of the
// Compression sub-object), values read by the property's kind with the units people write:
// "-6dB" (made a factor where the property is one), "48kHz" and "192k" (times 1000), "1M",
// "250ms" and "2s" (made the property's unit of time), "yes"/"no", enumeration member names, and
// speaker layouts ("stereo", "5.1") or member lists for speaker sets.
#pragma once

#include <string>

#include "sonvera/platform/runtime/Persistent.h"
#include "sonvera/platform/runtime/PropertyTable.h"

namespace sonvera {

// A value property found by name: the object that holds it (a sub-object for dotted names) and
// its entry.
struct TSVPropertyPath {
    TPersistent* Object = nullptr;
    const TPropertyInfo* Info = nullptr;
    std::string Name; // as published, dotted: "Compression.BitRate"
};

// Null Object and Info when AObject publishes no value property of that name.
TSVPropertyPath SVFindProperty(TPersistent& AObject, const std::string& AName);

// AText read as a value of AInfo's kind; EArgumentError saying what was expected when it does
// not read as one (the message names neither component nor property: callers add them).
TPropertyValue SVParsePropertyValue(const TPropertyInfo& AInfo, const std::string& AText);

// The value as SVParsePropertyValue reads it back.
std::string SVPropertyValueText(const TPropertyInfo& AInfo, const TPropertyValue& AValue);

// "integer", "cardinal", "boolean", "string", "int64", "double", "enumeration", "set".
std::string SVPropertyKindName(TPropertyKind AKind);

} // namespace sonvera
