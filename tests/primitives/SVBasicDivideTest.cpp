// Division by a constant against exact models: quotients of integers rounded with ties to even,
// and for 8u the six-decimal reciprocal it is defined by. The element-wise division is tested
// with the other element-wise operations (SVBasicArithmeticTest.cpp).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "SVBasicTestSupport.h"

using namespace sonvera;
using namespace sonvera::svtest;

namespace {

// 1/v rounded half up to six decimals, read as a float the way a compiler reads the literal.
float Reciprocal(int32_t AValue) {
    int32_t millionths = 1000000 / AValue;
    if (2 * (1000000 % AValue) >= AValue)
        ++millionths;
    char text[16];
    std::snprintf(text, sizeof text, "%d.%06d", millionths / 1000000, millionths % 1000000);
    return std::strtof(text, nullptr);
}

// The 8u division by a constant: y = x * 2^-sf * R(val), exact in long double; above 255
// saturated, else rounded to nearest with ties to even (the default rounding mode).
Ipp8u Expected8uDivC(int32_t AX, int32_t AValue, int32_t AScaleFactor) {
    const long double y =
        std::ldexp(static_cast<long double>(AX) * Reciprocal(AValue), -AScaleFactor);
    if (y > 255.0L)
        return 255;
    return static_cast<Ipp8u>(std::nearbyint(y));
}

// The division slots by a constant, read when a test runs: the dispatcher binds them at
// start-up.
TConstForms<Ipp8u> DivC8u() {
    return {ippsDivC_8u_ISfs, ippsDivC_8u_Sfs, ippiDivC_8u_C1IRSfs, ippiDivC_8u_C1RSfs};
}

TConstForms<Ipp16s> DivC16s() {
    return {ippsDivC_16s_ISfs, ippsDivC_16s_Sfs, ippiDivC_16s_C1IRSfs, ippiDivC_16s_C1RSfs};
}

} // namespace

TEST(SVBasicDivide, Every8uValueByEveryConstantAtEveryScaleFactor) {
    // 256 elements take the path that looks results up, 255 the one that computes each.
    std::vector<Ipp8u> all(256);
    for (int32_t x = 0; x < 256; ++x)
        all[x] = static_cast<Ipp8u>(x);
    const std::vector<Ipp8u> fewer(all.begin(), all.begin() + 255);
    for (int32_t value = 1; value < 256; ++value) {
        for (int32_t sf = -10; sf <= 18; ++sf) {
            for (const std::vector<Ipp8u>* input : {&std::as_const(all), &fewer}) {
                std::vector<Ipp8u> expected(input->size());
                for (size_t i = 0; i < input->size(); ++i)
                    expected[i] = Expected8uDivC((*input)[i], value, sf);
                CheckConstForms(DivC8u(), *input, input == &all ? 16 : 15,
                                static_cast<Ipp8u>(value), sf, expected);
            }
        }
    }
}

TEST(SVBasicDivide, Random16sByConstantsAcrossScaleFactors) {
    const std::vector<Ipp16s> input = Random16s(31 * 33, 9);
    std::vector<Ipp16s> values = {1, -1, 2, -2, 3, -3, 7, 10, -100, 255, 32767, -32768, 12345};
    for (Ipp16s value : Random16s(19 + 10, 10))
        if (value != 0)
            values.push_back(value);
    for (Ipp16s value : values) {
        for (int32_t sf = -20; sf <= 20; ++sf) {
            std::vector<Ipp16s> expected(input.size());
            for (size_t i = 0; i < input.size(); ++i)
                expected[i] = static_cast<Ipp16s>(Quotient(input[i], value, sf, -32768, 32767));
            CheckConstForms(DivC16s(), input, 31, value, sf, expected);
        }
    }
}

TEST(SVBasicDivide, ExtremeScaleFactorsSaturateOrVanish) {
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
