#include <gtest/gtest.h>

#include "TestPersistents.h"

using namespace runtime_test;

TEST(TEnumTypeInfo, WritesAndReadsSetsAsMemberLists) {
    const TEnumTypeInfo& speakers = EnumTypeInfo<TTestSpeaker>();
    EXPECT_EQ(speakers.SetToText(0), "[]");
    EXPECT_EQ(speakers.SetToText(0x3), "[spFrontLeft,spFrontRight]");
    EXPECT_EQ(speakers.SetToText(0x3FFFF).substr(0, 27), "[spFrontLeft,spFrontRight,s");
    EXPECT_EQ(speakers.SetToText(1u << 17), "[spTopBackRight]");
    EXPECT_THROW(speakers.SetToText(1u << 18), ERangeError);
    EXPECT_THROW(speakers.SetToText(0x80000003u), ERangeError);

    // Every single-member set and a few mixtures survive the round trip.
    for (uint32_t bit = 0; bit < 18; ++bit)
        EXPECT_EQ(speakers.TextToSet(speakers.SetToText(1u << bit)), 1u << bit);
    for (uint32_t mask : {0u, 0x3u, 0x3Fu, 0x20A5u, 0x3FFFFu})
        EXPECT_EQ(speakers.TextToSet(speakers.SetToText(mask)), mask);
    EXPECT_EQ(speakers.TextToSet(" [ spFrontRight , spFrontLeft ] "), 0x3u);
    EXPECT_EQ(speakers.TextToSet("[ ]"), 0u);
    for (const char* bad :
         {"", "[", "spFrontLeft", "[spFrontLeft", "[spFrontLeft,]", "[,spFrontLeft]",
          "[spFrontLeft,spFrontLeft]", "[spNowhere]", "[spFrontLeft spFrontRight]"})
        EXPECT_THROW(speakers.TextToSet(bad), EArgumentError) << bad;

    // Members beyond bit 31 cannot be in a set.
    const TEnumTypeInfo wide("TWide", {{"wLow", 0}, {"wHigh", 40}});
    EXPECT_EQ(wide.SetToText(1), "[wLow]");
    EXPECT_THROW(wide.TextToSet("[wHigh]"), ERangeError);
}
