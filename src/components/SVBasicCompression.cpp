#include "sonvera/components/SVBasicCompression.h"

namespace sonvera {

TSVBasicCompressor::TSVBasicCompressor(TPersistent* AOwner) : TQXBasicThreadedEnableFilter(AOwner) {
    FOutputPin = std::make_unique<TQXPXBinarySourcePin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVBasicCompressor::SourceDispatch));
}

TSVBasicCompressor::~TSVBasicCompressor() {
    FOutputPin.reset();
}

TSVBasicDecompressor::TSVBasicDecompressor(TPersistent* AOwner)
    : TQXBasicThreadedEnableFilter(AOwner) {
    FInputPin = std::make_unique<TQXPXBinarySinkPin>(
        this, nullptr, GetLock(), PXDispatchTo(this, &TSVBasicDecompressor::SinkDispatch));
}

TSVBasicDecompressor::~TSVBasicDecompressor() {
    FInputPin.reset();
}

} // namespace sonvera
