// Values typed on the tool's command lines; each raises EArgumentError naming the option and
// what it takes.
#pragma once

#include <cstdint>
#include <string>

namespace sonvera::tool {

// 8, 16, 24 or 32.
int32_t ParseBits(const std::string& AText);
// A whole positive number up to AMax.
int32_t ParseCount(const std::string& AOption, const std::string& AText, int32_t AMax);
// A positive number of seconds up to AMax ("2.5").
double ParseSeconds(const std::string& AOption, const std::string& AText, double AMax);

} // namespace sonvera::tool
