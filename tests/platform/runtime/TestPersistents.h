// Persistent classes shared by the runtime tests: a format-like object that publishes every
// property kind, with two setting-like sub-objects.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/runtime/LockPersistent.h"

namespace runtime_test {

using namespace sonvera;
using sonvera::testing::MessageOf;
using sonvera::testing::ReadInto;
using sonvera::testing::TListenerRegistration;
using sonvera::testing::TRecordingListener;
using sonvera::testing::Written;

// Four speaker positions, enough for sets of several members.
enum TTestSpeaker : uint8_t { spFrontLeft, spFrontRight, spFrontCenter, spSubwoofer };

// Values that are not ordinals, as a codec's algorithm numbers are.
enum TTestAlgorithm : int16_t { taAuto = 0, taArm = 7, taFaan = 20 };

class TTestSetting : public TLockPersistent {
public:
    using TLockPersistent::TLockPersistent;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TTestAlgorithm GetMode() const { return GetPropValue(FMode); }
    void SetMode(TTestAlgorithm AValue) { SetPropValue("Mode", FMode, AValue); }
    int32_t GetValue() const { return GetPropValue(FValue); }
    void SetValue(int32_t AValue) { SetPropValue("Value", FValue, AValue); }

private:
    TTestAlgorithm FMode = taAuto;
    int32_t FValue = 0;
};

class TTestFormat : public TLockPersistent {
public:
    TTestFormat(TPersistentNotify AOnChange, TPersistent* AOwner, TRef<IChangeNotifyLock> ALock);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    uint32_t GetChannels() const { return GetPropValue(FChannels); }
    void SetChannels(uint32_t AValue) {
        SetBoundedPropValue<uint16_t, uint32_t>("Channels", FChannels, AValue, 1, 32,
                                                [this] { CalculateFormat(); });
    }
    uint32_t GetSampleRate() const { return GetPropValue(FSampleRate); }
    void SetSampleRate(uint32_t AValue) { SetPropValue("SampleRate", FSampleRate, AValue); }
    uint32_t GetChannelMask() const { return GetPropValue(FChannelMask); }
    void SetChannelMask(uint32_t AValue) { SetPropValue("ChannelMask", FChannelMask, AValue); }
    std::string GetName() const { return GetPropValue(FName); }
    void SetName(std::string AValue) { SetPropValue("Name", FName, AValue); }
    int64_t GetOffset() const { return GetPropValue(FOffset); }
    void SetOffset(int64_t AValue) { SetPropValue("Offset", FOffset, AValue); }
    int32_t GetLevel() const { return GetPropValue(FLevel); }
    void SetLevel(int32_t AValue) { SetPropValue("Level", FLevel, AValue); }
    float GetGain() const { return GetPropValue(FGain); }
    void SetGain(float AValue) { SetBoundedPropValue("Gain", FGain, AValue, 0.0f, 1.0f); }
    double GetRatio() const { return GetPropValue(FRatio); }
    void SetRatio(double AValue) { SetPropValue("Ratio", FRatio, AValue); }
    bool GetEnabled() const { return GetPropValue(FEnabled); }
    void SetEnabled(bool AValue) { SetPropValue("Enabled", FEnabled, AValue); }
    TTestAlgorithm GetAlgorithm() const { return GetPropValue(FAlgorithm); }
    void SetAlgorithm(TTestAlgorithm AValue) { SetPropValue("Algorithm", FAlgorithm, AValue); }
    TTestSetting* GetQuality() const { return FQuality.get(); }
    TTestSetting* GetMotion() const { return FMotion.get(); }

    // Derived from Channels at 16 bits, as a wave format's block alignment is.
    uint32_t GetBlockAlign() const { return GetPropValue(FBlockAlign); }
    int GetCalculations() const { return FCalculations; }

private:
    void CalculateFormat() {
        FBlockAlign = 2u * FChannels;
        ++FCalculations;
    }

    uint16_t FChannels = 0;
    uint32_t FSampleRate = 0;
    uint32_t FChannelMask = 0;
    std::string FName;
    int64_t FOffset = 0;
    int32_t FLevel = 0;
    float FGain = 0;
    double FRatio = 0;
    bool FEnabled = false;
    TTestAlgorithm FAlgorithm = taAuto;
    uint32_t FBlockAlign = 0;
    int FCalculations = 0;
    std::unique_ptr<TTestSetting> FQuality;
    std::unique_ptr<TTestSetting> FMotion;
};

// A listener for AWatched and its sub-objects; the detail is the watched block align,
// "align 4".
TRef<TRecordingListener> WatchFormat(const TTestFormat& AWatched);

} // namespace runtime_test

namespace sonvera {

template <> const TEnumTypeInfo& EnumTypeInfo<runtime_test::TTestSpeaker>();
template <> const TEnumTypeInfo& EnumTypeInfo<runtime_test::TTestAlgorithm>();

} // namespace sonvera
