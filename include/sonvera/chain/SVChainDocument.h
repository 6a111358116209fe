// Chain documents: a chain saved as JSON, through the runtime's own property streaming and class
// registry, and loaded back into a chain that runs the same.
//
//     {"Version": 1,
//      "Components": [{"Name": "gain", "Class": "TSVGainFilter", "Properties": {"Gain": "0.5"}}],
//      "Connections": [{"From": "file-source", "Output": 0, "To": "gain", "Input": 0}]}
//
// Properties are the published ones that differ from their defaults, as WritePublishedProperties
// writes them. A document is untrusted: anything it holds that the chain would not write (an
// unknown entry, class or property, a value of the wrong type, a pin that does not exist) is
// refused with EReadError naming it, before the chain runs; what it allocates follows from its
// length.
#pragma once

#include <cstdint>
#include <string>

namespace sonvera {

class TSVChain;

constexpr int32_t KSVChainDocumentVersion = 1;

std::string SVSaveChainDocument(const TSVChain& AChain);
// Builds the document's chain into AChain, which should be empty.
void SVLoadChainDocument(TSVChain& AChain, const std::string& ADocument);

} // namespace sonvera
