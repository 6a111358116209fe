#include "sonvera/platform/pins/PXFormatConverter.h"

#include "PXCountedRegistry.h"

namespace sonvera {

namespace {

// Registries are never destroyed: units unregister at unload, which may run after the
// destructors of statics made during start-up.
TPXCountedRegistry<std::string, TPXFormatConverterClass>& Converters() {
    static auto& registry = *new TPXCountedRegistry<std::string, TPXFormatConverterClass>();
    return registry;
}

} // namespace

TPXFormatConverter::TPXFormatConverter() : TLockComponent(nullptr) {}

TPXFormatConverter::~TPXFormatConverter() {
    // The source pin first: nothing flows out while the sink pin goes.
    FSourcePin.reset();
    FSinkPin.reset();
}

void TPXFormatConverter::SetPins(std::unique_ptr<TPXPin> ASinkPin,
                                 std::unique_ptr<TPXPin> ASourcePin) {
    FSinkPin = std::move(ASinkPin);
    FSourcePin = std::move(ASourcePin);
    FSinkPin->FConverter = this;
    FSourcePin->FConverter = this;
    FSourcePin->AddDependency(FSinkPin.get());
}

bool TPXFormatConverter::SourceOperationEvent(TPXPin*, TPXPin*, const TGUID&,
                                              const TRef<IPXNotifyOperation>& AOperation,
                                              uint32_t AState) {
    return FSinkPin->Notify(AOperation, AState);
}

void PXRegisterTypeConverters(const std::vector<TPXFormatConverterClass>& AClasses) {
    Converters().Register(
        AClasses, [](const TPXFormatConverterClass& AClass) { return AClass.Name; },
        [](const TPXFormatConverterClass& A, const TPXFormatConverterClass& B) {
            return A.Create == B.Create && A.Input == B.Input && A.Output == B.Output;
        });
}

void PXUnregisterTypeConverters(const std::vector<TPXFormatConverterClass>& AClasses) {
    for (const TPXFormatConverterClass& converterClass : AClasses)
        Converters().Unregister(converterClass.Name);
}

std::vector<TPXFormatConverterClass> PXRegisteredTypeConverters() {
    return Converters().Entries();
}

bool PXFindTypeConverter(const TGUID& AInput, const TGUID& AOutput,
                         TPXFormatConverterClass& AClass) {
    auto found = Converters().FindFirst([&](const TPXFormatConverterClass& AEntry) {
        return AEntry.Input == AInput && AEntry.Output == AOutput;
    });
    if (found)
        AClass = *found;
    return found.has_value();
}

} // namespace sonvera
