// Chain text read and built into a chain (not run: that would touch files). Text that is
// refused raises one of the library's exceptions; a chain that is built saves to a document
// that loads into a chain saving the same document.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/platform/runtime/Exceptions.h"

using namespace sonvera;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string text(reinterpret_cast<const char*>(AData), ASize);
    std::string saved;
    try {
        saved = TSVChain::Parse(text).Save();
    } catch (const Exception&) {
        return 0;
    }
    SONVERA_FUZZ_CHECK(TSVChain::Load(saved).Save() == saved);
    return 0;
}
