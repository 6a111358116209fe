#include <gtest/gtest.h>

#include "TestPersistents.h"

using namespace runtime_test;

TEST(TEnumTypeInfo, WritesAndReadsSetsAsMemberLists) {
    const TEnumTypeInfo& speakers = EnumTypeInfo<TTestSpeaker>();
    EXPECT_EQ(speakers.SetToText(0), "[]");
    EXPECT_EQ(speakers.SetToText(0x3), "[spFrontLeft,spFrontRight]");
    EXPECT_EQ(speakers.SetToText(0xA), "[spFrontRight,spSubwoofer]");
    EXPECT_THROW(speakers.SetToText(1u << 4), ERangeError);
    EXPECT_THROW(speakers.SetToText(0x80000003u), ERangeError);

    // Every set survives the round trip.
    for (uint32_t mask = 0; mask < 16; ++mask)
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
