#include "Options.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera::tool {

double ParseWithUnit(const std::string& AOption, const std::string& AText,
                     std::initializer_list<std::pair<const char*, double>> AUnits) {
    char* end = nullptr;
    const double number = std::strtod(AText.c_str(), &end);
    std::string unit(end);
    for (char& c : unit)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!AText.empty() && end != AText.c_str() && std::isfinite(number))
        for (const auto& [suffix, factor] : AUnits)
            if (unit == suffix)
                return number * factor;
    throw EArgumentError(AOption + ": cannot read '" + AText + "'");
}

int32_t ParseBits(const std::string& AText) {
    if (AText == "8" || AText == "16" || AText == "24" || AText == "32")
        return std::atoi(AText.c_str());
    throw EArgumentError("unsupported bits '" + AText + "' (8, 16, 24 or 32)");
}

int32_t ParseAmount(const std::string& AOption, const std::string& AText,
                    std::initializer_list<std::pair<const char*, double>> AUnits, int32_t AMax) {
    const double value = ParseWithUnit(AOption, AText, AUnits);
    const double whole = std::round(value);
    if (std::fabs(value - whole) > 1e-6 || whole < 1 || whole > AMax)
        throw EArgumentError(AOption + " must be a whole number from 1 to " + std::to_string(AMax) +
                             ", not '" + AText + "'");
    return static_cast<int32_t>(whole);
}

double ParseSeconds(const std::string& AOption, const std::string& AText, double AMax) {
    const double value =
        ParseWithUnit(AOption, AText, {{"", 1}, {"s", 1}, {"ms", 1e-3}, {"min", 60}});
    if (!(value > 0) || value > AMax)
        throw EArgumentError(AOption + " must be a time above 0, not '" + AText + "'");
    return value;
}

} // namespace sonvera::tool
