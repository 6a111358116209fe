// Values typed on the tool's command lines, with the units people write ("48k", "44.1kHz",
// "250ms"); each raises EArgumentError naming the option and what it takes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>

namespace sonvera::tool {

// A number with an optional unit suffix (case-insensitive): AUnits pairs each suffix with its
// factor; the number may have a fraction when a suffix is given ("44.1kHz", "64k").
double ParseWithUnit(const std::string& AOption, const std::string& AText,
                     std::initializer_list<std::pair<const char*, double>> AUnits);
// 8, 16, 24 or 32.
int32_t ParseBits(const std::string& AText);
// A whole positive amount up to AMax, typed with one of AUnits ("48k", "44.1kHz", "64k").
int32_t ParseAmount(const std::string& AOption, const std::string& AText,
                    std::initializer_list<std::pair<const char*, double>> AUnits, int32_t AMax);
// A positive time up to AMax seconds: plain seconds, or with s, ms or min ("2.5", "250ms").
double ParseSeconds(const std::string& AOption, const std::string& AText, double AMax);

} // namespace sonvera::tool
