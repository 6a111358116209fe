// Library start-up: every unit's Initialize runs once, in dependency order, when the library
// loads, and its Finalize in reverse order when it unloads. A program that links the library
// statically calls SonveraInitialize/SonveraFinalize itself; the calls only count when the
// library is already started.
#pragma once

#include <string>
#include <vector>

#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

struct TSonveraUnit {
    const char* Name;
    void (*Initialize)();
    void (*Finalize)();
};

// The units in start-up order.
const std::vector<TSonveraUnit>& SonveraUnits();

// Starts AUnits in order. When one raises, the units started before it are stopped again in
// reverse order and the exception propagates, so that none of AUnits is left started.
void SonveraStartUnits(const std::vector<TSonveraUnit>& AUnits);
// Stops AUnits in reverse order.
void SonveraStopUnits(const std::vector<TSonveraUnit>& AUnits);

// Start and stop SonveraUnits(). A start that fails leaves the library stopped, and a later
// call starts it from the beginning.
void SonveraInitialize();
void SonveraFinalize();

// The library's table of published types, for a designer that finds classes by enumeration:
// the palette categories in their order, then the ready components.
const std::vector<TClassRef>& SonveraPublishedTypes();

// How many times the library has been started and not yet finalized.
int SonveraStartCount();

std::string SonveraVersion();

} // namespace sonvera
