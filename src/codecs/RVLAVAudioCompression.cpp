#include "sonvera/codecs/RVLAVAudioCompression.h"

namespace sonvera {

const TPropertyTableBase& TSVLAVAudioCompression::ClassPropertyTable() {
    static const TPropertyTable<TSVLAVAudioCompression> table(
        "TSVLAVAudioCompression", TRVLAVCompression::ClassPropertyTable());
    return table;
}

void TSVLAVAudioCompression::Close() {
    TRVLAVCompression::Close();
    FBuffer = nullptr;
}

const TPropertyTableBase& TSVLAVAudioDecompression::ClassPropertyTable() {
    static const TPropertyTable<TSVLAVAudioDecompression> table(
        "TSVLAVAudioDecompression", TSVLAVAudioCompression::ClassPropertyTable());
    return table;
}

} // namespace sonvera
