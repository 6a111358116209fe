#include "sonvera/platform/runtime/JsonSerialization.h"

#include <gtest/gtest.h>

#include <limits>

#include "TestPersistents.h"

using namespace runtime_test;

namespace {

std::vector<uint8_t> Bytes(const std::string& AText) {
    return {AText.begin(), AText.end()};
}

std::string BlobText(const std::vector<uint8_t>& AData) {
    auto writer = TJsonWriter::CreateObject();
    writer->WriteBinary("b", AData.data(), AData.size());
    return writer->Text();
}

} // namespace

TEST(TJsonWriter, WritesChainedEntriesAndGroupsInOrder) {
    auto writer = TJsonWriter::CreateObject();
    writer->WriteInteger("Size", 10)
        ->WriteInteger("Channels", 2)
        ->WriteInt64("Begin", std::numeric_limits<int64_t>::min())
        ->WriteBoolean("Available", false)
        ->WriteString("Name", "Ünïcode \"quoted\"\n");
    writer->BeginGroup("ChannelMask");
    writer->WriteBoolean("spFrontLeft", true)->WriteBoolean("spFrontRight", true);
    writer->BeginGroup("Empty");
    writer->EndGroup();
    writer->EndGroup();
    const uint8_t data[] = {0x00, 0xFF, 0x10};
    writer->WriteBinary("Data", data, sizeof data);
    EXPECT_EQ(writer->Text(),
              "{\"Size\":10,\"Channels\":2,\"Begin\":-9223372036854775808,\"Available\":false,"
              "\"Name\":\"Ünïcode \\\"quoted\\\"\\n\",\"ChannelMask\":{\"spFrontLeft\":true,"
              "\"spFrontRight\":true,\"Empty\":{}},\"Data\":{\"$base64\":\"AP8Q\"}}");

    // The known base64 answers, padding included.
    EXPECT_EQ(BlobText({}), "{\"b\":{\"$base64\":\"\"}}");
    EXPECT_EQ(BlobText(Bytes("f")), "{\"b\":{\"$base64\":\"Zg==\"}}");
    EXPECT_EQ(BlobText(Bytes("fo")), "{\"b\":{\"$base64\":\"Zm8=\"}}");
    EXPECT_EQ(BlobText(Bytes("foo")), "{\"b\":{\"$base64\":\"Zm9v\"}}");
    EXPECT_EQ(BlobText(Bytes("foob")), "{\"b\":{\"$base64\":\"Zm9vYg==\"}}");
    EXPECT_EQ(BlobText(Bytes("fooba")), "{\"b\":{\"$base64\":\"Zm9vYmE=\"}}");
    EXPECT_EQ(BlobText(Bytes("foobar")), "{\"b\":{\"$base64\":\"Zm9vYmFy\"}}");
    EXPECT_EQ(BlobText({0xFB, 0xFF, 0xBF}), "{\"b\":{\"$base64\":\"+/+/\"}}");
}

TEST(TJsonWriter, RefusesWhatItCannotWriteAndStaysUnchanged) {
    auto writer = TJsonWriter::CreateObject();
    writer->WriteInteger("Size", 1);
    EXPECT_THROW(writer->WriteInteger("Size", 2), EArgumentError);
    EXPECT_THROW(writer->BeginGroup("Size"), EArgumentError);
    EXPECT_THROW(writer->WriteBoolean("$base64", true), EArgumentError);
    EXPECT_THROW(writer->WriteString("Bad", std::string("\xC3\x28")), EArgumentError);
    EXPECT_THROW(writer->WriteString(std::string("\xFF"), "x"), EArgumentError);
    EXPECT_THROW(writer->WriteBinary("Null", nullptr, 4), EArgumentError);
    EXPECT_THROW(writer->WriteBinary("Huge", "x", std::numeric_limits<uint64_t>::max()),
                 EArgumentError);
    EXPECT_THROW(writer->EndGroup(), EAssertionFailed);
    writer->WriteBinary("NoData", nullptr, 0);
    // The same name may appear again inside another group.
    writer->BeginGroup("Group");
    writer->WriteInteger("Size", 3);
    EXPECT_THROW(writer->Text(), EAssertionFailed);
    writer->EndGroup();
    EXPECT_EQ(writer->Text(), "{\"Size\":1,\"NoData\":{\"$base64\":\"\"},\"Group\":{\"Size\":3}}");
}

