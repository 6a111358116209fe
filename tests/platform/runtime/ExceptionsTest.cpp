#include "sonvera/platform/runtime/Exceptions.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace sonvera;
using sonvera::testing::MessageOf;

TEST(Exceptions, AssertNamesTheUnitAndFormatsMessages) {
    EXPECT_NO_THROW(Assert(true, "SVSimpleAudioBuffer"));
    EXPECT_EQ(MessageOf<EAssertionFailed>([] { Assert(false, "SVSimpleAudioBuffer"); }),
              "Assertion failure (SVSimpleAudioBuffer)");
    EXPECT_EQ(MessageOf<EAssertionFailed>(
                  [] { Assert(false, "SVSimpleAudioBuffer", "BitWidth is incorrect"); }),
              "BitWidth is incorrect (SVSimpleAudioBuffer)");
    EXPECT_EQ(FormatMessage("Channel out of range = %u", 4294967295u),
              "Channel out of range = 4294967295");
    EXPECT_EQ(FormatMessage("%s", ""), "");
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatMessage("<%s>", longText.c_str()), "<" + longText + ">");
}
