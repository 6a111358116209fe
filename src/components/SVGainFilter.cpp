#include "sonvera/components/SVGainFilter.h"

#include <cmath>

#include "sonvera/buffers/SVFloatFrames.h"
#include "sonvera/primitives/SVFloatKernels.h"

namespace sonvera {

const TPropertyTableBase& TSVGainFilter::ClassPropertyTable() {
    using T = TSVGainFilter;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVGainFilter", TQXBasicThreadedEnableFilter::ClassPropertyTable())
            .Double("Gain", 1.0, &T::GetGain, &T::SetGain);
    return table;
}

void TSVGainFilter::SetGain(double AValue) {
    if (!std::isfinite(AValue) || AValue < 0)
        throw EArgumentError("Gain out of range");
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

void TSVGainFilter::FilterInternalOperation(const TRef<ISVAudioBuffer>&,
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
    if (gain != 1.0)
        AOutBuffer->MultiplyByReal(gain); // the output gets samples of its own first
}

} // namespace sonvera
