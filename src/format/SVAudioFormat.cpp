#include "sonvera/format/SVAudioFormat.h"

#include <limits>

namespace sonvera {

namespace {

constexpr uint32_t DefaultChannels = 2;
constexpr uint32_t DefaultBits = 16;
constexpr uint32_t DefaultSampleRate = 11025;
constexpr TSVSpeakers DefaultChannelMask{spFrontLeft, spFrontRight};

constexpr uint32_t MinChannels = 1;
constexpr uint32_t MaxChannels = 32;
constexpr uint32_t MinBits = 1;
constexpr uint32_t MaxBits = 32;
constexpr uint32_t MinBufferSize = 1;

// The container holding AValidBits: the next multiple of 8.
constexpr uint16_t ContainerBits(uint16_t AValidBits) {
    return static_cast<uint16_t>((AValidBits + 7u) / 8u * 8u);
}

} // namespace

template <> const TEnumTypeInfo& EnumTypeInfo<TRVCompressionInfo>() {
    static const TEnumTypeInfo info(
        "TRVCompressionInfo",
        {{"ciCode", ciCode}, {"ciDescription", ciDescription}, {"ciBoth", ciBoth}});
    return info;
}

TSVAudioFormatBasic::TSVAudioFormatBasic(TPersistentNotify AOnChange, TPersistent* AOwner,
                                         TRef<IChangeNotifyLock> ALock, TRef<IInterface> AContext)
    : TLockPersistent(std::move(AOnChange), AOwner, std::move(ALock), std::move(AContext)) {
    FWaveFormat.Format.nChannels = static_cast<uint16_t>(DefaultChannels);
    FWaveFormat.Samples.wValidBitsPerSample = static_cast<uint16_t>(DefaultBits);
    FWaveFormat.Format.nSamplesPerSec = DefaultSampleRate;
    FWaveFormat.dwChannelMask = DefaultChannelMask.Mask();
    CalculateFormat();
}

const TPropertyTableBase& TSVAudioFormatBasic::ClassPropertyTable() {
    using T = TSVAudioFormatBasic;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVAudioFormatBasic", TLockPersistent::ClassPropertyTable())
            .Cardinal("Channels", DefaultChannels, &T::GetCountChannels, &T::SetCountChannels)
            .Cardinal("Bits", DefaultBits, &T::GetBits, &T::SetBits)
            .Cardinal("SampleRate", DefaultSampleRate, &T::GetSampleRate, &T::SetSampleRate)
            .Set(
                "ChannelMask", EnumTypeInfo<TSVSpeaker>(), DefaultChannelMask.Mask(),
                [](const T& AFormat) { return AFormat.GetChannelMask().Mask(); },
                [](T& AFormat, uint32_t AMask) {
                    AFormat.SetChannelMask(TSVSpeakers::FromMask(AMask));
                });
    return table;
}

uint32_t TSVAudioFormatBasic::GetCountChannels() const {
    return GetPropValue(FWaveFormat.Format.nChannels);
}

void TSVAudioFormatBasic::SetCountChannels(uint32_t AValue) {
    SetBoundedPropValue("Channels", FWaveFormat.Format.nChannels, AValue, MinChannels, MaxChannels,
                        [this] { CalculateFormat(); });
}

uint32_t TSVAudioFormatBasic::GetBits() const {
    return GetPropValue(FWaveFormat.Samples.wValidBitsPerSample);
}

void TSVAudioFormatBasic::SetBits(uint32_t AValue) {
    SetBoundedPropValue("Bits", FWaveFormat.Samples.wValidBitsPerSample, AValue, MinBits, MaxBits,
                        [this] { CalculateFormat(); });
}

uint32_t TSVAudioFormatBasic::GetSampleRate() const {
    return GetPropValue(FWaveFormat.Format.nSamplesPerSec);
}

void TSVAudioFormatBasic::SetSampleRate(uint32_t AValue) {
    SetPropValue("SampleRate", FWaveFormat.Format.nSamplesPerSec, AValue,
                 [this] { CalculateFormat(); });
}

TSVSpeakers TSVAudioFormatBasic::GetChannelMask() const {
    return TSVSpeakers::FromMask(GetPropValue(FWaveFormat.dwChannelMask));
}

void TSVAudioFormatBasic::SetChannelMask(TSVSpeakers AValue) {
    SetPropValue("ChannelMask", FWaveFormat.dwChannelMask, AValue.Mask(),
                 [this] { CalculateFormat(); });
}

void TSVAudioFormatBasic::CalculateFormat() {
    TChangeNotifyLockGuard guard(*GetLock());
    tWAVEFORMATEX& format = FWaveFormat.Format;
    format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.wBitsPerSample = ContainerBits(FWaveFormat.Samples.wValidBitsPerSample);
    // Both products are kept to the width of their record fields, as the record holds them.
    format.nBlockAlign = static_cast<uint16_t>(format.wBitsPerSample / 8u * format.nChannels);
    format.nAvgBytesPerSec =
        static_cast<uint32_t>(uint64_t{format.nSamplesPerSec} * format.nBlockAlign);
    format.cbSize = SV_EXTENSIBLE_EXTRA_SIZE;
    FWaveFormat.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
}

const TSVWaveFormatExtensible* TSVAudioFormatBasic::GetWaveFormat() const {
    // Entering the lock waits for a change under way; the record is then read outside it.
    GetLock()->Enter();
    GetLock()->Leave();
    return &FWaveFormat;
}

const TPropertyTableBase& TSVOptionalBasicAudioFormat::ClassPropertyTable() {
    using T = TSVOptionalBasicAudioFormat;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVOptionalBasicAudioFormat", TSVAudioFormatBasic::ClassPropertyTable())
            .Boolean("Enabled", false, &T::GetEnabled, &T::SetEnabled);
    return table;
}

void TSVOptionalBasicAudioFormat::SetEnabled(bool AValue) {
    SetPropValue("Enabled", FEnabled, AValue);
}

const TPropertyTableBase& TSVAudioFormat::ClassPropertyTable() {
    using T = TSVAudioFormat;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVAudioFormat", TSVAudioFormatBasic::ClassPropertyTable())
            .Cardinal("BufferSize", T::DefaultBufferSize, &T::GetBufferSize, &T::SetBufferSize);
    return table;
}

void TSVAudioFormat::SetBufferSize(uint32_t AValue) {
    SetBoundedPropValue("BufferSize", FBufferSize, AValue, MinBufferSize,
                        std::numeric_limits<uint32_t>::max());
}

const TPropertyTableBase& TSVOptionalAudioFormat::ClassPropertyTable() {
    using T = TSVOptionalAudioFormat;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TSVOptionalAudioFormat", TSVAudioFormat::ClassPropertyTable())
            .Boolean("Enabled", false, &T::GetEnabled, &T::SetEnabled);
    return table;
}

void TSVOptionalAudioFormat::SetEnabled(bool AValue) {
    SetPropValue("Enabled", FEnabled, AValue);
}

} // namespace sonvera
