
#include "SVAudioBufferTestSupport.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

void ReadJson(const TRef<TSVAudioBuffer>& ABuffer, const std::string& AText) {
    ABuffer->SerializationRead(TJsonReader::Create(AText));
}

std::string MaskGroup(const std::vector<std::string>& ATrueNames) {
    std::string group = "{";
    for (const std::string& name : ATrueNames)
        group += (group.size() > 1 ? ",\"" : "\"") + name + "\":true";
    return group + "}";
}

std::string FormatDocument(const std::string& ASize, const std::string& AChannels,
                           const std::string& ABits, const std::string& ARate,
                           const std::string& AExtra = "") {
    return "{\"Size\":" + ASize + ",\"Channels\":" + AChannels + ",\"BitsPerSample\":" + ABits +
           ",\"SampleRate\":" + ARate + ",\"ChannelMask\":" + MaskGroup({}) + AExtra + "}";
}

} // namespace

TEST(SVAudioBufferSerialization, RoundTripsEveryWidthAndMaskIntoTheClassTheDocumentNames) {
    std::mt19937 random(11);
    const TSVSpeakers spread{spFrontLeft, spBackLeft, spSideRight};
    // Every width, then masks the library builds beyond the counted speaker positions.
    std::vector<std::pair<int32_t, TSVSpeakers>> cases;
    for (int32_t bits : {8, 12, 16, 20, 24, 32})
        cases.emplace_back(bits, spread);
    for (uint32_t mask : {0x3FFFFFu, 0x100000u, 0x80000001u})
        cases.emplace_back(16, TSVSpeakers::FromMask(mask));
    cases.emplace_back(0, spread); // float samples
    for (const auto& [bits, mask] : cases) {
        TRef<TSVAudioBuffer> source =
            bits ? TSVAudioBuffer::CreateSizeExObject(48000, bits, mask.Count(), 17, mask)
                 : TSVAudioBuffer::CreateFloatSizeExObject(48000, mask.Count(), 17, mask);
        auto* bytes = static_cast<uint8_t*>(source->Write());
        for (uint32_t i = 0; i < source->GetByteSize(); ++i)
            bytes[i] = static_cast<uint8_t>(random());

        const TRef<ISVAudioBuffer> target =
            IntfCast<ISVAudioBuffer>(SVReadDataBuffer(TJsonReader::Create(Serialized(source))));
        auto* read = dynamic_cast<TSVAudioBuffer*>(target->GetInstance());
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(std::memcmp(read->GetConstFormat(), source->GetConstFormat(), 40), 0) << bits;
        EXPECT_EQ(read->GetSize(), 17u);
        EXPECT_EQ(std::memcmp(read->Read(), source->Read(), source->GetByteSize()), 0) << bits;
    }
    EXPECT_THROW(SVReadDataBuffer(TJsonReader::Create(FormatDocument("1", "1", "8", "8000"))),
                 EReadError);
    EXPECT_THROW(SVReadDataBuffer(TJsonReader::Create("{\"ClassName\":\"TNoSuchBuffer\"}")),
                 EReadError);
}

TEST(SVAudioBufferSerialization, AbsentEntriesChangeNothingAndMasksAreRebuiltAsSizedBuffersAre) {
    // An 8-bit mono buffer of four frames, and documents of 16-bit stereo that each lack one
    // entry but carry bytes: four (the count the buffer holds) or eight.
    const uint8_t bytes[4] = {1, 2, 3, 4};
    TRef<TSVAudioBuffer> mono = TSVAudioBuffer::CreateDataObject(bytes, 44100, 8, 1, 4);
    const TBufferState monoBefore = StateOf(*mono);
    const std::string mask = "\"ChannelMask\":" + MaskGroup({"spFrontLeft", "spFrontRight"});
    const std::string entries[] = {"\"Size\":1", "\"Channels\":2", "\"BitsPerSample\":16",
                                   "\"SampleRate\":8000", mask};
    for (const char* data :
         {"\"Data\":{\"$base64\":\"BQYHCA==\"}", "\"Data\":{\"$base64\":\"CQAKAAsADAA=\"}"})
        for (size_t missing = 0; missing < std::size(entries); ++missing) {
            std::string text = std::string("{") + data;
            for (size_t i = 0; i < std::size(entries); ++i)
                text += i == missing ? "" : "," + entries[i];
            EXPECT_NO_THROW(ReadJson(mono, text + "}")) << text;
            EXPECT_TRUE(StateOf(*mono) == monoBefore) << text;
        }

    // The same format and size keep the store, and write the carried bytes into it.
    TRef<TSVAudioBuffer> buffer = MakeBuffer(16, 2, KStereo, {1, 2, 3, 4});
    const TBufferState before = StateOf(*buffer);
    const std::string same = FormatDocument("2", "2", "16", "44100").substr(1);
    ReadJson(buffer, "{" + same.substr(0, same.find("\"ChannelMask\"")) + mask + "}");
    EXPECT_TRUE(StateOf(*buffer) == before);
    ReadJson(buffer, "{" + same.substr(0, same.find("\"ChannelMask\"")) + mask +
                         ",\"Data\":{\"$base64\":\"CQAKAAsADAA=\"}}");
    EXPECT_EQ(buffer->GetBuffer(), before.Store);
    EXPECT_EQ(buffer->GetItem(1, 1), 12);
    // Shared, the store is copied first: the other holder keeps the old samples.
    const TRef<TSVAudioBuffer> sharer = SharingCopy(buffer);
    ReadJson(buffer, Serialized(MakeBuffer(16, 2, KStereo, {1, 2, 3, 4})));
    EXPECT_EQ(buffer->GetItem(1, 1), 4);
    EXPECT_EQ(sharer->GetItem(1, 1), 12);

    // An empty mask group gives every channel its own speaker from front left up.
    ReadJson(buffer, FormatDocument("2", "3", "16", "8000"));
    EXPECT_EQ(buffer->GetChannelMask().Mask(), 0x7u);
    EXPECT_EQ(buffer->GetBuffer()->GetSize(), 52u);
    EXPECT_EQ(buffer->GetSamplesPerSecond(), 8000);

    // A longer mask keeps its lowest speakers; no channels give an empty header-only store.
    ReadJson(buffer, "{\"Size\":1,\"Channels\":2,\"BitsPerSample\":8,\"SampleRate\":8000,"
                     "\"ChannelMask\":" +
                         MaskGroup({"spBackLeft", "spFrontCenter", "spFrontLeft"}) + "}");
    EXPECT_EQ(buffer->GetChannelMask(), (TSVSpeakers{spFrontLeft, spFrontCenter}));
    ReadJson(buffer, FormatDocument("5", "0", "16", "8000"));
    EXPECT_EQ(buffer->GetChannels(), 0);
    EXPECT_TRUE(buffer->GetChannelMask().IsEmpty());
    EXPECT_EQ(buffer->GetBuffer()->GetSize(), 40u);
    EXPECT_EQ(buffer->GetSize(), 0u);
}

