#include "sonvera/codecs/RVLAVAudioCompression.h"

namespace sonvera {

TSVLAVAudioCompression&
TSVLAVAudioCompression::Create(const TOnCreated<TSVLAVAudioCompression>& AOnCreated,
                               TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                               TPersistentNotify AOnChange) {
    return Created(AOnCreated,
                   std::unique_ptr<TSVLAVAudioCompression>(new TSVLAVAudioCompression(
                       AOwner, std::move(ALock), nullptr, std::move(AOnChange))),
                   false);
}

TSVLAVAudioCompression&
TSVLAVAudioCompression::CreateEx(const TOnCreated<TSVLAVAudioCompression>& AOnCreated,
                                 TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                 TRVLAVCodecSource AOnGetCodec, TPersistentNotify AOnChange) {
    return Created(AOnCreated,
                   std::unique_ptr<TSVLAVAudioCompression>(new TSVLAVAudioCompression(
                       AOwner, std::move(ALock), std::move(AOnGetCodec), std::move(AOnChange))),
                   true);
}

const TPropertyTableBase& TSVLAVAudioCompression::ClassPropertyTable() {
    static const TPropertyTable<TSVLAVAudioCompression> table(
        "TSVLAVAudioCompression", TRVLAVCompression::ClassPropertyTable());
    return table;
}

std::vector<std::string>
TSVLAVAudioCompression::GetAvailableCompressions(TRVCompressionInfo AInfo) {
    return AvailableCompressions(ClassMediaType(), ClassIsDecompression(), AInfo);
}

void TSVLAVAudioCompression::GetAvailableCompressions(std::vector<std::string>& AList,
                                                      TRVCompressionInfo AInfo) {
    AList = GetAvailableCompressions(AInfo);
}

void TSVLAVAudioCompression::Close() {
    TRVLAVCompression::Close();
    FBuffer = nullptr;
}

TSVLAVAudioDecompression&
TSVLAVAudioDecompression::Create(const TOnCreated<TSVLAVAudioDecompression>& AOnCreated,
                                 TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                 TPersistentNotify AOnChange) {
    return Created(AOnCreated,
                   std::unique_ptr<TSVLAVAudioDecompression>(new TSVLAVAudioDecompression(
                       AOwner, std::move(ALock), nullptr, std::move(AOnChange))),
                   false);
}

TSVLAVAudioDecompression&
TSVLAVAudioDecompression::CreateEx(const TOnCreated<TSVLAVAudioDecompression>& AOnCreated,
                                   TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                   TRVLAVCodecSource AOnGetCodec, TPersistentNotify AOnChange) {
    return Created(AOnCreated,
                   std::unique_ptr<TSVLAVAudioDecompression>(new TSVLAVAudioDecompression(
                       AOwner, std::move(ALock), std::move(AOnGetCodec), std::move(AOnChange))),
                   true);
}

const TPropertyTableBase& TSVLAVAudioDecompression::ClassPropertyTable() {
    static const TPropertyTable<TSVLAVAudioDecompression> table(
        "TSVLAVAudioDecompression", TSVLAVAudioCompression::ClassPropertyTable());
    return table;
}

std::vector<std::string>
TSVLAVAudioDecompression::GetAvailableCompressions(TRVCompressionInfo AInfo) {
    return AvailableCompressions(ClassMediaType(), ClassIsDecompression(), AInfo);
}

void TSVLAVAudioDecompression::GetAvailableCompressions(std::vector<std::string>& AList,
                                                        TRVCompressionInfo AInfo) {
    AList = GetAvailableCompressions(AInfo);
}

} // namespace sonvera
