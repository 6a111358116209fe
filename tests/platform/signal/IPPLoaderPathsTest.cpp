// The vendor look-up pointed at chosen files before its first use: candidates are tried in
// order, a library that none of them opens gives null for every name, and the first look-ups
// may come from several threads at once.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "sonvera/platform/signal/IPPLoader.h"

using namespace sonvera;

namespace {

// What each thread of the first look-ups saw.
struct TLookUps {
    void* SignalCos = nullptr;
    void* SignalPrimitive = nullptr;
    void* ImageCos = nullptr;
    void* ImagePrimitive = nullptr;
};

std::vector<TLookUps> GFirstLookUps(8);

class TPathsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // The "signal library" is the C maths library, found after a missing file; the
        // "image library" is missing altogether.
        SetIPPLibraryPathsForTesting({"/nonexistent/libipps.so", "libm.so.6"},
                                     {"/nonexistent/libippi.so"});
        std::vector<std::thread> threads;
        for (TLookUps& lookUps : GFirstLookUps) {
            threads.emplace_back([&lookUps] {
                lookUps.SignalCos = GetIPPSProcAddress("cos");
                lookUps.SignalPrimitive = GetIPPSProcAddress("ippsSet_16s");
                lookUps.ImageCos = GetIPPIProcAddress("cos");
                lookUps.ImagePrimitive = GetIPPIProcAddress("ippiSet_16s_C1R");
            });
        }
        for (std::thread& thread : threads)
            thread.join();
    }
};

::testing::Environment* const GEnvironment =
    ::testing::AddGlobalTestEnvironment(new TPathsEnvironment);

} // namespace

TEST(IPPLoaderPaths, CandidatesAreTriedInOrderAndAMissingLibraryGivesNull) {
    ASSERT_NE(GFirstLookUps[0].SignalCos, nullptr);
    for (const TLookUps& lookUps : GFirstLookUps) {
        EXPECT_EQ(lookUps.SignalCos, GFirstLookUps[0].SignalCos);
        EXPECT_EQ(lookUps.SignalPrimitive, nullptr);
        EXPECT_EQ(lookUps.ImageCos, nullptr);
        EXPECT_EQ(lookUps.ImagePrimitive, nullptr);
    }
    using TCos = double (*)(double);
    EXPECT_EQ(reinterpret_cast<TCos>(GFirstLookUps[0].SignalCos)(0.0), 1.0);
    EXPECT_EQ(GetIPPIProcAddress("sin"), nullptr);
}
