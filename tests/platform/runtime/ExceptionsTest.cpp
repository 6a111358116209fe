#include "sonvera/platform/runtime/Exceptions.h"

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace sonvera;
using sonvera::testing::MessageOf;

// A unit and a message are joined as the critical section's refusal shows (Threading tests);
// here the bare assertion and messages longer than any first guess at their size.
TEST(Exceptions, AssertNamesTheUnitAndFormatsMessages) {
    EXPECT_EQ(MessageOf<EAssertionFailed>([] { Assert(false, "SVSimpleAudioBuffer"); }),
              "Assertion failure (SVSimpleAudioBuffer)");
    EXPECT_EQ(FormatMessage("%s", ""), "");
    const std::string longText(5000, 'x');
    EXPECT_EQ(FormatMessage("<%s>", longText.c_str()), "<" + longText + ">");
}
