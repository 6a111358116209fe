// Up- and downmixing by matrix: every output channel is a weighted sum of the input channels.
//
// Layout names the output speakers: mono, stereo, 5.1 or 7.1. Without a Matrix the weights are
// the standard ones: a speaker both layouts have passes as it is; centre and surround speakers
// fold into front left and right at 0.7071 (-3 dB) and the subwoofer is left out (the 5.1 to
// stereo downmix of ITU-R BS.775); a mono output is the average of that stereo fold; a mono
// input feeds front left and right alike. Matrix replaces them: one row per output channel,
// rows apart by ';', the weights of the input channels in a row apart by spaces or commas
// ("0.5 0.5; 1 0"). The output is float.
#pragma once

#include <string>
#include <vector>

#include "sonvera/effects/SVEffectFilter.h"

namespace sonvera {

// The speakers of a layout name; EArgumentError for a name that is none of the four.
TSVSpeakers SVLayoutSpeakers(const std::string& AName);

// The standard weights from the speakers AFrom to the speakers ATo: ATo.Count() rows of
// AFrom.Count() weights, channels in ascending speaker order.
std::vector<float> SVRemixMatrix(TSVSpeakers AFrom, TSVSpeakers ATo);

// The weights of a matrix text; EArgumentError naming what is wrong when it has not AOutputs
// rows of AInputs finite numbers.
std::vector<float> SVParseRemixMatrix(const std::string& AText, size_t AOutputs, size_t AInputs);

class TSVRemixFilter : public TSVEffectFilter {
public:
    using TSVEffectFilter::TSVEffectFilter;
    static const TClassInfo& ClassInfo();
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // "stereo"; another name than the four is refused with EArgumentError.
    std::string GetLayout() const { return GetPropValue(FLayout); }
    void SetLayout(const std::string& AValue);
    // Checked against the stream's channels at its start.
    std::string GetMatrix() const { return GetPropValue(FMatrix); }
    void SetMatrix(const std::string& AValue) { SetPropValue("Matrix", FMatrix, AValue); }

protected:
    void ResetState(const TSVWaveFormatExtensible& AFormat) override;
    TSVWaveFormatExtensible OutputFormatOf(const TSVWaveFormatExtensible& AInput) const override;
    TRef<ISVAudioBuffer> ProcessBuffer(const TRef<ISVAudioBuffer>& AFloats) override;

private:
    std::string FLayout = "stereo";
    std::string FMatrix;
    // Fixed at a stream start.
    TSVSpeakers FSpeakers = KSVSpeakersStereo;
    std::vector<float> FWeights;
};

} // namespace sonvera
