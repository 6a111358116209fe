// Look-up of functions in the optional vendor primitives library. The signal and image
// libraries are opened once, on first use, by their usual names; an absent library or name
// gives null, and callers fall back to their portable code.
#pragma once

#include <string>

namespace sonvera {

void* GetIPPSProcAddress(const char* AName);
void* GetIPPIProcAddress(const char* AName);

} // namespace sonvera
