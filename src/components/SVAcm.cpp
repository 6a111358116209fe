#include "sonvera/components/SVAcm.h"

#include <cstddef>
#include <string_view>

namespace sonvera {

namespace {

// The platform's text-to-code rule without flags: up to four characters, first in the lowest
// byte, padded with spaces.
constexpr uint32_t StringToFourCC(std::u16string_view AText) {
    uint32_t code = 0;
    for (size_t i = 0; i < 4; ++i) {
        const char16_t character = i < AText.size() ? AText[i] : u' ';
        code |= uint32_t{static_cast<uint8_t>(character)} << (8 * i);
    }
    return code;
}

static_assert(StringToFourCC(u"audc") == 0x63647561);

// The published 64-bit layouts.
static_assert(sizeof(WAVEFILTER) == 32);
static_assert(sizeof(ACMDRIVERDETAILSA) == 924 && sizeof(ACMDRIVERDETAILSW) == 1804);
static_assert(offsetof(ACMDRIVERDETAILSA, hicon) == 36);
static_assert(offsetof(ACMDRIVERDETAILSW, szLongName) == 108);
static_assert(offsetof(ACMDRIVERDETAILSW, szFeatures) == 780);
static_assert(sizeof(ACMFORMATTAGDETAILSA) == 72 && sizeof(ACMFORMATTAGDETAILSW) == 120);
static_assert(sizeof(ACMFILTERTAGDETAILSA) == 72 && sizeof(ACMFILTERTAGDETAILSW) == 120);
static_assert(offsetof(ACMFORMATDETAILSA, pwfx) == 16 &&
              offsetof(ACMFORMATDETAILSA, szFormat) == 28);
static_assert(sizeof(ACMFORMATDETAILSA) == 160 && sizeof(ACMFORMATDETAILSW) == 288);
static_assert(sizeof(ACMFILTERDETAILSA) == 160 && sizeof(ACMFILTERDETAILSW) == 288);
static_assert(offsetof(ACMFORMATCHOOSEW, szFormat) == 136 &&
              offsetof(ACMFORMATCHOOSEW, pszName) == 392);
static_assert(offsetof(ACMFORMATCHOOSEW, pfnHook) == 440 && sizeof(ACMFORMATCHOOSEW) == 448);
static_assert(offsetof(ACMFORMATCHOOSEA, pszName) == 216 && sizeof(ACMFORMATCHOOSEA) == 272);
static_assert(sizeof(ACMFILTERCHOOSEA) == 272 && sizeof(ACMFILTERCHOOSEW) == 448);
static_assert(offsetof(ACMSTREAMHEADER, pbDst) == 40 &&
              offsetof(ACMSTREAMHEADER, dwReservedDriver) == 64);
static_assert(sizeof(ACMSTREAMHEADER) == 128);

} // namespace

uint32_t ACMDRIVERDETAILS_FCCTYPE_AUDIOCODE() {
    return StringToFourCC(u"audc");
}

} // namespace sonvera
