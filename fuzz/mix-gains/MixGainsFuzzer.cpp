// A mix's gains text read for every limit up to the most inputs a mix has, and set on a mix. A
// read either raises EArgumentError or gives at most the limit of gains, each within the range
// a gain may take; a mix that refuses a text keeps the one it had.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "sonvera/effects/SVMixFilter.h"

using namespace sonvera;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string text(reinterpret_cast<const char*>(AData), ASize);
    for (size_t limit = 0; limit <= TSVMixFilter::KMaxInputs; ++limit) {
        try {
            const std::vector<double> gains = SVParseMixGains(text, limit);
            SONVERA_FUZZ_CHECK(gains.size() <= limit);
            for (double gain : gains)
                SONVERA_FUZZ_CHECK(gain >= -200 && gain <= 60);
        } catch (const EArgumentError&) {
        }
    }
    static TSVMixFilter mix(nullptr);
    const std::string before = mix.GetGains();
    try {
        mix.SetGains(text);
        SONVERA_FUZZ_CHECK(mix.GetGains() == text);
    } catch (const EArgumentError&) {
        SONVERA_FUZZ_CHECK(mix.GetGains() == before);
    }
    return 0;
}
