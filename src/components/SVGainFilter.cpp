#include "sonvera/components/SVGainFilter.h"

#include <cmath>

#include "sonvera/buffers/SVFloatFrames.h"
#include "sonvera/components/Categories.h"
#include "sonvera/primitives/SVFloatKernels.h"
#include "sonvera/primitives/SVSampleKernels.h"

namespace sonvera {

const TClassInfo& TSVGainFilter::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSVGainFilter",
                                 .Category = &TSonveraFiltersToolbarCategory::ClassInfo(),
                                 .ShortName = "gain",
                                 .Description =
                                     "Multiplies every sample by a factor (rounded, saturated)"};
    return info;
}

const TPropertyTableBase& TSVGainFilter::ClassPropertyTable() {
    using T = TSVGainFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVGainFilter", TQXBasicThreadedEnableFilter::ClassPropertyTable())
            .Double("Gain", 1.0, &T::GetGain, &T::SetGain)
            .About("the factor samples are multiplied by; a value in dB is turned into one",
                   puFactor);
    return table;
}

void TSVGainFilter::SetGain(double AValue) {
    // A negative factor is most often a level meant in decibels.
    if (std::isfinite(AValue) && AValue < 0)
        throw EArgumentError(
            FormatMessage("Gain %g is not a factor of 0 or more (%gdB is a level)", AValue, AValue));
    if (!std::isfinite(AValue))
        throw EArgumentError("Gain is not a finite factor");
    SetPropValue("Gain", FGain, AValue);
}

double TSVGainFilter::GetGainDB() const {
    return 20.0 * std::log10(GetGain());
}

void TSVGainFilter::SetGainDB(double AValue) {
    SetGain(std::pow(10.0, AValue / 20.0));
}

void TSVGainFilter::AudioStreamStart(TPXStartWaveOperation& AOperation) {
    FApplied = static_cast<float>(GetGain());
    TSVCommonFilter::AudioStreamStart(AOperation);
}

void TSVGainFilter::FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                            TRef<ISVAudioBuffer>& AOutBuffer, bool&) {
    const double gain = GetGain();
    if (SVIsFloatBuffer(*AOutBuffer)) {
        const auto target = static_cast<float>(gain);
        if (target == 1.0f && FApplied == 1.0f)
            return;
        const TSVFloatFrames frames = SVModifyFloatFrames(AOutBuffer);
        if (target == FApplied)
            SVScaleFloat(frames.Data(), frames.Count(), target);
        else
            SVRampFloat(frames.Data(), frames.Frames(), frames.Channels(), FApplied, target);
        FApplied = target;
        return;
    }
    if (gain == 1.0)
        return;
    // Read from the input's samples into a store of the output's own (Write gives it one
    // without copying the shared samples first): one pass, saturating as a level control must.
    const void* source = AInBuffer->Read();
    SVApplyGain(source, AOutBuffer->Write(), AOutBuffer->GetSampleBitWidth(),
                size_t{AOutBuffer->GetSize()} * static_cast<uint32_t>(AOutBuffer->GetChannels()),
                gain);
}

} // namespace sonvera
