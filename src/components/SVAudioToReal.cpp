#include "sonvera/components/SVAudioToReal.h"

#include "sonvera/components/Categories.h"

namespace sonvera {

TSVAudioToReal::TSVAudioToReal(TPersistent* AOwner) : TSVCommonSplitter(AOwner) {
    AfterConstruction();
}

const TClassInfo& TSVAudioToReal::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVAudioToReal",
                                 .Category = &TSonveraConvertersToolbarCategory::ClassInfo(),
                                 .ShortName = "audio-to-real",
                                 .Description =
                                     "Splits audio into one stream of reals per channel"};
    return info;
}

const TPropertyTableBase& TSVAudioToReal::ClassPropertyTable() {
    using T = TSVAudioToReal;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVAudioToReal", TSVCommonSplitter::ClassPropertyTable())
            .Boolean("Normalize", false, &T::GetNormalize, &T::SetNormalize);
    return table;
}

bool TSVAudioToReal::GetNormalize() const {
    return GetPropValue(FNormalize);
}

void TSVAudioToReal::SetNormalize(bool AValue) {
    SetPropValue("Normalize", FNormalize, AValue);
}

TPXPin* TSVAudioToReal::CreateSourcePin(const TPXPinCreated& AOnCreated) {
    // Owned by the output pin list, which AOnCreated adds it to.
    return new TQXPXRealSourcePin(this, AOnCreated, GetLock(), SourceDispatchHandler());
}

void TSVAudioToReal::SplitBuffer(int32_t AChannel, const TRef<IQXRealBuffer>& ABuffer) {
    static_cast<TQXPXRealSourcePin*>(GetOutputPins()->Items(static_cast<uint32_t>(AChannel)))
        ->SubmitBuffer(ABuffer);
}

namespace {

std::vector<TComponentClass> AudioToRealClasses() {
    return {ComponentClassOf<TSVAudioToReal>()};
}

} // namespace

void RegisterSVAudioToReal() {
    RegisterComponents(AudioToRealClasses());
}

void UnregisterSVAudioToReal() {
    UnregisterComponents(AudioToRealClasses());
}

} // namespace sonvera
