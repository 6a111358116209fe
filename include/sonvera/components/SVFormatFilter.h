// A filter that changes the sample width and the speaker layout of a stream: channels are
// paired by speaker (speakers the input lacks are silent, speakers the output lacks dropped),
// and the start downstream announces the new format.
//
// Widths change by the published Rule:
// - wrBitTransparent (the default): the rule of file tools, bit for bit: widening is an exact
//   shift, narrowing rounds to nearest and saturates, after TPDF dither of one output step when
//   Dither is set (see SVBitTransparent.h). 16 -> 24 -> 16 gives back every sample, and a 16-bit
//   stream written as 24 bits holds the bytes other tools write. 8-bit samples are the files'
//   unsigned bytes (silence 128).
// - wrFullRange: CopyToAudio's rule, which maps the full range of one width onto the full range
//   of the other (the rule of the buffers' own ConvertBits).
// Float samples (Float, or a float input with Bits 0) convert at either rule as the buffers
// convert them: an integer x of N bits is x / 2^(N-1), a float becomes x * 2^(N-1) rounded to
// nearest and saturated (after the TPDF dither when Dither is set).
#pragma once

#include <mutex>

#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/primitives/SVBitTransparent.h"

namespace sonvera {

enum TSVWidthRule : uint8_t { wrBitTransparent, wrFullRange };

template <> const TEnumTypeInfo& EnumTypeInfo<TSVWidthRule>();

// Published: Bits (0), Float (false), ChannelMask (empty), Rule (wrBitTransparent), Dither (false).

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
    void SetFloat(bool AValue) { SetPropValue("Float", FFloat, AValue); }
    // The output speakers; empty keeps the input's layout.
    TSVSpeakers GetChannelMask() const { return GetPropValue(FChannelMask); }
    void SetChannelMask(TSVSpeakers AValue);

    TSVWidthRule GetRule() const { return GetPropValue(FRule); }
    void SetRule(TSVWidthRule AValue);
    // TPDF dither on narrowing under the bit-transparent rule; the noise starts from the same
    // seed at each stream's start, so a stream converted twice gives the same bytes.
    bool GetDither() const { return GetPropValue(FDither); }
    void SetDither(bool AValue) { SetPropValue("Dither", FDither, AValue); }

    // The record the filter makes of AInput.
    TSVWaveFormatExtensible OutputFormat(const TSVWaveFormatExtensible& AInput) const;

protected:
    TRef<IPXNotifyOperation> OutputStartOperation(TPXStartWaveOperation& AOperation) override;
    void FilterInternalOperation(const TRef<ISVAudioBuffer>& AInBuffer,
                                 TRef<ISVAudioBuffer>& AOutBuffer, bool& ASend) override;

private:
    TRef<ISVAudioBuffer> ConvertTransparently(const TRef<ISVAudioBuffer>& AInBuffer,
                                              const TSVWaveFormatExtensible& AFormat);

    TRef<ISVAudioBuffer> ConvertFloat(const TRef<ISVAudioBuffer>& AInBuffer,
                                      const TSVWaveFormatExtensible& AFormat);

    uint32_t FBits = 0;
    bool FFloat = false;
    TSVSpeakers FChannelMask;
    TSVWidthRule FRule = wrBitTransparent;
    bool FDither = false;
    // FStreamFormat and FDitherState, set at a start and used per buffer; taken after the
    // component lock, never before it.
    mutable std::mutex FStreamLock;
    TSVWaveFormatExtensible FStreamFormat{};
    TSVDitherState FDitherState;
};

} // namespace sonvera
