#include "TestPersistents.h"

namespace sonvera {

template <> const TEnumTypeInfo& EnumTypeInfo<runtime_test::TTestSpeaker>() {
    using namespace runtime_test;
    static const TEnumTypeInfo info("TTestSpeaker", {{"spFrontLeft", spFrontLeft},
                                                     {"spFrontRight", spFrontRight},
                                                     {"spFrontCenter", spFrontCenter},
                                                     {"spSubwoofer", spSubwoofer}});
    return info;
}

template <> const TEnumTypeInfo& EnumTypeInfo<runtime_test::TTestAlgorithm>() {
    using namespace runtime_test;
    static const TEnumTypeInfo info("TTestAlgorithm",
                                    {{"taAuto", taAuto}, {"taArm", taArm}, {"taFaan", taFaan}});
    return info;
}

} // namespace sonvera

namespace runtime_test {

const TPropertyTableBase& TTestSetting::ClassPropertyTable() {
    static const TPropertyTable<TTestSetting> table =
        TPropertyTable<TTestSetting>("TTestSetting", TLockPersistent::ClassPropertyTable())
            .Enumeration("Mode", taAuto, &TTestSetting::GetMode, &TTestSetting::SetMode)
            .Integer("Value", 0, &TTestSetting::GetValue, &TTestSetting::SetValue);
    return table;
}

TTestFormat::TTestFormat(TPersistentNotify AOnChange, TPersistent* AOwner,
                         TRef<IChangeNotifyLock> ALock)
    : TLockPersistent(AOnChange, AOwner, std::move(ALock)),
      FQuality(std::make_unique<TTestSetting>(AOnChange, this, GetLock())),
      FMotion(std::make_unique<TTestSetting>(AOnChange, this, GetLock())) {
    InitDefaults();
}

const TPropertyTableBase& TTestFormat::ClassPropertyTable() {
    static const TPropertyTable<TTestFormat> table =
        TPropertyTable<TTestFormat>("TTestFormat", TLockPersistent::ClassPropertyTable())
            .Cardinal("Channels", 2, &TTestFormat::GetChannels, &TTestFormat::SetChannels)
            .Cardinal("SampleRate", 11025, &TTestFormat::GetSampleRate, &TTestFormat::SetSampleRate)
            .Set("ChannelMask", EnumTypeInfo<TTestSpeaker>(), 0x3, &TTestFormat::GetChannelMask,
                 &TTestFormat::SetChannelMask)
            .String("Name", "Auto Select", &TTestFormat::GetName, &TTestFormat::SetName)
            .Int64("Offset", 0, &TTestFormat::GetOffset, &TTestFormat::SetOffset)
            .Integer("Level", -1, &TTestFormat::GetLevel, &TTestFormat::SetLevel)
            .Double("Gain", 1.0, &TTestFormat::GetGain, &TTestFormat::SetGain)
            .Double("Ratio", 0.5, &TTestFormat::GetRatio, &TTestFormat::SetRatio)
            .Boolean("Enabled", false, &TTestFormat::GetEnabled, &TTestFormat::SetEnabled)
            .Enumeration("Algorithm", taAuto, &TTestFormat::GetAlgorithm,
                         &TTestFormat::SetAlgorithm)
            .Object("Quality", &TTestFormat::GetQuality)
            .Object("Motion", &TTestFormat::GetMotion);
    return table;
}

TRef<TRecordingListener> WatchFormat(const TTestFormat& AWatched) {
    return MakeRef<TRecordingListener>([&AWatched](TPersistent* AObject) {
        const bool watched = AObject == &AWatched || AObject == AWatched.GetQuality() ||
                             AObject == AWatched.GetMotion();
        return watched ? std::optional("align " + std::to_string(AWatched.GetBlockAlign()))
                       : std::nullopt;
    });
}

} // namespace runtime_test
