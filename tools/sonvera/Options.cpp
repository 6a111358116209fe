#include "Options.h"

#include <cmath>
#include <cstdlib>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera::tool {

int32_t ParseBits(const std::string& AText) {
    if (AText == "8" || AText == "16" || AText == "24" || AText == "32")
        return std::atoi(AText.c_str());
    throw EArgumentError("unsupported bits '" + AText + "' (8, 16, 24 or 32)");
}

int32_t ParseCount(const std::string& AOption, const std::string& AText, int32_t AMax) {
    char* end = nullptr;
    const long long value = std::strtoll(AText.c_str(), &end, 10);
    if (AText.empty() || *end != '\0' || value < 1 || value > AMax)
        throw EArgumentError(AOption + " must be a whole number from 1 to " + std::to_string(AMax) +
                             ", not '" + AText + "'");
    return static_cast<int32_t>(value);
}

double ParseSeconds(const std::string& AOption, const std::string& AText, double AMax) {
    char* end = nullptr;
    const double value = std::strtod(AText.c_str(), &end);
    if (AText.empty() || *end != '\0' || !std::isfinite(value) || value <= 0 || value > AMax)
        throw EArgumentError(AOption + " must be a number of seconds above 0, not '" + AText +
                             "'");
    return value;
}

} // namespace sonvera::tool