TEST(TJsonReader, ReadsBackEveryKindAndReportsAbsentEntries) {
    auto writer = TJsonWriter::CreateObject();
    writer->WriteInteger("Min", std::numeric_limits<int32_t>::min())
        ->WriteInteger("Max", std::numeric_limits<int32_t>::max())
        ->WriteInt64("Min64", std::numeric_limits<int64_t>::min())
        ->WriteInt64("Max64", std::numeric_limits<int64_t>::max())
        ->WriteBoolean("True", true)
        ->WriteString("Text", std::string("a\0b\x7F \xE2\x82\xAC", 8));
    std::vector<uint8_t> all(256 * 3 + 1);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint8_t>(i * 7);
    writer->WriteBinary("All", all.data(), all.size());
    for (size_t size = 0; size < 6; ++size)
        writer->WriteBinary("Blob" + std::to_string(size), all.data(), size);
    writer->BeginGroup("Outer");
    writer->WriteInteger("Inner", 5);
    writer->BeginGroup("Deeper");
    writer->WriteBoolean("Flag", false);
    writer->EndGroup();
    writer->EndGroup();

    auto reader = TJsonReader::CreateObject(writer->Text());
    int32_t number = 0;
    EXPECT_TRUE(reader->ReadInteger("Min", number));
    EXPECT_EQ(number, std::numeric_limits<int32_t>::min());
    EXPECT_TRUE(reader->ReadInteger("Max", number));
    EXPECT_EQ(number, std::numeric_limits<int32_t>::max());
    int64_t wide = 0;
    EXPECT_TRUE(reader->ReadInt64("Min64", wide));
    EXPECT_EQ(wide, std::numeric_limits<int64_t>::min());
    EXPECT_TRUE(reader->ReadInt64("Max64", wide));
    EXPECT_EQ(wide, std::numeric_limits<int64_t>::max());
    EXPECT_TRUE(reader->ReadInt64("Max", wide)); // a 32-bit entry reads as 64-bit
    EXPECT_EQ(wide, std::numeric_limits<int32_t>::max());
    bool flag = false;
    EXPECT_TRUE(reader->ReadBoolean("True", flag));
    EXPECT_TRUE(flag);
    std::string text;
    EXPECT_TRUE(reader->ReadString("Text", text));
    EXPECT_EQ(text, std::string("a\0b\x7F \xE2\x82\xAC", 8));
    std::vector<uint8_t> blob;
    EXPECT_TRUE(reader->ReadBinary("All", blob));
    EXPECT_EQ(blob, all);
    for (size_t size = 0; size < 6; ++size) {
        EXPECT_TRUE(reader->ReadBinary("Blob" + std::to_string(size), blob));
        EXPECT_EQ(blob, std::vector<uint8_t>(all.begin(), all.begin() + size));
    }

    // Absent, and present with another type: reported absent, argument untouched.
    number = 77;
    EXPECT_FALSE(reader->ReadInteger("Missing", number));
    EXPECT_FALSE(reader->ReadInteger("Text", number));
    EXPECT_FALSE(reader->ReadInteger("True", number));
    EXPECT_FALSE(reader->ReadInteger("Outer", number));
    EXPECT_EQ(number, 77);
    EXPECT_FALSE(reader->ReadBoolean("Min", flag));
    EXPECT_FALSE(reader->ReadString("All", text)); // a blob is not a string
    EXPECT_FALSE(reader->ReadBinary("Text", blob));
    EXPECT_FALSE(reader->ReadBinary("Outer", blob));
    EXPECT_FALSE(reader->BeginGroup("All")); // nor a group
    EXPECT_FALSE(reader->BeginGroup("Min"));
    EXPECT_FALSE(reader->BeginGroup("Missing"));
    EXPECT_EQ(text, std::string("a\0b\x7F \xE2\x82\xAC", 8));
    EXPECT_EQ(blob.size(), 5u);

    // Groups scope the names.
    EXPECT_FALSE(reader->ReadInteger("Inner", number));
    ASSERT_TRUE(reader->BeginGroup("Outer"));
    EXPECT_TRUE(reader->ReadInteger("Inner", number));
    EXPECT_EQ(number, 5);
    EXPECT_FALSE(reader->ReadInteger("Min", number));
    ASSERT_TRUE(reader->BeginGroup("Deeper"));
    flag = true;
    EXPECT_TRUE(reader->ReadBoolean("Flag", flag));
    EXPECT_FALSE(flag);
    reader->EndGroup();
    reader->EndGroup();
    EXPECT_THROW(reader->EndGroup(), EAssertionFailed);
    EXPECT_TRUE(reader->ReadInteger("Min", number));
}

