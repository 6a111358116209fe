// A filter that scales every sample by a real factor (MultiplyByReal: rounded, saturated at
// the width's range), set as a factor or in decibels.
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
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;

private:
    double FGain = 1.0;
};

} // namespace sonvera
