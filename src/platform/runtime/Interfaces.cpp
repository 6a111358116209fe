#include "sonvera/platform/runtime/Interfaces.h"

#include <cstdio>

namespace sonvera {

namespace {

int HexDigit(char AChar) {
    if (AChar >= '0' && AChar <= '9')
        return AChar - '0';
    if (AChar >= 'a' && AChar <= 'f')
        return AChar - 'a' + 10;
    if (AChar >= 'A' && AChar <= 'F')
        return AChar - 'A' + 10;
    return -1;
}

// Reads ADigits hex digits starting at APos; refuses anything that is not a hex digit.
uint64_t ReadHex(const std::string& AText, size_t APos, int ADigits) {
    uint64_t value = 0;
    for (int i = 0; i < ADigits; ++i) {
        const int digit = HexDigit(AText[APos + static_cast<size_t>(i)]);
        if (digit < 0)
            throw EArgumentError("Invalid GUID text: " + AText);
        value = value * 16 + static_cast<uint64_t>(digit);
    }
    return value;
}

} // namespace

TGUID TGUID::FromString(const std::string& AText) {
    // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
    if (AText.size() != 38 || AText[0] != '{' || AText[37] != '}' || AText[9] != '-' ||
        AText[14] != '-' || AText[19] != '-' || AText[24] != '-')
        throw EArgumentError("Invalid GUID text: " + AText);
    TGUID guid;
    guid.D1 = static_cast<uint32_t>(ReadHex(AText, 1, 8));
    guid.D2 = static_cast<uint16_t>(ReadHex(AText, 10, 4));
    guid.D3 = static_cast<uint16_t>(ReadHex(AText, 15, 4));
    guid.D4[0] = static_cast<uint8_t>(ReadHex(AText, 20, 2));
    guid.D4[1] = static_cast<uint8_t>(ReadHex(AText, 22, 2));
    for (int i = 0; i < 6; ++i)
        guid.D4[2 + i] = static_cast<uint8_t>(ReadHex(AText, 25 + 2 * static_cast<size_t>(i), 2));
    return guid;
}

std::string TGUID::ToString() const {
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", D1, D2,
                  D3, D4[0], D4[1], D4[2], D4[3], D4[4], D4[5], D4[6], D4[7]);
    return text;
}

} // namespace sonvera
