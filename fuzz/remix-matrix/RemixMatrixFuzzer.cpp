// A remix matrix text read for every output and input count up to eight. A read either raises
// EArgumentError or gives exactly outputs x inputs finite weights.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "sonvera/effects/SVRemixFilter.h"

using namespace sonvera;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string text(reinterpret_cast<const char*>(AData), ASize);
    for (size_t outputs = 1; outputs <= 8; ++outputs)
        for (size_t inputs = 1; inputs <= 8; ++inputs) {
            try {
                const std::vector<float> weights = SVParseRemixMatrix(text, outputs, inputs);
                SONVERA_FUZZ_CHECK(weights.size() == outputs * inputs);
                for (float weight : weights)
                    SONVERA_FUZZ_CHECK(std::isfinite(weight));
            } catch (const EArgumentError&) {
            }
        }
    return 0;
}
