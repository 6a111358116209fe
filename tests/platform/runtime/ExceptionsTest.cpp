#include "sonvera/platform/runtime/Exceptions.h"

#include <gtest/gtest.h>

using namespace sonvera;

TEST(Exceptions, AssertNamesTheUnitAndFormatsMessages) {
    EXPECT_NO_THROW(Assert(true, "SVSimpleAudioBuffer"));
    try {
        Assert(false, "SVSimpleAudioBuffer");
        FAIL() << "no exception";
    } catch (const EAssertionFailed& error) {
        EXPECT_STREQ(error.what(), "Assertion failure (SVSimpleAudioBuffer)");
    }
    try {
        Assert(false, "SVSimpleAudioBuffer", "BitWidth is incorrect");
        FAIL() << "no exception";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), "BitWidth is incorrect (SVSimpleAudioBuffer)");
    }
    EXPECT_EQ(FormatMessage("Channel out of range = %u", 4294967295u),
              "Channel out of range = 4294967295");
    EXPECT_EQ(FormatMessage("%s", ""), "");
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatMessage("<%s>", longText.c_str()), "<" + longText + ">");
}
