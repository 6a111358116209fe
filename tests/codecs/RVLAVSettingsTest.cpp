#include "sonvera/codecs/RVLAVSettings.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "TestSupport.h"

using namespace sonvera;
using sonvera::testing::ReadInto;
using sonvera::testing::Written;

TEST(RVLAVSettings, StoreOnlyWhatDiffersFromTheirOwnDefault) {
    TRVIntegerSetting quality(nullptr, nullptr, -1, nullptr, nullptr, nullptr);
    TRVIntegerSetting level(nullptr, nullptr, 0, nullptr, nullptr, nullptr);
    TRVNormalizedFloatSetting blur(nullptr, nullptr, 0.5f, nullptr, nullptr, nullptr);
    TRVStringSetting preset(nullptr, nullptr, "fast", nullptr, nullptr, nullptr);
    TRVSkipCompareFunctionSetting compare(nullptr, nullptr, cfAbsDifferences, nullptr, nullptr,
                                          nullptr);
    TRVIDCTAlgorithmSetting idct(nullptr, nullptr, idctAuto, nullptr, nullptr, nullptr);
    // Equal values against different defaults: each setting stores against its own.
    quality.SetValue(0);
    level.SetValue(-1);
    blur.SetValue(0.25f);
    preset.SetValue("slow");
    compare.SetValue(cfChroma);
    compare.SetMode(pmCustom);
    idct.SetValue(idctFaan); // settable, never stored
    EXPECT_EQ(Written(quality), R"({"Value":0})");
    EXPECT_EQ(Written(level), R"({"Value":-1})");
    EXPECT_EQ(Written(blur), R"({"Value":"0.25"})");
    EXPECT_EQ(Written(preset), R"({"Value":"slow"})");
    EXPECT_EQ(Written(compare), R"({"Mode":"pmCustom","Value":"cfChroma"})");
    EXPECT_EQ(Written(idct), "{}");
    EXPECT_TRUE(idct.IsStored());

    // Read back into a setting of the same default, the state is whole again.
    TRVSkipCompareFunctionSetting loaded(nullptr, nullptr, cfAbsDifferences, nullptr, nullptr,
                                         nullptr);
    ReadInto(loaded, Written(compare));
    EXPECT_EQ(loaded.GetMode(), pmCustom);
    EXPECT_EQ(loaded.GetValue(), cfChroma);
}

TEST(RVLAVSettings, NormalizedFloatNeverLeavesZeroToOne) {
    const struct {
        float Given;
        float Held;
    } cases[] = {{1.5f, 1.0f},
                 {-0.5f, 0.0f},
                 {0.25f, 0.25f},
                 {std::numeric_limits<float>::infinity(), 1.0f},
                 {-std::numeric_limits<float>::infinity(), 0.0f},
                 {std::numeric_limits<float>::quiet_NaN(), 0.0f}};
    for (const auto& c : cases) {
        TRVNormalizedFloatSetting setting(nullptr, nullptr, 0.5f, nullptr, nullptr, nullptr);
        setting.SetValue(c.Given);
        EXPECT_EQ(setting.GetValue(), c.Held) << c.Given;
        // Through the published property as a reader would set it.
        setting.GetPropertyTable().Find("Value")->SetValue(setting, double{c.Given} * 4);
        EXPECT_GE(setting.GetValue(), 0.0f);
        EXPECT_LE(setting.GetValue(), 1.0f);
    }
}
