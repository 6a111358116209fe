// Library start-up: every unit's Initialize runs once, in dependency order, when the library
// loads, and its Finalize in reverse order when it unloads. A program that links the library
// statically calls SonveraInitialize/SonveraFinalize itself; the calls only count when the
// library is already started.
#pragma once

#include <string>
#include <vector>

namespace sonvera {

struct TSonveraUnit {
    const char* Name;
    void (*Initialize)();
    void (*Finalize)();
};

// The units in start-up order.
const std::vector<TSonveraUnit>& SonveraUnits();

void SonveraInitialize();
void SonveraFinalize();

// How many times the library has been started and not yet finalized.
int SonveraStartCount();

std::string SonveraVersion();

} // namespace sonvera
