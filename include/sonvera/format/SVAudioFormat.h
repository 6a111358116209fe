// Audio format descriptors: the published channel count, bits, sample rate and speaker mask of
// an audio-producing component, kept in a ready-made wave-format record that is recalculated
// after every change. Variants add the frames per buffer and an on/off switch.
#pragma once

#include <cstdint>

#include "sonvera/format/GMDXTypes.h"
#include "sonvera/format/SVSpeakers.h"
#include "sonvera/platform/runtime/LockPersistent.h"
#include "sonvera/platform/runtime/TypeInfo.h"

namespace sonvera {

// What a list of available codecs shows for each entry.
enum TRVCompressionInfo : uint8_t { ciCode, ciDescription, ciBoth };

template <> const TEnumTypeInfo& EnumTypeInfo<TRVCompressionInfo>();

// Published: Channels (2, clamped to 1..32), Bits (16, the valid bits, clamped to 1..32),
// SampleRate (11025), ChannelMask ([spFrontLeft,spFrontRight]). The mask is not reconciled
// with the channel count, and the rate is not checked.
//
// Every read and change goes through the lock shared with the owner. A change to an equal
// value (after clamping) does nothing; a real change tells the property-change listeners that
// it begins, stores the value, recalculates the record, tells them it is done and reports to
// the owner once, all inside the lock.
//
// A descriptor under construction reports nothing: its owner is usually still being built
// itself, so the defaults go straight into the record.
class TSVAudioFormatBasic : public TLockPersistent {
public:
    // All four arguments go to the runtime base unchanged (see TLockPersistent).
    TSVAudioFormatBasic(TPersistentNotify AOnChange, TPersistent* AOwner,
                        TRef<IChangeNotifyLock> ALock, TRef<IInterface> AContext = nullptr);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    uint32_t GetCountChannels() const;
    void SetCountChannels(uint32_t AValue);
    uint32_t GetBits() const;
    void SetBits(uint32_t AValue);
    uint32_t GetSampleRate() const;
    void SetSampleRate(uint32_t AValue);
    TSVSpeakers GetChannelMask() const;
    void SetChannelMask(TSVSpeakers AValue);

    // Rederives the format tag, container bits, block align, bytes per second, extension size
    // and PCM sub-format from the stored properties. The setters run it; it takes the lock.
    void CalculateFormat();

    // The embedded record, valid as long as the descriptor. The lock is taken and released
    // once, so the record of every change finished before the call is visible; a caller that
    // needs it consistent against later changes holds the owner's lock while reading.
    const TSVWaveFormatExtensible* GetWaveFormat() const;

private:
    // The record is packed; on a 4-byte boundary every field bound by the setters (channels at
    // 2, rate at 4, valid bits at 18, mask at 20) is naturally aligned.
    alignas(4) TSVWaveFormatExtensible FWaveFormat{};
};

// Adds Enabled (false).
class TSVOptionalBasicAudioFormat : public TSVAudioFormatBasic {
public:
    using TSVAudioFormatBasic::TSVAudioFormatBasic;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    bool GetEnabled() const { return GetPropValue(FEnabled); }
    void SetEnabled(bool AValue);

private:
    bool FEnabled = false;
};

// Adds BufferSize (1024 frames per buffer, at least 1; smaller values are clamped to 1). It
// does not touch the record.
class TSVAudioFormat : public TSVAudioFormatBasic {
public:
    static constexpr uint32_t DefaultBufferSize = 1024;

    using TSVAudioFormatBasic::TSVAudioFormatBasic;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    uint32_t GetBufferSize() const { return GetPropValue(FBufferSize); }
    void SetBufferSize(uint32_t AValue);

private:
    uint32_t FBufferSize = DefaultBufferSize;
};

// Adds Enabled (false) to BufferSize.
class TSVOptionalAudioFormat : public TSVAudioFormat {
public:
    using TSVAudioFormat::TSVAudioFormat;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    bool GetEnabled() const { return GetPropValue(FEnabled); }
    void SetEnabled(bool AValue);

private:
    bool FEnabled = false;
};

} // namespace sonvera
