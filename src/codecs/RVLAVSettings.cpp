#include "sonvera/codecs/RVLAVSettings.h"

#include <limits>
#include <map>
#include <memory>
#include <mutex>

#include "sonvera/platform/runtime/Persistent.h"

namespace sonvera {

namespace {

constexpr int KCompareCodes[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 256};
static_assert(std::size(KCompareCodes) == cfChroma + 1);

// A double as a float; values beyond the float range become infinities instead of undefined
// conversions.
float ToFloat(double AValue) {
    constexpr double KMax = std::numeric_limits<float>::max();
    if (AValue > KMax)
        return std::numeric_limits<float>::infinity();
    if (AValue < -KMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(AValue);
}

template <class TSelf> void AddValue(TPropertyTable<TSelf>& ATable, int32_t ADefault) {
    ATable.Integer("Value", ADefault, &TSelf::GetValue, &TSelf::SetValue);
}

template <class TSelf> void AddValue(TPropertyTable<TSelf>& ATable, float ADefault) {
    ATable.Double(
        "Value", ADefault, [](const TSelf& ASetting) { return double{ASetting.GetValue()}; },
        [](TSelf& ASetting, double AValue) { ASetting.SetValue(ToFloat(AValue)); });
}

template <class TSelf> void AddValue(TPropertyTable<TSelf>& ATable, const std::string& ADefault) {
    ATable.String("Value", ADefault, &TSelf::GetValue, &TSelf::SetValue);
}

template <class TSelf, CEnumeration E> void AddValue(TPropertyTable<TSelf>& ATable, E ADefault) {
    ATable.Enumeration("Value", ADefault, &TSelf::GetValue, &TSelf::SetValue);
}

// The table of a setting class for one default value. Settings of a class share the tables of
// equal defaults; the tables live as long as the process.
template <class TSelf, class T>
const TPropertyTableBase& SettingTable(const char* AClassName, const T& ADefault,
                                       bool APublishValue = true) {
    static std::mutex lock;
    static std::map<T, std::unique_ptr<const TPropertyTable<TSelf>>> tables;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<const TPropertyTable<TSelf>>& table = tables[ADefault];
    if (!table) {
        auto built = std::make_unique<TPropertyTable<TSelf>>(AClassName,
                                                             TRVBasicSetting::ClassPropertyTable());
        built->Enumeration("Mode", pmDefault, &TSelf::GetMode, &TSelf::SetMode);
        if (APublishValue)
            AddValue(*built, ADefault);
        table = std::move(built);
    }
    return *table;
}

} // namespace

template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVParameterMode>() {
    static const TEnumTypeInfo info("TRVLAVParameterMode",
                                    {{"pmDefault", pmDefault}, {"pmCustom", pmCustom}});
    return info;
}

template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVVideoCoderType>() {
    static const TEnumTypeInfo info("TRVLAVVideoCoderType", {{"ctVlc", ctVlc},
                                                             {"ctAc", ctAc},
                                                             {"ctRaw", ctRaw},
                                                             {"ctRle", ctRle},
                                                             {"ctDeflate", ctDeflate}});
    return info;
}

template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVDCTAlgorithm>() {
    static const TEnumTypeInfo info("TRVLAVDCTAlgorithm", {{"dctAuto", dctAuto},
                                                           {"dctFastInteger", dctFastInteger},
                                                           {"dctInteger", dctInteger},
                                                           {"dctMmx", dctMmx},
                                                           {"dctMLib", dctMLib},
                                                           {"dctAltivec", dctAltivec},
                                                           {"dctFaan", dctFaan}});
    return info;
}

template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVIDCTAlgorithm>() {
    static const TEnumTypeInfo info("TRVLAVIDCTAlgorithm",
                                    {{"idctAuto", idctAuto},
                                     {"idctInteger", idctInteger},
                                     {"idctSimple", idctSimple},
                                     {"idctSimpleMmx", idctSimpleMmx},
                                     {"idctArm", idctArm},
                                     {"idctAltivec", idctAltivec},
                                     {"idctSimpleArm", idctSimpleArm},
                                     {"idctXvid", idctXvid},
                                     {"idctSimpleArmV5te", idctSimpleArmV5te},
                                     {"idctSimpleArmV6", idctSimpleArmV6},
                                     {"idctFaan", idctFaan},
                                     {"idctSimpleNeon", idctSimpleNeon},
                                     {"idctNone", idctNone},
                                     {"idctSimpleAuto", idctSimpleAuto}});
    return info;
}

template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVSkipCompareFunction>() {
    static const TEnumTypeInfo info(
        "TRVLAVSkipCompareFunction",
        {{"cfAbsDifferences", cfAbsDifferences},
         {"cfSquaredErrors", cfSquaredErrors},
         {"cfHadamardTransformDifferences", cfHadamardTransformDifferences},
         {"cfDCTDifferences", cfDCTDifferences},
         {"cfSquaredQuantizationErrors", cfSquaredQuantizationErrors},
         {"cfBits", cfBits},
         {"cfRateDistortion", cfRateDistortion},
         {"cfZero", cfZero},
         {"cfAbsoluteVerticalDifferences", cfAbsoluteVerticalDifferences},
         {"cfSquaredVerticalDifferences", cfSquaredVerticalDifferences},
         {"cfNoisePreservingSquaredDifferences", cfNoisePreservingSquaredDifferences},
         {"cfWavelet53", cfWavelet53},
         {"cfWavelet97", cfWavelet97},
         {"cfDCTMax", cfDCTMax},
         {"cfDCT264", cfDCT264},
         {"cfChroma", cfChroma}});
    return info;
}

int RVLAVCompareCode(TRVLAVSkipCompareFunction AFunction) {
    return AFunction <= cfChroma ? KCompareCodes[AFunction] : KCompareCodes[cfAbsDifferences];
}

TRVLAVSkipCompareFunction RVLAVCompareFunction(int64_t ACode) {
    for (size_t i = 0; i < std::size(KCompareCodes); ++i)
        if (KCompareCodes[i] == ACode)
            return static_cast<TRVLAVSkipCompareFunction>(i);
    return cfAbsDifferences;
}

TRVBasicSetting::TRVBasicSetting(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                                 TPersistentNotify AOnChange)
    : TLockPersistent(std::move(AOnChange), AOwner, std::move(ALock)) {}

const TPropertyTableBase& TRVBasicSetting::ClassPropertyTable() {
    static const TPropertyTable<TRVBasicSetting> table("TRVBasicSetting",
                                                       TLockPersistent::ClassPropertyTable());
    return table;
}

const TPropertyTableBase& TRVIntegerSetting::GetPropertyTable() const {
    return SettingTable<TRVIntegerSetting>("TRVIntegerSetting", GetDefault());
}

const TPropertyTableBase& TRVFloatSetting::GetPropertyTable() const {
    return SettingTable<TRVFloatSetting>("TRVFloatSetting", GetDefault());
}

const TPropertyTableBase& TRVNormalizedFloatSetting::GetPropertyTable() const {
    return SettingTable<TRVNormalizedFloatSetting>("TRVNormalizedFloatSetting", GetDefault());
}

void TRVNormalizedFloatSetting::SetValue(float AValue) {
    SetBoundedPropValue("Value", FValue, AValue, 0.0f, 1.0f, [this] { ApplySettings(); });
}

const TPropertyTableBase& TRVStringSetting::GetPropertyTable() const {
    return SettingTable<TRVStringSetting>("TRVStringSetting", GetDefault());
}

const TPropertyTableBase& TRVVideoCoderTypeSetting::GetPropertyTable() const {
    return SettingTable<TRVVideoCoderTypeSetting>("TRVVideoCoderTypeSetting", GetDefault());
}

const TPropertyTableBase& TRVSkipCompareFunctionSetting::GetPropertyTable() const {
    return SettingTable<TRVSkipCompareFunctionSetting>("TRVSkipCompareFunctionSetting",
                                                       GetDefault());
}

const TPropertyTableBase& TRVDCTAlgorithmSetting::GetPropertyTable() const {
    return SettingTable<TRVDCTAlgorithmSetting>("TRVDCTAlgorithmSetting", GetDefault());
}

const TPropertyTableBase& TRVIDCTAlgorithmSetting::GetPropertyTable() const {
    return SettingTable<TRVIDCTAlgorithmSetting>("TRVIDCTAlgorithmSetting", GetDefault(), false);
}

void TRVLAVCompressionPersistent::ApplySettings() {
    for (TRVBasicSetting* setting : PublishedObjectsOf<TRVBasicSetting>(*this))
        setting->ApplySettings();
}

} // namespace sonvera
