// Element-wise and constant slots against an exact model: v = a op b in 64 bits, times
// 2^-scaleFactor rounded to nearest with ties to even, saturated. The division by a constant
// has a model of its own (SVBasicDivideTest.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <numeric>
#include <type_traits>
#include <utility>
#include <vector>

#include "SVBasicTestSupport.h"

using namespace sonvera;
using namespace sonvera::svtest;

namespace {

enum TOp { opAdd, opSub, opMul, opDiv };

template <class T> struct TLimits;
template <> struct TLimits<Ipp8u> { static constexpr int64_t Low = 0, High = 255; };
template <> struct TLimits<Ipp16s> { static constexpr int64_t Low = -32768, High = 32767; };

// A zero divisor gives the extreme of the dividend's sign, and 0 for 0.
template <class T> T Expected(TOp AOp, int64_t A, int64_t B, int32_t AScaleFactor) {
    constexpr int64_t low = TLimits<T>::Low, high = TLimits<T>::High;
    if (AOp == opDiv)
        return static_cast<T>(B == 0 ? (A == 0 ? 0 : (A > 0 ? high : low))
                                     : Quotient(A, B, AScaleFactor, low, high));
    const int64_t exact = AOp == opAdd ? A + B : (AOp == opSub ? A - B : A * B);
    return static_cast<T>(std::clamp(ScaleExactly(exact, AScaleFactor), low, high));
}

const char* Name(TOp AOp) {
    return std::array{"add", "sub", "mul", "div"}[AOp];
}

// The slots by operation, read when a test runs: the dispatcher binds them at start-up.
template <class T> TIppiBinaryInPlaceSfs<T> ImageSlot(TOp AOp) {
    if constexpr (std::is_same_v<T, Ipp8u>)
        return std::array{ippiAdd_8u_C1IRSfs, ippiSub_8u_C1IRSfs, ippiMul_8u_C1IRSfs,
                          ippiDiv_8u_C1IRSfs}[AOp];
    else
        return std::array{ippiAdd_16s_C1IRSfs, ippiSub_16s_C1IRSfs, ippiMul_16s_C1IRSfs,
                          ippiDiv_16s_C1IRSfs}[AOp];
}

TConstForms<Ipp8u> ConstSlots8u(TOp AOp) {
    return std::array<TConstForms<Ipp8u>, 3>{
        {{ippsAddC_8u_ISfs, ippsAddC_8u_Sfs, ippiAddC_8u_C1IRSfs, ippiAddC_8u_C1RSfs},
         {ippsSubC_8u_ISfs, ippsSubC_8u_Sfs, ippiSubC_8u_C1IRSfs, ippiSubC_8u_C1RSfs},
         {ippsMulC_8u_ISfs, ippsMulC_8u_Sfs, ippiMulC_8u_C1IRSfs, ippiMulC_8u_C1RSfs}}}[AOp];
}

// Runs the element-wise slot on a region holding ADst (the first operand and destination) and
// ASrc, AWidth wide, with the given row padding in bytes, and compares with the model. A zero
// divisor gives status 6, and the whole region is still written.
template <class T>
void CheckElementWise(TOp AOp, const std::vector<T>& ADst, const std::vector<T>& ASrc,
                      int32_t AWidth, int32_t ASrcPadding, int32_t ADstPadding,
                      int32_t AScaleFactor) {
    const int32_t height = static_cast<int32_t>(ADst.size()) / AWidth;
    const int32_t rowBytes = AWidth * static_cast<int32_t>(sizeof(T));
    TPlane<T> src(AWidth, height, rowBytes + ASrcPadding);
    TPlane<T> dst(AWidth, height, rowBytes + ADstPadding);
    src.Fill(ASrc);
    dst.Fill(ADst);
    std::vector<T> expected(ADst.size());
    for (size_t i = 0; i < ADst.size(); ++i)
        expected[i] = Expected<T>(AOp, ADst[i], ASrc[i], AScaleFactor);
    const bool byZero = AOp == opDiv && std::find(ASrc.begin(), ASrc.end(), T{0}) != ASrc.end();
    SCOPED_TRACE(::testing::Message() << Name(AOp) << " sf " << AScaleFactor << " paddings "
                                      << ASrcPadding << "/" << ADstPadding);
    ASSERT_EQ(
        ImageSlot<T>(AOp)(src.Data(), src.Step(), dst.Data(), dst.Step(), dst.Size(), AScaleFactor),
        byZero ? ippStsDivByZero : ippStsNoErr);
    EXPECT_EQ(FirstMismatch(expected, dst.Values()), "");
    EXPECT_TRUE(dst.PaddingIntact());
    EXPECT_TRUE(src.PaddingIntact());
}

// The first operands and the second of every pair of values of AValues.
template <class T>
std::pair<std::vector<T>, std::vector<T>> EveryPair(const std::vector<T>& AValues) {
    std::pair<std::vector<T>, std::vector<T>> pairs;
    for (T a : AValues)
        for (T b : AValues) {
            pairs.first.push_back(a);
            pairs.second.push_back(b);
        }
    return pairs;
}

const TOp KOps[] = {opAdd, opSub, opMul, opDiv};

} // namespace

