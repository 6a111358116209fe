// Binding against a vendor library: the look-up is pointed at a stand-in library that exports
// two of the table's names, and only those two slots may end up on it. The look-up and the
// binding run first on several threads at once, before any test.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/IPPLoader.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;

namespace {

// What each start-up thread saw.
struct TLookUps {
    void* Set = nullptr;
    void* AddC = nullptr;
    void* Missing = nullptr;
};

std::vector<TLookUps> GStartUpLookUps(8);

class TFakeVendorEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // The first signal name cannot be opened: the next one is tried.
        SetIPPLibraryPathsForTesting({"/nonexistent/libipps.so", SONVERA_FAKE_VENDOR_LIBRARY},
                                     {SONVERA_FAKE_VENDOR_LIBRARY});
        std::vector<std::thread> threads;
        for (TLookUps& lookUps : GStartUpLookUps) {
            threads.emplace_back([&lookUps] {
                InitializeSVBasicDispatcher();
                lookUps.Set = GetIPPSProcAddress("ippsSet_16s");
                lookUps.AddC = GetIPPIProcAddress("ippiAddC_16s_C1IRSfs");
                lookUps.Missing = GetIPPIProcAddress("ippiAddC_8u_C1IRSfs");
            });
        }
        for (std::thread& thread : threads)
            thread.join();
    }
};

::testing::Environment* const GEnvironment =
    ::testing::AddGlobalTestEnvironment(new TFakeVendorEnvironment);

} // namespace

TEST(SVBasicDispatcherBinding, OnlyTheNamesTheVendorLibrarySuppliesAreBoundToIt) {
    for (const TLookUps& lookUps : GStartUpLookUps) {
        EXPECT_NE(lookUps.Set, nullptr);
        EXPECT_EQ(lookUps.Set, GStartUpLookUps[0].Set);
        EXPECT_NE(lookUps.AddC, nullptr);
        EXPECT_EQ(lookUps.AddC, GStartUpLookUps[0].AddC);
        EXPECT_EQ(lookUps.Missing, nullptr);
    }
    int vendorSlots = 0;
    for (const TSVDispatchSlotInfo& slot : SVDispatchSlots()) {
        const std::string name = slot.Name;
        if (name == "ippsSet_16s") {
            EXPECT_TRUE(slot.IsVendor());
            EXPECT_EQ(slot.Bound, GStartUpLookUps[0].Set);
        } else if (name == "ippiAddC_16s_C1IRSfs") {
            EXPECT_TRUE(slot.IsVendor());
            EXPECT_EQ(slot.Bound, GStartUpLookUps[0].AddC);
        } else {
            EXPECT_FALSE(slot.IsVendor()) << name;
            EXPECT_EQ(slot.Bound, slot.Portable) << name;
        }
        vendorSlots += slot.IsVendor() ? 1 : 0;
    }
    EXPECT_EQ(vendorSlots, 2);
}

TEST(SVBasicDispatcherBinding, BoundSlotsCallTheVendorAndTheOthersThePortableCode) {
    std::vector<Ipp16s> words(5, 0);
    EXPECT_EQ(ippsSet_16s(0x0F0F, words.data(), 5), 1001);
    EXPECT_EQ(words, std::vector<Ipp16s>(5, static_cast<Ipp16s>(~0x0F0F)));

    std::vector<Ipp16s> frames = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(ippiAddC_16s_C1IRSfs(100, frames.data(), 4, {2, 3}, 0), 1002);
    EXPECT_EQ(frames, (std::vector<Ipp16s>{107, 2, 107, 4, 107, 6}));

    // The neighbouring slots keep the portable behaviour.
    EXPECT_EQ(ippiSet_16s_C1R(-9, words.data(), 10, {5, 1}), ippStsNoErr);
    EXPECT_EQ(words, std::vector<Ipp16s>(5, -9));
    EXPECT_EQ(ippiAddC_16s_C1RSfs(frames.data(), 4, 100, frames.data(), 4, {2, 3}, 0), ippStsNoErr);
    EXPECT_EQ(frames, (std::vector<Ipp16s>{207, 102, 207, 104, 207, 106}));
}
