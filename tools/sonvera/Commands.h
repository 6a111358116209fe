// The sonvera tool's commands; each returns the process exit code.
#pragma once

#include <string>
#include <vector>

namespace sonvera::tool {

// Prints the library version, its units and where each primitive slot is bound.
int RunInfo();

// Generates a test tone, derives copies of other widths and layouts with the library's own
// operations, writes them as WAV files into ./sonvera-out/ and prints a table of them.
int RunDemo();

// sonvera convert IN.wav OUT.wav [--bits 8|16|24|32] [--layout mono|stereo|5.1|7.1] [--gain X]
int RunConvert(const std::vector<std::string>& AArguments);

} // namespace sonvera::tool
