// The fuzz targets' check: a broken promise aborts with its condition, which libFuzzer reports
// as a finding together with the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace sonvera::fuzz {

[[noreturn]] inline void Broken(const char* ACondition, const char* AFile, int ALine) {
    std::fprintf(stderr, "%s:%d: broken promise: %s\n", AFile, ALine, ACondition);
    std::abort();
}

} // namespace sonvera::fuzz

#define SONVERA_FUZZ_CHECK(ACondition)                                                             \
    ((ACondition) ? void() : ::sonvera::fuzz::Broken(#ACondition, __FILE__, __LINE__))
