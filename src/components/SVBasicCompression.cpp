#include "sonvera/components/SVBasicCompression.h"

namespace sonvera {

TSVBasicCompressor::TSVBasicCompressor(TPersistent* AOwner) : TQXBasicThreadedEnableFilter(AOwner) {
    FOutputPin = std::make_unique<TQXPXBinarySourcePin>(
        this, nullptr, GetLock(),
        [this](TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
               const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
            return SourceDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
        });
}

TSVBasicCompressor::~TSVBasicCompressor() {
    FOutputPin.reset();
}

TSVBasicDecompressor::TSVBasicDecompressor(TPersistent* AOwner)
    : TQXBasicThreadedEnableFilter(AOwner) {
    FInputPin = std::make_unique<TQXPXBinarySinkPin>(
        this, nullptr, GetLock(),
        [this](TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
               const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) {
            return SinkDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
        });
}

TSVBasicDecompressor::~TSVBasicDecompressor() {
    FInputPin.reset();
}

} // namespace sonvera