TEST(SVBasicArithmetic, Every8uPairAtEveryScaleFactorElementWise) {
    std::vector<Ipp8u> bytes(256);
    std::iota(bytes.begin(), bytes.end(), 0);
    const auto [dst, src] = EveryPair(bytes);
    for (TOp op : KOps) {
        for (int32_t sf = -10; sf <= 18; ++sf) {
            // Contiguous (one long row) and padded rows alternate.
            const bool padded = sf % 2 != 0;
            CheckElementWise<Ipp8u>(op, dst, src, 256, padded ? 7 : 0, padded ? 3 : 0, sf);
        }
    }
}

TEST(SVBasicArithmetic, Every8uValueAndConstantAtEveryScaleFactor) {
    std::vector<Ipp8u> input(256);
    std::iota(input.begin(), input.end(), 0);
    for (TOp op : {opAdd, opSub, opMul})
        for (int32_t value = 0; value < 256; ++value)
            for (int32_t sf = -10; sf <= 18; ++sf) {
                std::vector<Ipp8u> expected(input.size());
                for (size_t i = 0; i < input.size(); ++i)
                    expected[i] = Expected<Ipp8u>(op, input[i], value, sf);
                SCOPED_TRACE(Name(op));
                CheckConstForms(ConstSlots8u(op), input, 16, static_cast<Ipp8u>(value), sf,
                                expected);
            }
}

TEST(SVBasicArithmetic, Random16sAcrossScaleFactors) {
    const std::vector<Ipp16s> dst = Random16s(61 * 67, 1);
    const std::vector<Ipp16s> src = Random16s(61 * 67, 2);
    // Every pair of edge values, where saturation and ties meet.
    const auto [edgesA, edgesB] = EveryPair(Random16s(19, 0));
    for (TOp op : KOps) {
        for (int32_t sf = -20; sf <= 33; ++sf) {
            CheckElementWise<Ipp16s>(op, dst, src, 61, 0, 0, sf);
            CheckElementWise<Ipp16s>(op, dst, src, 61, 4, 10, sf);
            CheckElementWise<Ipp16s>(op, edgesA, edgesB, 19, 6, 2, sf);
        }
    }
}

TEST(SVBasicArithmetic, DivisionStatusAndARegionDividedByItself) {
    // Without a zero divisor the status is 0.
    std::vector<Ipp8u> data = {200, 7, 0, 255};
    const std::vector<Ipp8u> divisor = {3, 2, 9, 1};
    ASSERT_EQ(ippiDiv_8u_C1IRSfs(divisor.data(), 4, data.data(), 4, {4, 1}, 0), ippStsNoErr);
    EXPECT_EQ(data, (std::vector<Ipp8u>{67, 4, 0, 255}));
    // Every nonzero element becomes 1, zeros stay 0 with status 6.
    std::vector<Ipp16s> self = {-32768, 0, 5, 32767, -1};
    EXPECT_EQ(ippiDiv_16s_C1IRSfs(self.data(), 10, self.data(), 10, {5, 1}, 0), ippStsDivByZero);
    EXPECT_EQ(self, (std::vector<Ipp16s>{1, 0, 1, 1, 1}));
}
