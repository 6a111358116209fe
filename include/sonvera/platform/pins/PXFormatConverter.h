// Format converters: small objects that Connect places between a source and a sink whose stream
// types differ, turning the source's operations into operations of the sink's stream. A
// converter owns one sink pin (fed by the source) and one source pin (feeding the sink); the
// source pin of the connection owns the converter.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace sonvera {

class TPXFormatConverter : public TLockComponent {
public:
    TPXFormatConverter();
    ~TPXFormatConverter() override;

    TPXPin* GetSinkPin() const noexcept { return FSinkPin.get(); }
    TPXPin* GetSourcePin() const noexcept { return FSourcePin.get(); }

protected:
    // Takes the converter's two pins; the constructor of every converter calls it once.
    void SetPins(std::unique_ptr<TPXPin> ASinkPin, std::unique_ptr<TPXPin> ASourcePin);

    // The dispatch handler of the source pin: operations that come back from the sink
    // (queries, pump requests) travel on upstream through the sink pin.
    bool SourceOperationEvent(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                              const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

private:
    std::unique_ptr<TPXPin> FSinkPin;
    std::unique_ptr<TPXPin> FSourcePin;
};

// A converter class as the registry knows it: which stream it reads, which it writes, and how
// to make one.
struct TPXFormatConverterClass {
    std::string Name;
    TGUID Input;
    TGUID Output;
    std::unique_ptr<TPXFormatConverter> (*Create)();

    template <class TConverter>
    static TPXFormatConverterClass Of(std::string AName, const TGUID& AInput,
                                      const TGUID& AOutput) {
        return {std::move(AName), AInput, AOutput,
                [] { return std::unique_ptr<TPXFormatConverter>(new TConverter()); }};
    }
};

// Registration is counted by name, like the class registry; the first registered converter
// of a pair of streams is the one Connect uses.
void PXRegisterTypeConverters(const std::vector<TPXFormatConverterClass>& AClasses);
void PXUnregisterTypeConverters(const std::vector<TPXFormatConverterClass>& AClasses);
std::vector<TPXFormatConverterClass> PXRegisteredTypeConverters();
// The converter from AInput to AOutput, if one is registered.
bool PXFindTypeConverter(const TGUID& AInput, const TGUID& AOutput,
                         TPXFormatConverterClass& AClass);

} // namespace sonvera
