// A filter that changes the sample width and the speaker layout of a stream: every buffer is
// copied into the output format with CopyToAudio (widths converted, channels paired by speaker,
// speakers the input lacks silent), and the start downstream announces the new format. Float
// samples convert to and from every integer width: an integer of N bits is x / 2^(N-1) as
// float, a float becomes x * 2^(N-1) rounded to nearest and saturated.
#pragma once

#include <mutex>

#include "sonvera/components/SVCommonFilter.h"

namespace sonvera {

class TSVFormatFilter : public TSVCommonFilter {
public:
    using TSVCommonFilter::TSVCommonFilter;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    // 8, 16, 24 or 32 bits; 0 keeps the input's width (other values are refused).
    uint32_t GetBits() const { return GetPropValue(FBits); }
    void SetBits(uint32_t AValue);
    // Float output (false): 32-bit IEEE float samples whatever Bits says. Without it, a float
    // input stays float unless Bits names an integer width.
    bool GetFloat() const { return GetPropValue(FFloat); }
    void SetFloat(bool AValue);
    // The output speakers; empty keeps the input's layout.
    TSVSpeakers GetChannelMask() const { return GetPropValue(FChannelMask); }
    void SetChannelMask(TSVSpeakers AValue);

    // The record the filter makes of AInput.
    TSVWaveFormatExtensible OutputFormat(const TSVWaveFormatExtensible& AInput) const;

protected:
    TRef<IPXNotifyOperation> OutputStartOperation(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;

private:
    uint32_t FBits = 0;
    bool FFloat = false;
    TSVSpeakers FChannelMask;
    mutable std::mutex FStreamLock; // FStreamFormat, set at a start, read per buffer
    TSVWaveFormatExtensible FStreamFormat{};
};

} // namespace sonvera
