// Element-wise and constant slots against an exact model: v = a op b in 64 bits, times
// 2^-scaleFactor rounded to nearest with ties to even, saturated; the 8u division by a
// constant against the six-decimal reciprocal it is defined by.

#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <type_traits>
#include <utility>

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

// The four forms of each operation with a constant, by operation.
template <class T> TConstForms<T> ConstSlots(TOp AOp) {
    if constexpr (std::is_same_v<T, Ipp8u>)
        return std::array<TConstForms<Ipp8u>, 4>{
            {{ippsAddC_8u_ISfs, ippsAddC_8u_Sfs, ippiAddC_8u_C1IRSfs, ippiAddC_8u_C1RSfs},
             {ippsSubC_8u_ISfs, ippsSubC_8u_Sfs, ippiSubC_8u_C1IRSfs, ippiSubC_8u_C1RSfs},
             {ippsMulC_8u_ISfs, ippsMulC_8u_Sfs, ippiMulC_8u_C1IRSfs, ippiMulC_8u_C1RSfs},
             {ippsDivC_8u_ISfs, ippsDivC_8u_Sfs, ippiDivC_8u_C1IRSfs, ippiDivC_8u_C1RSfs}}}[AOp];
    else
        return std::array<TConstForms<Ipp16s>, 4>{
            {{ippsAddC_16s_ISfs, ippsAddC_16s_Sfs, ippiAddC_16s_C1IRSfs, ippiAddC_16s_C1RSfs},
             {ippsSubC_16s_ISfs, ippsSubC_16s_Sfs, ippiSubC_16s_C1IRSfs, ippiSubC_16s_C1RSfs},
             {ippsMulC_16s_ISfs, ippsMulC_16s_Sfs, ippiMulC_16s_C1IRSfs, ippiMulC_16s_C1RSfs},
             {ippsDivC_16s_ISfs, ippsDivC_16s_Sfs, ippiDivC_16s_C1IRSfs,
              ippiDivC_16s_C1RSfs}}}[AOp];
}

// 1/v rounded half up to six decimals, read as a float the way a compiler reads the literal.
float Reciprocal(int32_t AValue) {
    int32_t millionths = 1000000 / AValue;
    if (2 * (1000000 % AValue) >= AValue)
        ++millionths;
    char text[16];
    std::snprintf(text, sizeof text, "%d.%06d", millionths / 1000000, millionths % 1000000);
    return std::strtof(text, nullptr);
}

// The 8u division by a constant is defined by that reciprocal: y = x * 2^-sf * R(val), exact
// in long double; above 255 saturated, else rounded to nearest with ties to even.
Ipp8u Expected8uDivC(int32_t AX, int32_t AValue, int32_t AScaleFactor) {
    const long double y =
        std::ldexp(static_cast<long double>(AX) * Reciprocal(AValue), -AScaleFactor);
    return y > 255.0L ? 255 : static_cast<Ipp8u>(std::nearbyint(y));
}

// Runs the four constant forms of AOp by AValue at AScaleFactor over AInput, AWidth wide.
template <class T>
void CheckConstant(TOp AOp, const std::vector<T>& AInput, int32_t AWidth, T AValue,
                   int32_t AScaleFactor) {
    std::vector<T> expected(AInput.size());
    for (size_t i = 0; i < AInput.size(); ++i)
        expected[i] = std::is_same_v<T, Ipp8u> && AOp == opDiv
                          ? Expected8uDivC(AInput[i], AValue, AScaleFactor)
                          : Expected<T>(AOp, AInput[i], AValue, AScaleFactor);
    SCOPED_TRACE(Name(AOp));
    CheckConstForms(ConstSlots<T>(AOp), AInput, AWidth, AValue, AScaleFactor, expected);
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

TEST(SVBasicArithmetic, Every8uValueByEveryConstantAtEveryScaleFactor) {
    // 256 elements take the path that looks results up, 255 the one that computes each.
    std::vector<Ipp8u> all(256);
    std::iota(all.begin(), all.end(), 0);
    const std::vector<Ipp8u> fewer(all.begin(), all.begin() + 255);
    for (TOp op : KOps)
        for (int32_t value = op == opDiv ? 1 : 0; value < 256; ++value)
            for (int32_t sf = -10; sf <= 18; ++sf) {
                CheckConstant(op, all, 16, static_cast<Ipp8u>(value), sf);
                CheckConstant(op, fewer, 15, static_cast<Ipp8u>(value), sf);
            }
}

TEST(SVBasicArithmetic, Random16sByConstantsAcrossScaleFactors) {
    const std::vector<Ipp16s> input = Random16s(31 * 33, 9);
    std::vector<Ipp16s> values = {1, -1, 2, -2, 3, -3, 7, 10, -100, 255, 32767, -32768, 12345};
    for (Ipp16s value : Random16s(19 + 10, 10))
        if (value != 0)
            values.push_back(value);
    for (TOp op : KOps)
        for (Ipp16s value : values)
            for (int32_t sf = -20; sf <= 20; ++sf)
                CheckConstant(op, input, 31, value, sf);
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

TEST(SVBasicArithmetic, DivisionAtExtremeScaleFactorsSaturatesOrVanishes) {
    const std::vector<Ipp16s> samples = {-32768, -5, -1, 0, 1, 7, 32767};
    for (Ipp16s value : {Ipp16s{1}, Ipp16s{-3}, Ipp16s{32767}}) {
        std::vector<Ipp16s> out(samples.size());
        ASSERT_EQ(ippsDivC_16s_Sfs(samples.data(), value, out.data(), 7, INT_MAX), ippStsNoErr);
        EXPECT_EQ(out, std::vector<Ipp16s>(7, 0));
        ASSERT_EQ(ippsDivC_16s_Sfs(samples.data(), value, out.data(), 7, INT_MIN), ippStsNoErr);
        for (size_t i = 0; i < samples.size(); ++i) {
            const int64_t sign = (samples[i] > 0) - (samples[i] < 0);
            const int64_t expected = sign * value > 0 ? 32767 : (sign * value < 0 ? -32768 : 0);
            EXPECT_EQ(out[i], expected) << samples[i] << " / " << value;
        }
    }
    const std::vector<Ipp8u> bytes = {0, 1, 128, 255};
    std::vector<Ipp8u> out(4);
    ASSERT_EQ(ippsDivC_8u_Sfs(bytes.data(), 255, out.data(), 4, INT_MIN), ippStsNoErr);
    EXPECT_EQ(out, (std::vector<Ipp8u>{0, 255, 255, 255}));
    ASSERT_EQ(ippsDivC_8u_Sfs(bytes.data(), 1, out.data(), 4, INT_MAX), ippStsNoErr);
    EXPECT_EQ(out, (std::vector<Ipp8u>{0, 0, 0, 0}));
    std::vector<Ipp8u> dividends = {0, 1, 255, 9};
    const std::vector<Ipp8u> divisors = {7, 255, 1, 0};
    EXPECT_EQ(ippiDiv_8u_C1IRSfs(divisors.data(), 4, dividends.data(), 4, {4, 1}, INT_MIN),
              ippStsDivByZero);
    EXPECT_EQ(dividends, (std::vector<Ipp8u>{0, 255, 255, 255}));
    std::vector<Ipp16s> words = {-32768, 1, 0, 32767};
    const std::vector<Ipp16s> by = {-1, 3, 5, -32768};
    EXPECT_EQ(ippiDiv_16s_C1IRSfs(by.data(), 8, words.data(), 8, {4, 1}, INT_MAX), ippStsNoErr);
    EXPECT_EQ(words, (std::vector<Ipp16s>{0, 0, 0, 0}));
}
