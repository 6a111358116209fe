// The serialized form of an audio buffer: the generic buffer's entries (its sample bytes),
// then the format as "Size", "Channels", "BitsPerSample", "SampleRate", the group
// "ChannelMask" of one Boolean per speaker, "ExtraChannelMask" when the mask has bits no
// speaker stands for, "Float" (true) for float samples, and the class name "ClassName".
#include <cstring>
#include <optional>

#include "SVAudioBufferLayout.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr const char* KSizeEntry = "Size";
constexpr const char* KChannelsEntry = "Channels";
constexpr const char* KBitsEntry = "BitsPerSample";
constexpr const char* KRateEntry = "SampleRate";
constexpr const char* KMaskGroup = "ChannelMask";
constexpr const char* KExtraMaskEntry = "ExtraChannelMask";
constexpr const char* KFloatEntry = "Float";
constexpr const char* KClassNameEntry = "ClassName";
constexpr const char* KClassName = "TSVAudioBuffer";

// The mask bits of the named speakers, and those above them.
constexpr uint32_t KSpeakerBits = (uint32_t{1} << KSVSpeakerCount) - 1;

struct TSerializedFormat {
    int32_t Size;
    int32_t Channels;
    int32_t Bits;
    int32_t Rate;
    TSVSpeakers Mask;
    bool Float;
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
    int32_t extra = 0;
    if (AReader.ReadInteger(KExtraMaskEntry, extra))
        format.Mask =
            format.Mask | TSVSpeakers::FromMask(static_cast<uint32_t>(extra) & ~KSpeakerBits);
    if (!AReader.ReadBoolean(KFloatEntry, format.Float))
        format.Float = false;
    if (format.Float && format.Bits != 32)
        throw EReadError(FormatMessage("Float samples of %d bits are not supported", format.Bits));
    return format;
}

// The sample bytes a format needs, refused (EReadError) beyond what the document justifies:
// exactly the bytes it carries, or at most KSVMaxUncarriedSampleBytes when it carries none.
uint64_t JustifiedSampleBytes(const TSVStoreLayout& ALayout, std::optional<uint64_t> ACarried) {
    const uint64_t sampleBytes = ALayout.StoreSize - QXStoreHeaderSize;
    if (ACarried && *ACarried != sampleBytes)
        throw EReadError(
            FormatMessage("Data size mismatch = %llu", static_cast<unsigned long long>(*ACarried)));
    if (!ACarried && sampleBytes > KSVMaxUncarriedSampleBytes)
        throw EReadError(FormatMessage("Size out of range without data = %llu",
                                       static_cast<unsigned long long>(sampleBytes)));
    return sampleBytes;
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
    if (const uint32_t extra = FChannelMask.Mask() & ~KSpeakerBits)
        AWriter->WriteInteger(KExtraMaskEntry, static_cast<int32_t>(extra));
    if (FFloat)
        AWriter->WriteBoolean(KFloatEntry, true);
    AWriter->WriteString(KClassNameEntry, KClassName);
}

void TSVAudioBuffer::InternalSerializationRead(const TRef<IReader>& AReader) {
    // A document that lacks part of the format describes nothing this buffer can take: the
    // buffer keeps its format, store and samples, and the bytes the document carries are not
    // even read.
    const std::optional<TSerializedFormat> format = ReadFormat(*AReader);
    if (!format)
        return;
    TRVMediaBuffer::InternalSerializationRead(AReader);
    const TSVStoreLayout layout =
        SVStoreLayout<EReadError>(format->Rate, format->Bits, format->Channels, format->Size);
    // Checked before the store is allocated, so that a forged size allocates nothing.
    const std::optional<uint64_t> carried = CarriedByteCount();
    const uint64_t sampleBytes = JustifiedSampleBytes(layout, carried);
    const bool sameFormat = format->Channels == FChannels && format->Bits == FBitsPerSample &&
                            format->Rate == GetSamplesPerSecond() && format->Mask == FChannelMask &&
                            static_cast<uint32_t>(format->Size) == GetSize() &&
                            format->Float == FFloat;
    if (sameFormat)
        return;
    auto* store = new TSVSmartAudioBuffer(layout.StoreSize);
    SVWriteHeader(store->GetData(), layout, format->Rate, format->Bits, format->Channels,
                  SVKeptChannelMask(format->Channels, format->Mask), format->Float);
    // A store that the document's bytes will not fill must not show what its memory held.
    if (!carried)
        std::memset(static_cast<uint8_t*>(store->GetData()) + QXStoreHeaderSize, 0, sampleBytes);
    AttachContainer(store, layout.StoreSize);
}

TRef<IQXDataBuffer> SVReadDataBuffer(const TRef<IReader>& AReader) {
    Assert(static_cast<bool>(AReader), "SVSimpleAudioBuffer");
    std::string name;
    if (!AReader->ReadString(KClassNameEntry, name))
        throw EReadError("The document names no class");
    if (!TClassManagement::IsClassRegistered(name))
        throw EReadError("The document names an unknown class: " + name);
    TRef<IQXDataBuffer> buffer;
    if (!Supports<IQXDataBuffer>(TClassManagement::CreateObject(name), buffer))
        throw EReadError("The document's class is not a data buffer: " + name);
    buffer->SerializationRead(AReader);
    return buffer;
}

} // namespace sonvera
