#include "sonvera/platform/signal/QXBasicDispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/signal/IPPLoader.h"

namespace sonvera {
namespace {

using sonvera::testing::TInt128;

constexpr Ipp32s kMin = std::numeric_limits<Ipp32s>::min();
constexpr Ipp32s kMax = std::numeric_limits<Ipp32s>::max();
constexpr IppStatus kRoundModeNotSupported = -213;

const std::vector<Ipp32s> kEdgeValues = {kMin, kMin + 1, -65537, -65536, -3,    -2,       -1,  0,
                                         1,    2,        3,      7,      65536, kMax - 1, kMax};

const auto* const GDispatcherStart =
    sonvera::testing::StartUnits({{InitializeQXBasicDispatcher, FinalizeQXBasicDispatcher}});

// ---- Reference model: exact arithmetic in 128 bits.

Ipp32s Saturate(TInt128 AValue) {
    return static_cast<Ipp32s>(std::clamp<TInt128>(AValue, kMin, kMax));
}

enum TConstantOp { coAdd, coSub, coMul, coDiv };

// x op val exactly, scaled, rounded and saturated.
Ipp32s ConstantRef(TConstantOp AOp, Ipp32s AX, Ipp32s AVal, int AScaleFactor) {
    const TInt128 x = AX;
    if (AOp == coDiv)
        return Saturate(sonvera::testing::ScaledQuotient(x, AScaleFactor, AVal));
    const TInt128 exact = AOp == coAdd ? x + AVal : (AOp == coSub ? x - AVal : x * AVal);
    return Saturate(sonvera::testing::ScaledQuotient(exact, AScaleFactor));
}

struct TConstantForms {
    TConstantOp Op;
    TPtr_ippsAddC_32s_Sfs Copying;
    TPtr_ippsAddC_32s_ISfs InPlace;
};

TEST(QXBasicDispatcher, ConstantArithmeticMatchesExactScaledRoundedSaturatedResult) {
    const TConstantForms forms[] = {{coAdd, ippsAddC_32s_Sfs, ippsAddC_32s_ISfs},
                                    {coSub, ippsSubC_32s_Sfs, ippsSubC_32s_ISfs},
                                    {coMul, ippsMulC_32s_Sfs, ippsMulC_32s_ISfs},
                                    {coDiv, ippsDivC_32s_Sfs, ippsDivC_32s_ISfs}};
    const int32_t len = static_cast<int32_t>(kEdgeValues.size());
    for (const TConstantForms& form : forms) {
        for (Ipp32s val : kEdgeValues) {
            if (form.Op == coDiv && val == 0)
                continue;
            for (int sf = -33; sf <= 33; ++sf) {
                std::vector<Ipp32s> dst(kEdgeValues.size(), 12345);
                ASSERT_EQ(form.Copying(kEdgeValues.data(), val, dst.data(), len, sf), ippStsNoErr);
                std::vector<Ipp32s> inPlace = kEdgeValues;
                ASSERT_EQ(form.InPlace(val, inPlace.data(), len, sf), ippStsNoErr);
                for (size_t i = 0; i < kEdgeValues.size(); ++i) {
                    const Ipp32s expected = ConstantRef(form.Op, kEdgeValues[i], val, sf);
                    ASSERT_EQ(dst[i], expected) << "op " << form.Op << " x " << kEdgeValues[i]
                                                << " val " << val << " sf " << sf;
                    ASSERT_EQ(inPlace[i], expected);
                }
            }
        }
    }
}

TEST(QXBasicDispatcher, DivideByConstantAtAScaleFactorBeyondTheSweep) {
    // 1 / -2^31 * 2^1000 saturates; the sweep covers the ties and -2^31 / -1.
    Ipp32s one = 1;
    ASSERT_EQ(ippsDivC_32s_ISfs(kMin, &one, 1, -1000), ippStsNoErr);
    EXPECT_EQ(one, kMin);
}

// ---- Float conversion against long double, which holds every scaled float exactly.

Ipp32s ConvertRef(float AValue, IppRoundMode AMode, int AScaleFactor) {
    if (std::isnan(AValue))
        return 0;
    const long double scaled = std::ldexp(static_cast<long double>(AValue), -AScaleFactor);
    long double rounded = 0;
    switch (AMode) {
    case ippRndZero:
        rounded = std::trunc(scaled);
        break;
    case ippRndNear:
        rounded = std::nearbyint(scaled); // the default environment rounds ties to even
        break;
    case ippRndFinancial:
        rounded = std::round(scaled); // ties away from zero
        break;
    }
    if (rounded <= kMin)
        return kMin;
    if (rounded >= kMax)
        return kMax;
    return static_cast<Ipp32s>(rounded);
}

TEST(QXBasicDispatcher, ConvertFloatRoundsByModeAndSaturates) {
    const float inf = std::numeric_limits<float>::infinity();
    const float max = std::numeric_limits<float>::max();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Ties and tiny values, then values at and beyond the 32-bit range.
    std::vector<float> values = {0.0f,  -0.0f,       0.5f,  -0.5f,  1.5f,   -1.5f,   2.5f,
                                 -2.5f, 0.49999997f, 2.25f, -7.75f, 1e-45f, -1e-45f, 12345.678f};
    values.insert(values.end(), {2147483520.0f, 2147483648.0f, -2147483648.0f, -2147483904.0f,
                                 3.0e9f, -3.0e9f, max, -max, inf, -inf, nan, -nan});
    const int32_t len = static_cast<int32_t>(values.size());
    std::vector<int> scaleFactors;
    for (int sf = -33; sf <= 33; ++sf)
        scaleFactors.push_back(sf);
    scaleFactors.insert(scaleFactors.end(), {-200, 200, -100000, 100000});
    for (IppRoundMode mode : {ippRndZero, ippRndNear, ippRndFinancial}) {
        for (int sf : scaleFactors) {
            std::vector<Ipp32s> dst(values.size(), 12345);
            ASSERT_EQ(ippsConvert_32f32s_Sfs(values.data(), dst.data(), len, mode, sf),
                      ippStsNoErr);
            for (size_t i = 0; i < values.size(); ++i)
                ASSERT_EQ(dst[i], ConvertRef(values[i], mode, sf))
                    << "value " << values[i] << " mode " << mode << " sf " << sf;
        }
    }
    // Ties still go to even when the caller has left the processor rounding upwards.
    const float ties[] = {0.5f, 1.5f, 2.5f, -0.5f, -1.5f, -2.5f};
    Ipp32s rounded[6];
    ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
    const IppStatus status = ippsConvert_32f32s_Sfs(ties, rounded, 6, ippRndNear, 0);
    const int modeAfter = std::fegetround();
    std::fesetround(FE_TONEAREST);
    ASSERT_EQ(status, ippStsNoErr);
    EXPECT_EQ(modeAfter, FE_UPWARD);
    EXPECT_EQ(std::vector<Ipp32s>(rounded, rounded + 6), (std::vector<Ipp32s>{0, 2, 2, 0, -2, -2}));
}

// ---- Copy, zero and set: exact extent, neighbours untouched.

TEST(QXBasicDispatcher, RegionCopyHonoursStepsAndLeavesPaddingAlone) {
    // Three elements wide, four rows; source rows are 5 elements apart, destination rows 4.
    std::vector<Ipp32s> src(20);
    std::iota(src.begin(), src.end(), 100);
    std::vector<Ipp32s> dst(16, -1);
    ASSERT_EQ(ippiCopy_32s_C1R(src.data(), 20, dst.data(), 16, IppiSize{3, 4}), ippStsNoErr);
    EXPECT_EQ(dst, (std::vector<Ipp32s>{100, 101, 102, -1, 105, 106, 107, -1, 110, 111, 112, -1,
                                        115, 116, 117, -1}));

    // Contiguous rows on both sides.
    std::vector<Ipp32s> packed(12, -1);
    ASSERT_EQ(ippiCopy_32s_C1R(src.data(), 12, packed.data(), 12, IppiSize{3, 4}), ippStsNoErr);
    EXPECT_EQ(packed, std::vector<Ipp32s>(src.begin(), src.begin() + 12));

    // A negative destination step writes the rows bottom-up.
    std::vector<Ipp32s> flipped(6, -1);
    ASSERT_EQ(ippiCopy_32s_C1R(src.data(), 8, flipped.data() + 4, -8, IppiSize{2, 3}), ippStsNoErr);
    EXPECT_EQ(flipped, (std::vector<Ipp32s>{104, 105, 102, 103, 100, 101}));
}

TEST(QXBasicDispatcher, BadArgumentsReturnTheirStatusAndWriteNothing) {
    Ipp32s src[4] = {1, 2, 3, 4};
    Ipp32s dst[4] = {9, 9, 9, 9};
    Ipp8u bytes[4] = {9, 9, 9, 9};
    Ipp16s shorts[4] = {9, 9, 9, 9};
    const float floats[4] = {1, 2, 3, 4};
    const auto untouched = [&] {
        return std::all_of(dst, dst + 4, [](Ipp32s v) { return v == 9; }) &&
               std::all_of(bytes, bytes + 4, [](Ipp8u v) { return v == 9; }) &&
               std::all_of(shorts, shorts + 4, [](Ipp16s v) { return v == 9; });
    };

    EXPECT_EQ(ippsCopy_8u(nullptr, bytes, 4), ippStsNullPtrErr);
    EXPECT_EQ(ippsCopy_8u(bytes, nullptr, 0), ippStsNullPtrErr); // null is found before size
    EXPECT_EQ(ippsCopy_8u(bytes, bytes, 0), ippStsSizeErr);
    EXPECT_EQ(ippsZero_8u(nullptr, 4), ippStsNullPtrErr);
    EXPECT_EQ(ippsZero_8u(bytes, -1), ippStsSizeErr);
    EXPECT_EQ(ippsZero_16s(shorts, 0), ippStsSizeErr);
    EXPECT_EQ(ippsZero_16s(nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(ippsZero_32s(dst, 0), ippStsSizeErr);
    EXPECT_EQ(ippsZero_32s(nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(ippsSet_8u(0, bytes, 0), ippStsSizeErr);
    EXPECT_EQ(ippsSet_8u(0, nullptr, 1), ippStsNullPtrErr);
    EXPECT_EQ(ippsSet_32s(0, dst, std::numeric_limits<int32_t>::min()), ippStsSizeErr);
    EXPECT_EQ(ippsSet_32s(0, nullptr, 1), ippStsNullPtrErr);

    EXPECT_EQ(ippiCopy_32s_C1R(nullptr, 16, dst, 16, IppiSize{1, 1}), ippStsNullPtrErr);
    EXPECT_EQ(ippiCopy_32s_C1R(src, 16, nullptr, 16, IppiSize{1, 1}), ippStsNullPtrErr);
    EXPECT_EQ(ippiCopy_32s_C1R(src, 16, dst, 16, IppiSize{0, 1}), ippStsSizeErr);
    EXPECT_EQ(ippiCopy_32s_C1R(src, 16, dst, 16, IppiSize{1, -1}), ippStsSizeErr);

    for (auto copying : {ippsAddC_32s_Sfs, ippsSubC_32s_Sfs, ippsMulC_32s_Sfs, ippsDivC_32s_Sfs}) {
        EXPECT_EQ(copying(nullptr, 1, dst, 4, 0), ippStsNullPtrErr);
        EXPECT_EQ(copying(src, 1, nullptr, 4, 0), ippStsNullPtrErr);
        EXPECT_EQ(copying(src, 1, dst, 0, 0), ippStsSizeErr);
    }
    for (auto inPlace :
         {ippsAddC_32s_ISfs, ippsSubC_32s_ISfs, ippsMulC_32s_ISfs, ippsDivC_32s_ISfs}) {
        EXPECT_EQ(inPlace(1, nullptr, 4, 0), ippStsNullPtrErr);
        EXPECT_EQ(inPlace(1, dst, -5, 0), ippStsSizeErr);
    }
    EXPECT_EQ(ippsDivC_32s_Sfs(src, 0, dst, 4, 0), ippStsDivByZeroErr);
    EXPECT_EQ(ippsDivC_32s_ISfs(0, dst, 4, 0), ippStsDivByZeroErr);
    EXPECT_EQ(ippsDivC_32s_Sfs(src, 0, dst, 0, 0), ippStsSizeErr); // size before divisor
    EXPECT_EQ(ippsDivC_32s_Sfs(src, 0, nullptr, 4, 0), ippStsNullPtrErr);

    EXPECT_EQ(ippsConvert_32f32s_Sfs(nullptr, dst, 4, ippRndNear, 0), ippStsNullPtrErr);
    EXPECT_EQ(ippsConvert_32f32s_Sfs(floats, nullptr, 4, ippRndNear, 0), ippStsNullPtrErr);
    EXPECT_EQ(ippsConvert_32f32s_Sfs(floats, dst, 0, ippRndNear, 0), ippStsSizeErr);
    EXPECT_EQ(ippsConvert_32f32s_Sfs(floats, dst, 4, static_cast<IppRoundMode>(3), 0),
              kRoundModeNotSupported);
    EXPECT_EQ(ippsConvert_32f32s_Sfs(floats, dst, 4, static_cast<IppRoundMode>(-1), 0),
              kRoundModeNotSupported);
    EXPECT_TRUE(untouched());
}

} // namespace
} // namespace sonvera