TEST(SVAudioBufferSerialization, UntrustedNumbersAreRefusedAndLeaveTheBufferAsItWas) {
    TRef<TSVAudioBuffer> buffer = MakeBuffer(16, 2, KStereo, {1, 2, 3, 4});
    const TBufferState before = StateOf(*buffer);
    const uint64_t blocksBefore = QXBufferAllocatorState().BlocksInUse;
    const std::string eightBytes = ",\"Data\":{\"$base64\":\"AAAAAAAAAAA=\"}";
    const std::vector<std::string> refused = {
        FormatDocument("2147483647", "2", "32", "44100"), // store beyond 32 bits
        FormatDocument("1000", "70000", "16", "44100"),   // frame beyond 16-bit block align
        FormatDocument("-1", "2", "16", "44100"),
        FormatDocument("2", "-2", "16", "44100"),
        FormatDocument("2", "2", "-16", "44100"),
        FormatDocument("2", "2", "16", "-44100"),
        FormatDocument("2", "2", "33", "44100"),
        FormatDocument("1e20", "2", "16", "44100"),
        // More samples than the stream carries, and fewer: refused before the store is made.
        FormatDocument("100000000", "2", "16", "44100", eightBytes),
        FormatDocument("1", "1", "16", "44100", eightBytes),
        // Same format, wrong byte count.
        "{\"Size\":2,\"Channels\":2,\"BitsPerSample\":16,\"SampleRate\":44100,\"ChannelMask\":" +
            MaskGroup({"spFrontLeft", "spFrontRight"}) + ",\"Data\":{\"$base64\":\"AAAAAAAA\"}}",
    };
    for (const std::string& text : refused) {
        EXPECT_THROW(ReadJson(buffer, text), EReadError) << text;
        EXPECT_TRUE(StateOf(*buffer) == before) << text;
    }
    EXPECT_EQ(QXBufferAllocatorState().BlocksInUse, blocksBefore);

    // A forged size is refused before its store exists: a store of this length, made and
    // dropped, would have been left in the allocator's cache.
    TSVSmartAudioBuffer::ReleaseMemory();
    EXPECT_THROW(ReadJson(buffer, FormatDocument("100000", "2", "16", "44100", eightBytes)),
                 EReadError);
    EXPECT_EQ(QXBufferAllocatorState().CachedBytes, 0u);

    // Exactly the carried bytes are accepted.
    ReadJson(buffer, FormatDocument("4", "1", "16", "44100", eightBytes));
    EXPECT_EQ(buffer->GetSize(), 4u);
    EXPECT_TRUE(buffer->IsEqualToValue(0));

    // Without bytes a document may describe a limited store only, and the store it makes
    // shows zeros, not what a released store left in the allocator's cache.
    EXPECT_THROW(ReadJson(buffer, FormatDocument("536870911", "1", "32", "44100")), EReadError);
    {
        TRef<TSVAudioBuffer> noise = TSVAudioBuffer::CreateSizeObject(44100, 16, 1, 50000);
        noise->SetValue(-21555);
    }
    ReadJson(buffer, FormatDocument("50000", "1", "16", "44100"));
    EXPECT_TRUE(buffer->IsEqualToValue(0));
}
