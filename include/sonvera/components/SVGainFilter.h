// A filter that scales every sample by a real factor (SVApplyGain: rounded, saturated at the
// width's range, 8-bit samples about their silence), set as a factor or in decibels. Float
// samples are scaled as floats, and a change of factor while they run moves over one buffer
// instead of jumping (no click).
#pragma once

#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

class TSVGainFilter : public TSVCommonFilter {
public:
    using TSVCommonFilter::TSVCommonFilter;

    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // The factor (1.0); a negative, infinite or NaN factor is refused with EArgumentError.
    double GetGain() const { return GetPropValue(FGain); }
    void SetGain(double AValue);
    // The factor in decibels: 20 log10(factor).
    double GetGainDB() const;
    void SetGainDB(double AValue);

protected:
    void AudioStreamStart(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;

private:
    double FGain = 1.0;
    float FApplied = 1.0f; // the factor the last float buffer ended with
};

} // namespace sonvera
