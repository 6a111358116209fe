// The audio-to-real converter: a splitter whose channels leave as real-data streams, one
// output pin per channel, optionally normalised to the range -1 to 1. On the palette it is a
// converter.
#pragma once

#include "sonvera/components/SVCommonSplitter.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

class TSVAudioToReal : public TSVCommonSplitter {
public:
    // Fully built: two output pins.
    explicit TSVAudioToReal(TPersistent* AOwner);

    // Design-time metadata: the category "Converters".
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    bool GetNormalize() const override;
    void SetNormalize(bool AValue);

protected:
    // A real-data source pin; final, so that every output pin is one.
    TPXPin* CreateSourcePin(const TPXPinCreated& AOnCreated) final;
    // Submits the values on the channel's pin.
    void SplitBuffer(int32_t AChannel, const TRef<IQXRealBuffer>& ABuffer) override;

private:
    bool FNormalize = false;
};

// The unit's registration: puts the converter on the designer's palette (RegisterComponents),
// and takes it off again.
void RegisterSVAudioToReal();
void UnregisterSVAudioToReal();

} // namespace sonvera
