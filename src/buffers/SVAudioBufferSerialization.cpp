// The serialized form of an audio buffer: the generic buffer's entries (its sample bytes),
// then the format as "Size", "Channels", "BitsPerSample", "SampleRate" and the group
// "ChannelMask" of one Boolean per speaker.
#include <optional>

#include "SVAudioBufferLayout.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KSizeEntry = "Size";
constexpr const char* KChannelsEntry = "Channels";
constexpr const char* KBitsEntry = "BitsPerSample";
constexpr const char* KRateEntry = "SampleRate";
constexpr const char* KMaskGroup = "ChannelMask";

struct TSerializedFormat {
    int32_t Size;
    int32_t Channels;
    int32_t Bits;
    int32_t Rate;
    TSVSpeakers Mask;
};

// The four numbers and the mask group, or nothing as soon as one of them is absent.
std::optional<TSerializedFormat> ReadFormat(IReader& AReader) {
    TSerializedFormat format{};
    if (!AReader.ReadInteger(KSizeEntry, format.Size) ||
        !AReader.ReadInteger(KChannelsEntry, format.Channels) ||
        !AReader.ReadInteger(KBitsEntry, format.Bits) ||
        !AReader.ReadInteger(KRateEntry, format.Rate) || !AReader.BeginGroup(KMaskGroup))
        return std::nullopt;
    const std::vector<std::string> names = EnumTypeInfo<TSVSpeaker>().Names();
    for (size_t ordinal = 0; ordinal < names.size(); ++ordinal) {
        bool present = false;
        if (AReader.ReadBoolean(names[ordinal], present) && present)
            format.Mask.Include(static_cast<TSVSpeaker>(ordinal));
    }
    AReader.EndGroup();
    return format;
}

} // namespace

void TSVAudioBuffer::InternalSerializationWrite(const TRef<IWriter>& AWriter) {
    TRVMediaBuffer::InternalSerializationWrite(AWriter);
    AWriter->WriteInteger(KSizeEntry, static_cast<int32_t>(GetSize()))
        ->WriteInteger(KChannelsEntry, FChannels)
        ->WriteInteger(KBitsEntry, FBitsPerSample)
        ->WriteInteger(KRateEntry, GetSamplesPerSecond());
    AWriter->BeginGroup(KMaskGroup);
    uint32_t pattern = FChannelMask.Mask();
    for (const std::string& name : EnumTypeInfo<TSVSpeaker>().Names()) {
        AWriter->WriteBoolean(name, (pattern & 1u) != 0);
        pattern >>= 1;
    }
    AWriter->EndGroup();
}

void TSVAudioBuffer::InternalSerializationRead(const TRef<IReader>& AReader) {
    TRVMediaBuffer::InternalSerializationRead(AReader);
    const std::optional<TSerializedFormat> format = ReadFormat(*AReader);
    if (!format)
        return;
    const TSVStoreLayout layout =
        SVStoreLayout<EReadError>(format->Rate, format->Bits, format->Channels, format->Size);
    // The bytes the stream carries must fill the samples exactly: checked before the store is
    // allocated, so that a forged size never allocates more than the stream holds.
    const std::optional<uint64_t> carried = CarriedByteCount();
    const uint64_t sampleBytes = layout.StoreSize - QXStoreHeaderSize;
    if (carried && *carried != sampleBytes)
        throw EReadError(
            FormatMessage("Data size mismatch = %llu", static_cast<unsigned long long>(*carried)));
    const bool sameFormat = format->Channels == FChannels && format->Bits == FBitsPerSample &&
                            format->Rate == GetSamplesPerSecond() && format->Mask == FChannelMask &&
                            static_cast<uint32_t>(format->Size) == GetSize();
    if (sameFormat)
        return;
    auto* store = new TSVSmartAudioBuffer(layout.StoreSize);
    SVWriteHeader(store->GetData(), layout, format->Rate, format->Bits, format->Channels,
                  SVKeptChannelMask(format->Channels, format->Mask));
    AttachContainer(store, layout.StoreSize);
}

} // namespace sonvera
