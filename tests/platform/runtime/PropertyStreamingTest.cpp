#include "sonvera/platform/runtime/PropertyStreaming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "TestPersistents.h"
#include "sonvera/platform/runtime/JsonSerialization.h"

using namespace runtime_test;

namespace {

// Every published value of two objects, compared as the setters compare them.
void ExpectSameState(const TPublishedState& A, const TPublishedState& B) {
    ASSERT_EQ(A.Values.size(), B.Values.size());
    for (size_t i = 0; i < A.Values.size(); ++i)
        EXPECT_TRUE(SamePropertyValue(A.Values[i].Value, B.Values[i].Value))
            << A.Values[i].Property->Name();
    ASSERT_EQ(A.Objects.size(), B.Objects.size());
    for (size_t i = 0; i < A.Objects.size(); ++i)
        ExpectSameState(A.Objects[i].State, B.Objects[i].State);
}

} // namespace

TEST(PropertyStreaming, EveryKindSurvivesTheRoundTripExactly) {
    using TLimits = std::numeric_limits<double>;
    for (double ratio : {0.1, -0.0, 1.0 / 3.0, TLimits::denorm_min(), TLimits::max(),
                         -TLimits::infinity(), TLimits::quiet_NaN()}) {
        TTestFormat source(nullptr, nullptr, nullptr);
        source.SetChannels(32);
        source.SetSampleRate(std::numeric_limits<uint32_t>::max());
        source.SetChannelMask(0);
        source.SetName("Ünïcode \"name\"");
        source.SetOffset(std::numeric_limits<int64_t>::min());
        source.SetLevel(std::numeric_limits<int32_t>::max());
        source.SetGain(0.3f);
        source.SetRatio(ratio);
        source.SetEnabled(true);
        source.SetAlgorithm(taFaan);
        source.GetMotion()->SetValue(std::numeric_limits<int32_t>::min());

        TTestFormat target(nullptr, nullptr, nullptr);
        ReadInto(target, Written(source));
        ExpectSameState(target.CapturePublishedState(), source.CapturePublishedState());
        EXPECT_EQ(std::signbit(target.GetRatio()), std::signbit(ratio));
        EXPECT_EQ(target.GetBlockAlign(), 64u); // recalculated while read
        EXPECT_EQ(Written(target), Written(source));
    }
}

TEST(PropertyStreaming, ReadingKeepsAbsentValuesAndGoesThroughTheSetters) {
    int changes = 0;
    TTestFormat format([&](TPersistent*) { ++changes; }, nullptr, nullptr);
    format.SetLevel(4);
    format.SetName("custom");
    format.GetQuality()->SetValue(9);
    const std::string before = Written(format);
    changes = 0;

    ReadInto(format, "{}");
    ReadInto(format, before); // the same values: nothing changes, nothing is notified
    EXPECT_EQ(changes, 0);
    // Entries of another kind are as good as absent.
    ReadInto(format, "{\"Channels\":\"six\",\"Enabled\":1,\"Algorithm\":3,\"Ratio\":0.25,"
                     "\"Quality\":5,\"Name\":{\"$base64\":\"\"}}");
    EXPECT_EQ(Written(format), before);
    EXPECT_EQ(changes, 0);

    ReadInto(format, "{\"Level\":5,\"Quality\":{\"Mode\":\"taArm\"}}");
    EXPECT_EQ(format.GetLevel(), 5);
    EXPECT_EQ(format.GetName(), "custom");
    EXPECT_EQ(format.GetQuality()->GetMode(), taArm);
    EXPECT_EQ(format.GetQuality()->GetValue(), 9);
    EXPECT_EQ(changes, 2);

    // Bounded setters clamp what they read.
    ReadInto(format, "{\"Channels\":99,\"Gain\":\"7\"}");
    EXPECT_EQ(format.GetChannels(), 32u);
    EXPECT_EQ(format.GetGain(), 1.0f);
}

TEST(PropertyStreaming, AnUnusableEntryRefusesTheWholeRead) {
    TTestFormat format(nullptr, nullptr, nullptr);
    const std::string before = Written(format);
    for (const char* bad :
         {"{\"Level\":5,\"Algorithm\":\"taNone\"}", "{\"Level\":5,\"Algorithm\":\"\"}",
          "{\"Level\":5,\"SampleRate\":4294967296}", "{\"Level\":5,\"SampleRate\":-1}",
          "{\"Level\":5,\"ChannelMask\":\"[spNowhere]\"}",
          "{\"Level\":5,\"ChannelMask\":\"spFrontLeft\"}", "{\"Level\":5,\"Ratio\":\"0.1x\"}",
          "{\"Level\":5,\"Ratio\":\"\"}", "{\"Level\":5,\"Ratio\":\"+1\"}",
          "{\"Level\":2147483648}", "{\"Level\":5,\"Quality\":{\"Value\":1,\"Mode\":\"bad\"}}"})
        EXPECT_THROW(ReadInto(format, bad), EReadError) << bad;
    EXPECT_EQ(Written(format), before);

    // The reader is left outside the sub-object's group it failed in.
    auto reader = TJsonReader::Create("{\"Level\":7,\"Motion\":{\"Mode\":\"bad\"}}");
    EXPECT_THROW(ReadPublishedProperties(format, reader), EReadError);
    int32_t level = 0;
    EXPECT_TRUE(reader->ReadInteger("Level", level));
    EXPECT_EQ(level, 7);
    EXPECT_EQ(format.GetLevel(), -1);
}
