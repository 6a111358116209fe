#include "sonvera/package/SonveraPackage.h"
#include "sonvera/platform/runtime/UnitInit.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace sonvera;

TEST(SonveraPackage, StartsAtLoadAndCountsExplicitStarts) {
    // The loader has started the library before main.
    const int atLoad = SonveraStartCount();
    ASSERT_EQ(atLoad, 1);
    SonveraInitialize();
    EXPECT_EQ(SonveraStartCount(), 2);
    SonveraFinalize();
    EXPECT_EQ(SonveraStartCount(), 1);
    EXPECT_FALSE(SonveraVersion().empty());
}

TEST(UnitInitCounter, RunsWorkOnFirstInitializeAndBalancingFinalize) {
    TUnitInitCounter counter;
    int initialized = 0, finalized = 0;
    counter.Finalize([&] { ++finalized; }); // unbalanced: ignored
    EXPECT_EQ(counter.Count(), 0);
    counter.Initialize([&] { ++initialized; });
    counter.Initialize([&] { ++initialized; });
    EXPECT_EQ(initialized, 1);
    EXPECT_EQ(counter.Count(), 2);
    counter.Finalize([&] { ++finalized; });
    EXPECT_EQ(finalized, 0);
    counter.Finalize([&] { ++finalized; });
    EXPECT_EQ(finalized, 1);
    EXPECT_EQ(counter.Count(), 0);
}

TEST(UnitInitCounter, FailedInitializeLeavesTheUnitStopped) {
    TUnitInitCounter counter;
    EXPECT_THROW(counter.Initialize([] { throw std::runtime_error("no"); }), std::runtime_error);
    EXPECT_EQ(counter.Count(), 0);
    int initialized = 0;
    counter.Initialize([&] { ++initialized; });
    EXPECT_EQ(initialized, 1);
}
