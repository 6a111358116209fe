// Streaming of published properties through the named-value writers and readers. Each value
// property is one entry named after the property; a sub-object is a group of its own entries.
// Integers, Booleans, strings and 64-bit integers use the writer's own kinds; a cardinal is a
// 64-bit entry; a double is a string in the shortest text that reads back to the same bits
// ("0.1", "-0", "inf", "nan"); an enumeration is the member's name; a set is the text
// "[spFrontLeft,spFrontRight]". A collection's items follow in the group "Items", one group
// "Item0", "Item1"... each, holding the item's "ClassName" and its own entries.
#pragma once

#include "sonvera/platform/runtime/Persistent.h"
#include "sonvera/platform/runtime/Serialization.h"

namespace sonvera {

// Writes only what differs from the declared defaults; a sub-object's group is written only
// when something in it differs. A set holding a bit that names no member is refused with
// ERangeError.
void WritePublishedProperties(const TPersistent& AObject, const TRef<IWriter>& AWriter);

// Reads every entry first and then sets the values through the class's setters (so bounded
// setters clamp and changes are notified); a collection's "Items" replace its items, and an
// item of a class it does not take is refused with EReadError. Absent entries, and entries of another kind, keep
// the current value. An enumeration or set text that names no member, a cardinal outside 32
// bits or a double that does not parse is refused with EReadError, and then nothing is set.
void ReadPublishedProperties(TPersistent& AObject, const TRef<IReader>& AReader);

} // namespace sonvera
