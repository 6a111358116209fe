// The binary side of audio codec components: a compressor sends encoded data on a binary
// output pin, a decompressor receives it on a binary input pin. The audio side and the coding
// belong to the subclasses.
#pragma once

#include <memory>

#include "sonvera/platform/bases/QXBasicThreadedEnableFilter.h"
#include "sonvera/platform/pins/QXPins.h"

namespace sonvera {

class TSVBasicCompressor : public TQXBasicThreadedEnableFilter {
public:
    explicit TSVBasicCompressor(TPersistent* AOwner);
    ~TSVBasicCompressor() override;

    virtual TQXPXBinarySourcePin* GetOutputPin() { return FOutputPin.get(); }
    // Operations that come back from the consumers of the encoded data.
    virtual bool SourceDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                                const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) = 0;

private:
    std::unique_ptr<TQXPXBinarySourcePin> FOutputPin;
};

class TSVBasicDecompressor : public TQXBasicThreadedEnableFilter {
public:
    explicit TSVBasicDecompressor(TPersistent* AOwner);
    ~TSVBasicDecompressor() override;

    TQXPXBinarySinkPin* GetInputPin() const noexcept { return FInputPin.get(); }

private:
    std::unique_ptr<TQXPXBinarySinkPin> FInputPin;
};

} // namespace sonvera
