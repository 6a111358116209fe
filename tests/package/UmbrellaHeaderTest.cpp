// Compiling this file proves that the umbrella header is self-contained; the CTest check
// below (umbrella.complete) proves it names every public header.
#include "sonvera/Sonvera.h"

#include <gtest/gtest.h>

TEST(UmbrellaHeader, ExposesTheLibrary) {
    EXPECT_FALSE(sonvera::SonveraVersion().empty());
}