TEST(TJsonReader, RefusesMalformedDocumentsAndUnusableValues) {
    for (const char* bad :
         {"", "{", "{\"a\":}", "{\"a\":1,}", "[1,2]", "1", "\"text\"", "null", "{\"a\":1} x",
          "{'a':1}", "{\"a\":01}", "{\"a\":\"\xC3\x28\"}", "{\"a\":1 /* comment */}"})
        EXPECT_THROW(TJsonReader::Create(bad), EReadError) << bad;
    EXPECT_NO_THROW(TJsonReader::Create(" { } "));
    // Deep nesting neither exhausts the stack while parsing nor while freeing the document.
    const size_t depth = 100000;
    EXPECT_THROW(TJsonReader::Create(std::string(depth, '[') + std::string(depth, ']')),
                 EReadError);
    std::string deep;
    for (size_t i = 0; i < depth; ++i)
        deep += "{\"g\":";
    deep += "{\"v\":7}" + std::string(depth, '}');
    auto deepReader = TJsonReader::Create(deep);
    for (size_t i = 0; i < depth; ++i)
        ASSERT_TRUE(deepReader->BeginGroup("g"));
    int32_t innermost = 0;
    EXPECT_TRUE(deepReader->ReadInteger("v", innermost));
    EXPECT_EQ(innermost, 7);
    deepReader = nullptr;

    auto reader = TJsonReader::CreateObject(
        "{\"Big\":2147483648,\"Small\":-2147483649,\"Huge\":9223372036854775808,"
        "\"Half\":1.5,\"Whole\":2.0,\"Exp\":1e3,\"Ok\":-2147483648}");
    int32_t number = 1;
    int64_t wide = 1;
    EXPECT_THROW(reader->ReadInteger("Big", number), EReadError);
    EXPECT_THROW(reader->ReadInteger("Small", number), EReadError);
    EXPECT_THROW(reader->ReadInt64("Huge", wide), EReadError);
    EXPECT_THROW(reader->ReadInteger("Half", number), EReadError);
    EXPECT_THROW(reader->ReadInt64("Whole", wide), EReadError);
    EXPECT_THROW(reader->ReadInt64("Exp", wide), EReadError);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(wide, 1);
    EXPECT_TRUE(reader->ReadInt64("Big", wide));
    EXPECT_EQ(wide, 2147483648);
    EXPECT_TRUE(reader->ReadInteger("Ok", number));
    EXPECT_EQ(number, std::numeric_limits<int32_t>::min());

    // Base64 that is malformed, or not the one canonical text of its bytes.
    for (const char* bad : {"Zg=", "Zg", "Z===", "====", "Zh==", "Zm9=", "Zm=v",
                            "Zg==Zg==", "Zm9v\\n", "Zm9v YmFy", "Zm9v-_Fy", "=Zm9"}) {
        std::vector<uint8_t> blob = {1, 2};
        auto blobReader =
            TJsonReader::CreateObject(std::string("{\"b\":{\"$base64\":\"") + bad + "\"}}");
        EXPECT_THROW(blobReader->ReadBinary("b", blob), EReadError) << bad;
        EXPECT_EQ(blob, (std::vector<uint8_t>{1, 2}));
    }
    // An object with more members than the blob marker is a group, not a blob.
    auto groupReader = TJsonReader::CreateObject("{\"g\":{\"$base64\":\"Zg==\",\"x\":1}}");
    std::vector<uint8_t> blob;
    EXPECT_FALSE(groupReader->ReadBinary("g", blob));
    EXPECT_TRUE(groupReader->BeginGroup("g"));
}

TEST(TJsonSerialization, CarriesAnAudioBufferLikeRecord) {
    // The shape an audio buffer writes: four numbers and a group of one Boolean per speaker.
    const TEnumTypeInfo& speakers = EnumTypeInfo<TTestSpeaker>();
    const uint32_t mask = (1u << spFrontLeft) | (1u << spFrontRight) | (1u << spTopBackRight);
    auto writer = TJsonWriter::CreateObject();
    writer->WriteInteger("Size", 10)
        ->WriteInteger("Channels", 3)
        ->WriteInteger("BitsPerSample", 20)
        ->WriteInteger("SampleRate", 44100);
    writer->BeginGroup("ChannelMask");
    uint32_t bits = mask;
    for (const std::string& name : speakers.Names()) {
        writer->WriteBoolean(name, (bits & 1) != 0);
        bits >>= 1;
    }
    writer->EndGroup();
    const std::string text = writer->Text(2);
    EXPECT_NE(text.find("\n  \"ChannelMask\": {\n    \"spFrontLeft\": true,\n    "
                        "\"spFrontRight\": true,\n    \"spFrontCenter\": false,"),
              std::string::npos);

    auto reader = TJsonReader::Create(text);
    int32_t rate = 0;
    EXPECT_TRUE(reader->ReadInteger("SampleRate", rate));
    EXPECT_EQ(rate, 44100);
    ASSERT_TRUE(reader->BeginGroup("ChannelMask"));
    uint32_t readMask = 0;
    for (const TEnumTypeInfo::TMember& member : speakers.Members()) {
        bool present = false;
        if (reader->ReadBoolean(member.Name, present) && present)
            readMask |= 1u << member.Value;
    }
    reader->EndGroup();
    EXPECT_EQ(readMask, mask);
}
