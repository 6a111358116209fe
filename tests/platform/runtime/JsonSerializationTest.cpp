#include "sonvera/platform/runtime/JsonSerialization.h"

#include <gtest/gtest.h>

#include <limits>

#include "TestPersistents.h"

using namespace runtime_test;

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
    for (const char* name : {"Big", "Small", "Half"})
        EXPECT_THROW(reader->ReadInteger(name, number), EReadError) << name;
    for (const char* name : {"Huge", "Whole", "Exp"})
        EXPECT_THROW(reader->ReadInt64(name, wide), EReadError) << name;
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
