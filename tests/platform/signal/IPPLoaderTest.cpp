// The vendor look-up in a process that uses the usual library names: whether or not the
// vendor library is installed, names it does not export give null, answers never change and
// threads see the same answers.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/signal/IPPLoader.h"

using namespace sonvera;

namespace {

const char* const KNames[] = {"ippsSet_16s",         "ippsDivC_16s_Sfs",    "ippiAdd_8u_C1IRSfs",
                              "ippiScale_32s8u_C1R", "ippsCopy_8u",         "ippiCopy_32s_C1R",
                              "ippsNoSuchPrimitive", "ippiNoSuchPrimitive", ""};

std::vector<void*> LookUpAll() {
    std::vector<void*> found;
    for (const char* name : KNames) {
        found.push_back(GetIPPSProcAddress(name));
        found.push_back(GetIPPIProcAddress(name));
    }
    return found;
}

} // namespace

TEST(IPPLoader, UnknownNamesGiveNullAndAnswersAreStableAcrossThreads) {
    EXPECT_EQ(GetIPPSProcAddress(nullptr), nullptr);
    EXPECT_EQ(GetIPPIProcAddress(nullptr), nullptr);
    EXPECT_EQ(GetIPPSProcAddress("ippsNoSuchPrimitive"), nullptr);
    EXPECT_EQ(GetIPPIProcAddress("ippiNoSuchPrimitive"), nullptr);
    EXPECT_EQ(GetIPPSProcAddress(""), nullptr);

    const std::vector<void*> first = LookUpAll();
    std::vector<std::vector<void*>> seen(8);
    std::vector<std::thread> threads;
    for (std::vector<void*>& answers : seen)
        threads.emplace_back([&answers] {
            for (int round = 0; round < 50; ++round)
                answers = LookUpAll();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const std::vector<void*>& answers : seen)
        EXPECT_EQ(answers, first);
}
