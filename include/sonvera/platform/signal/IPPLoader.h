// Look-up of functions in the optional vendor primitives library. The signal and image
// libraries are opened once, on first use, by their usual names; an absent library or name
// gives null, and callers fall back to their portable code.
#pragma once

#include <string>
#include <vector>

namespace sonvera {

void* GetIPPSProcAddress(const char* AName);
void* GetIPPIProcAddress(const char* AName);

// FOR TESTS ONLY: replaces the file names the look-up tries, in order, for the signal and the
// image library. Must run before the first look-up of the process; afterwards the libraries
// are already chosen and it raises EAssertionFailed.
void SetIPPLibraryPathsForTesting(std::vector<std::string> ASignalPaths,
                                  std::vector<std::string> AImagePaths);

} // namespace sonvera
