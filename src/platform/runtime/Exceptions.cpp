#include "sonvera/platform/runtime/Exceptions.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace sonvera {

void Assert(bool ACondition, const char* AUnitName, const char* AMessage) {
    if (!ACondition)
        throw EAssertionFailed(std::string(AMessage) + " (" + AUnitName + ")");
}

std::string FormatMessage(const char* AFormat, ...) {
    va_list args;
    va_start(args, AFormat);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, AFormat, measure);
    va_end(measure);
    std::string result;
    if (length > 0) {
        std::vector<char> text(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), AFormat, args);
        result.assign(text.data(), static_cast<size_t>(length));
    }
    va_end(args);
    return result;
}

} // namespace sonvera
