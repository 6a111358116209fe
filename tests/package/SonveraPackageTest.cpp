#include "sonvera/package/SonveraPackage.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "sonvera/buffers/SVSimpleAudioBuffer.h"
#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;

namespace {

// Units that write what they do to a log; the one numbered GFailing cannot start.
std::vector<std::string> GLog;
int GFailing = 0;

template <int VNumber> void StartUnit() {
    if (VNumber == GFailing)
        throw std::runtime_error("unit cannot start");
    GLog.push_back("start " + std::to_string(VNumber));
}

template <int VNumber> void StopUnit() {
    GLog.push_back("stop " + std::to_string(VNumber));
}

// A class that claims the audio buffer's registered name.
class TNameSquatter : public TInterfacedObject {};

} // namespace

TEST(SonveraPackage, AUnitThatCannotStartStopsTheUnitsBeforeItInReverseOrder) {
    const std::vector<TSonveraUnit> units = {{"One", StartUnit<1>, StopUnit<1>},
                                             {"Two", StartUnit<2>, StopUnit<2>},
                                             {"Three", StartUnit<3>, StopUnit<3>}};
    const struct {
        int Failing;
        std::vector<std::string> Log;
    } cases[] = {
        {1, {}},
        {2, {"start 1", "stop 1"}},
        {3, {"start 1", "start 2", "stop 2", "stop 1"}},
    };
    for (const auto& test : cases) {
        GLog.clear();
        GFailing = test.Failing;
        EXPECT_THROW(SonveraStartUnits(units), std::runtime_error) << test.Failing;
        EXPECT_EQ(GLog, test.Log) << test.Failing;
    }
    GLog.clear();
    GFailing = 0;
    SonveraStartUnits(units);
    SonveraStopUnits(units);
    EXPECT_EQ(GLog, (std::vector<std::string>{"start 1", "start 2", "start 3", "stop 3", "stop 2",
                                              "stop 1"}));
}

TEST(SonveraPackage, AFailedStartLeavesTheLibraryStoppedAndALaterStartStartsItAll) {
    // The loader has started the library before main; an explicit start only counts.
    ASSERT_EQ(SonveraStartCount(), 1);
    SonveraInitialize();
    EXPECT_EQ(SonveraStartCount(), 2);
    SonveraFinalize();
    EXPECT_TRUE(TMainThread::IsOpen());
    SonveraFinalize();
    ASSERT_FALSE(TMainThread::IsOpen());
    SonveraFinalize(); // unbalanced: ignored, the count stays at zero
    EXPECT_EQ(SonveraStartCount(), 0);

    // The audio buffer's unit, the last to start, cannot register its class under a name that
    // another class holds.
    const std::vector<TRegisteredClass> squatter = {
        TClassManagement::ClassOf<TNameSquatter>("TSVAudioBuffer")};
    TClassManagement::RegisterClasses(squatter);
    EXPECT_THROW(SonveraInitialize(), EArgumentError);
    EXPECT_EQ(SonveraStartCount(), 0);
    EXPECT_FALSE(TMainThread::IsOpen()); // the first unit was stopped again

    TClassManagement::UnregisterClasses(squatter);
    SonveraInitialize();
    EXPECT_EQ(SonveraStartCount(), 1);
    EXPECT_TRUE(TMainThread::IsOpen());
    EXPECT_TRUE(Supports<ISVAudioBuffer>(TClassManagement::CreateObject("TSVAudioBuffer")));
}
