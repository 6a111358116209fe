// A chain document loaded into a chain (not run). A refused document raises the library's read
// error; a loaded one saves to a document that loads into a chain saving the same document.
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/platform/runtime/Exceptions.h"

using namespace sonvera;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    const std::string document(reinterpret_cast<const char*>(AData), ASize);
    std::string saved;
    try {
        saved = TSVChain::Load(document).Save();
    } catch (const EReadError&) {
        return 0;
    }
    SONVERA_FUZZ_CHECK(TSVChain::Load(saved).Save() == saved);
    return 0;
}
