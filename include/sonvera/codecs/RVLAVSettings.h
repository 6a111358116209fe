// Codec settings: one tunable field of an FFmpeg codec context, as a small persistent object
// that remembers whether FFmpeg's own choice stands (pmDefault) or the user's value (pmCustom).
// A setting reaches FFmpeg only through its setter, bound by its descriptor to the codec context
// of the open stream; the descriptor applies its settings after OpenStream. Groups of settings
// are settings themselves and apply their members.
//
// Every property is read and changed inside the owner's change-notification lock, which a
// setting shares with its descriptor; a value written through to FFmpeg is written inside it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "sonvera/platform/runtime/LockPersistent.h"
#include "sonvera/platform/runtime/TypeInfo.h"

namespace sonvera {

enum TRVLAVParameterMode : uint8_t { pmDefault, pmCustom };

// Written as their ordinal.
enum TRVLAVVideoCoderType : uint8_t { ctVlc, ctAc, ctRaw, ctRle, ctDeflate };
enum TRVLAVDCTAlgorithm : uint8_t {
    dctAuto,
    dctFastInteger,
    dctInteger,
    dctMmx,
    dctMLib,
    dctAltivec,
    dctFaan
};

// FFmpeg's inverse-DCT numbers, written as they are.
enum TRVLAVIDCTAlgorithm : uint8_t {
    idctAuto = 0,
    idctInteger = 1,
    idctSimple = 2,
    idctSimpleMmx = 3,
    idctArm = 7,
    idctAltivec = 8,
    idctSimpleArm = 10,
    idctXvid = 14,
    idctSimpleArmV5te = 16,
    idctSimpleArmV6 = 17,
    idctFaan = 20,
    idctSimpleNeon = 22,
    idctNone = 24,
    idctSimpleAuto = 128
};

// Written through the comparison table: ordinals 0 to 14 are FFmpeg's codes 0 to 14, cfChroma
// is 256.
enum TRVLAVSkipCompareFunction : uint8_t {
    cfAbsDifferences,
    cfSquaredErrors,
    cfHadamardTransformDifferences,
    cfDCTDifferences,
    cfSquaredQuantizationErrors,
    cfBits,
    cfRateDistortion,
    cfZero,
    cfAbsoluteVerticalDifferences,
    cfSquaredVerticalDifferences,
    cfNoisePreservingSquaredDifferences,
    cfWavelet53,
    cfWavelet97,
    cfDCTMax,
    cfDCT264,
    cfChroma
};

template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVParameterMode>();
template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVVideoCoderType>();
template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVDCTAlgorithm>();
template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVIDCTAlgorithm>();
template <> const TEnumTypeInfo& EnumTypeInfo<TRVLAVSkipCompareFunction>();

// FFmpeg's comparison code of AFunction.
int RVLAVCompareCode(TRVLAVSkipCompareFunction AFunction);
// The first function whose code is ACode; a code outside the table reads as cfAbsDifferences.
TRVLAVSkipCompareFunction RVLAVCompareFunction(int64_t ACode);

class TRVBasicSetting : public TLockPersistent {
public:
    TRVBasicSetting(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock,
                    TPersistentNotify AOnChange);

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    virtual void ApplySettings() {}
};

// Published: Mode (pmDefault) and Value, whose declared default is the Default given at
// construction, so that only a value the user changed is stored.
template <class T> class TRVTypedSetting : public TRVBasicSetting {
public:
    // Read the live field (a zero value when the descriptor has no open stream) and write it
    // (nothing when there is none).
    using TGetter = std::function<T()>;
    using TSetter = std::function<void(const T&)>;

    TRVTypedSetting(TPersistent* AOwner, TRef<IChangeNotifyLock> ALock, T ADefault, TGetter AGetter,
                    TSetter ASetter, TPersistentNotify AOnChange)
        : TRVBasicSetting(AOwner, std::move(ALock), std::move(AOnChange)), FValue(ADefault),
          FDefault(std::move(ADefault)), FGetter(std::move(AGetter)), FSetter(std::move(ASetter)) {}

    // In pmCustom, writes Value through the setter; in pmDefault leaves FFmpeg's choice.
    void ApplySettings() override {
        TChangeNotifyLockGuard guard(*GetLock());
        if (FMode == pmCustom && FSetter)
            FSetter(FValue);
    }

    TRVLAVParameterMode GetMode() const { return GetPropValue(FMode); }
    // Stores and notifies on change; writes nothing to FFmpeg.
    void SetMode(TRVLAVParameterMode AValue) { SetPropValue("Mode", FMode, AValue); }
    T GetValue() const { return GetPropValue(FValue); }
    // On a change (exact equality): stores, applies (so an open stream gets a custom value at
    // once), then notifies. The mode is not touched.
    virtual void SetValue(T AValue) {
        SetPropValue("Value", FValue, AValue, [this] { ApplySettings(); });
    }
    const T& GetDefault() const noexcept { return FDefault; }
    T GetCurrentValue() const { return FGetter ? FGetter() : T{}; }
    bool IsStored() const { return GetValue() != FDefault; }

protected:
    T FValue;

private:
    TRVLAVParameterMode FMode = pmDefault;
    const T FDefault;
    TGetter FGetter;
    TSetter FSetter;
};

class TRVIntegerSetting : public TRVTypedSetting<int32_t> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
};

class TRVFloatSetting : public TRVTypedSetting<float> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
};

// Never holds a value outside 0.0 to 1.0: values beyond are brought to the nearer bound, NaN to
// 0.0.
class TRVNormalizedFloatSetting : public TRVTypedSetting<float> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
    void SetValue(float AValue) override;
};

class TRVStringSetting : public TRVTypedSetting<std::string> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
};

class TRVVideoCoderTypeSetting : public TRVTypedSetting<TRVLAVVideoCoderType> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
};

class TRVSkipCompareFunctionSetting : public TRVTypedSetting<TRVLAVSkipCompareFunction> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
};

class TRVDCTAlgorithmSetting : public TRVTypedSetting<TRVLAVDCTAlgorithm> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
};

// Publishes only Mode: its Value is settable at run time but never stored.
class TRVIDCTAlgorithmSetting : public TRVTypedSetting<TRVLAVIDCTAlgorithm> {
public:
    using TRVTypedSetting::TRVTypedSetting;
    const TPropertyTableBase& GetPropertyTable() const override;
};

// A group of settings, itself a setting: applying it applies every published setting it has.
class TRVLAVCompressionPersistent : public TRVBasicSetting {
public:
    using TRVBasicSetting::TRVBasicSetting;
    void ApplySettings() override;
};

} // namespace sonvera
