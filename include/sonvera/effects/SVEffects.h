// The effects a chain finds by short name: their registration with the class registry and the
// designer's palette, and the list of their classes.
#pragma once

#include <vector>

#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Every effect class, in the order `sonvera inspect` lists them.
std::vector<TComponentClass> SVEffectClasses();

void RegisterSVEffects();
void UnregisterSVEffects();

} // namespace sonvera
