// Set, copy, conversion and scaling slots: exhaustive where the source type is small, and
// against exact integer models of the narrowing formulas.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "SVBasicTestSupport.h"
#include "sonvera/primitives/SVBitTransparent.h"

using namespace sonvera;
using namespace sonvera::svtest;

namespace {

// Runs a Copy-shaped slot on AInput laid out AWidth wide, once in contiguous rows and once in
// padded rows, and returns what the padded run wrote (both runs must agree).
template <class TSrc, class TDst, class TFn>
std::vector<TDst> RunConversion(TFn AFn, const std::vector<TSrc>& AInput, int32_t AWidth) {
    EXPECT_EQ(AInput.size() % static_cast<size_t>(AWidth), 0u);
    const int32_t height = static_cast<int32_t>(AInput.size()) / AWidth;
    std::vector<TDst> contiguous(AInput.size());
    EXPECT_EQ(AFn(AInput.data(), AWidth * static_cast<int32_t>(sizeof(TSrc)), contiguous.data(),
                  AWidth * static_cast<int32_t>(sizeof(TDst)), IppiSize{AWidth, height}),
              ippStsNoErr);
    TPlane<TSrc> source(AWidth, height, AWidth * static_cast<int32_t>(sizeof(TSrc)) + 3);
    TPlane<TDst> target(AWidth, height, AWidth * static_cast<int32_t>(sizeof(TDst)) + 5);
    source.Fill(AInput);
    EXPECT_EQ(AFn(source.Data(), source.Step(), target.Data(), target.Step(), target.Size()),
              ippStsNoErr);
    EXPECT_TRUE(target.PaddingIntact());
    const std::vector<TDst> padded = target.Values();
    EXPECT_EQ(std::memcmp(padded.data(), contiguous.data(), padded.size() * sizeof(TDst)), 0);
    return padded;
}

// RunConversion, then every element against AModel(its source element).
template <class TSrc, class TDst, class TFn, class TModel>
std::vector<TDst> CheckConversion(TFn AFn, const std::vector<TSrc>& AInput, int32_t AWidth,
                                  TModel AModel) {
    const std::vector<TDst> output = RunConversion<TSrc, TDst>(AFn, AInput, AWidth);
    for (size_t i = 0; i < AInput.size(); ++i)
        if (output[i] != static_cast<TDst>(AModel(AInput[i]))) {
            ADD_FAILURE() << "element " << i << " of " << +AInput[i] << ": got " << +output[i]
                          << ", expected " << +static_cast<TDst>(AModel(AInput[i]));
            break;
        }
    return output;
}

int64_t FloorDivide(int64_t A, int64_t B) {
    const int64_t quotient = A / B;
    return (A % B != 0 && A < 0) ? quotient - 1 : quotient;
}

Ipp8u LowByte(int64_t AValue) {
    return static_cast<Ipp8u>(((AValue % 256) + 256) % 256);
}

// The fast narrowing: the top byte of s - floor(s / 256), moved from signed to unsigned.
Ipp8u FastNarrow(int64_t AS, int64_t ATopDivisor) {
    return LowByte(FloorDivide(AS - FloorDivide(AS, 256), ATopDivisor) - 128);
}

// 128-bit integers hold the exact products of the 32-bit model.
using sonvera::testing::TInt128;

// A float written as AMantissa * 2^-AExponent with an integer mantissa.
struct TDyadic {
    int64_t Mantissa;
    int32_t Exponent;
};

TDyadic Dyadic(double AValue, int32_t ABits) {
    int exponent = 0;
    const double fraction = std::frexp(AValue, &exponent);
    return {static_cast<int64_t>(std::ldexp(fraction, ABits)), ABits - exponent};
}

// floor(y), less 1 when y is an odd integer, for y = ANumerator / 2^AExponent >= 0.
Ipp8u TruncateTiesDownToEven(TInt128 ANumerator, int32_t AExponent) {
    const TInt128 one = static_cast<TInt128>(1) << AExponent;
    int64_t n = static_cast<int64_t>(ANumerator / one);
    if (ANumerator % one == 0 && n % 2 != 0)
        --n;
    return static_cast<Ipp8u>(n);
}

// The accurate 16-bit narrowing: x * k + AOffset with k the float nearest 255/65535, exactly.
Ipp8u AccurateNarrow16(int64_t AX, double AOffset) {
    const TDyadic k = Dyadic(static_cast<float>(255.0 / 65535.0), 24);
    const TInt128 offset = static_cast<TInt128>(std::ldexp(AOffset, k.Exponent));
    return TruncateTiesDownToEven(static_cast<TInt128>(AX) * k.Mantissa + offset, k.Exponent);
}

// The accurate 32-bit narrowing with its double factor and offset, exactly.
Ipp8u AccurateNarrow32(int64_t AX) {
    const TDyadic k = Dyadic(5.937181414556033e-08, 53);
    const TDyadic offset = Dyadic(128.0000000296859, 53);
    const int32_t shift = k.Exponent - offset.Exponent;
    return TruncateTiesDownToEven(static_cast<TInt128>(AX) * k.Mantissa +
                                      (static_cast<TInt128>(offset.Mantissa) << shift),
                                  k.Exponent);
}

template <class TSrc, class TFn> auto WithHint(TFn AFn, IppHintAlgorithm AHint) {
    return
        [AFn, AHint](const TSrc* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                     IppiSize ASize) { return AFn(ASrc, ASrcStep, ADst, ADstStep, ASize, AHint); };
}

} // namespace

TEST(SVBasicConvert, WideningIsExactForEveryByte) {
    std::vector<Ipp8u> unsignedBytes(256 * 3);
    std::vector<Ipp8s> signedBytes(256 * 3);
    for (size_t i = 0; i < unsignedBytes.size(); ++i) {
        unsignedBytes[i] = static_cast<Ipp8u>(i * 7);
        signedBytes[i] = static_cast<Ipp8s>(unsignedBytes[i]);
    }
    std::vector<Ipp16s> widened(signedBytes.size() + 1, 99);
    ASSERT_EQ(ippsConvert_8s16s(signedBytes.data(), widened.data(),
                                static_cast<int32_t>(signedBytes.size())),
              ippStsNoErr);
    EXPECT_EQ(widened.back(), 99);
    for (size_t i = 0; i < signedBytes.size(); ++i)
        ASSERT_EQ(widened[i], signedBytes[i]);
    CheckConversion<Ipp8u, Ipp32f>(ippiConvert_8u32f_C1R, unsignedBytes, 256,
                                   [](int64_t x) { return static_cast<float>(x); });
    // The ends of the byte range land on the ends of the wider range.
    CheckConversion<Ipp8u, Ipp16s>(ippiScale_8u16s_C1R, unsignedBytes, 48,
                                   [](int64_t x) { return x * 65535 / 255 - 32768; });
    CheckConversion<Ipp8u, Ipp32s>(ippiScale_8u32s_C1R, unsignedBytes, 1,
                                   [](int64_t x) { return x * 4294967295LL / 255 - 2147483648LL; });
    CheckConversion<Ipp8u, Ipp16u>(ippiScale_8u16u_C1R, unsignedBytes, 96,
                                   [](int64_t x) { return x * 256; });
    // The unit's own 8u to 16u scaling checks nothing and writes nothing for an empty region.
    std::vector<Ipp16u> untouched(4, 5);
    EXPECT_EQ(ippiScale_8u16u_C1R(unsignedBytes.data(), 4, untouched.data(), 8, {0, 1}), 0);
    EXPECT_EQ(ippiScale_8u16u_C1R(unsignedBytes.data(), 4, untouched.data(), 8, {4, -1}), 0);
    EXPECT_EQ(ippiScale_8u16u_C1R(nullptr, 4, untouched.data(), 8, {4, 1}), 0);
    EXPECT_EQ(untouched, std::vector<Ipp16u>(4, 5));
}

TEST(SVBasicConvert, FloatToByteRoundsOrTruncatesAndSaturates) {
    std::vector<Ipp32f> values;
    for (int32_t k = -40; k <= 256 * 16 + 40; ++k)
        values.push_back(static_cast<float>(k) / 16.0f);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float special : {nan, -nan, inf, -inf, -0.0f, 1e-40f, 0.49999997f, 0.50000006f, 254.99998f,
                          255.00002f, 1e30f, -1e30f, 2.5f, 3.5f})
        values.push_back(special);
    while (values.size() % 7 != 0)
        values.push_back(1.5f);
    for (IppRoundMode mode : {ippRndNear, ippRndZero, ippRndFinancial}) {
        const auto convert = [mode](const Ipp32f* ASrc, int32_t ASrcStep, Ipp8u* ADst,
                                    int32_t ADstStep, IppiSize ASize) {
            return ippiConvert_32f8u_C1R(ASrc, ASrcStep, ADst, ADstStep, ASize, mode);
        };
        CheckConversion<Ipp32f, Ipp8u>(convert, values, 7, [mode](float x) {
            if (!(x > 0.0f)) // NaN as well
                return 0;
            return x >= 255.0f ? 255 : int(mode == ippRndNear ? std::nearbyint(x) : std::trunc(x));
        });
    }
}

TEST(SVBasicConvert, SixteenBitNarrowingMatchesItsExactFormulaForEverySample) {
    std::vector<Ipp16s> signedSamples(65536);
    std::vector<Ipp16u> unsignedSamples(65536);
    for (int32_t i = 0; i < 65536; ++i) {
        signedSamples[i] = static_cast<Ipp16s>(i - 32768);
        unsignedSamples[i] = static_cast<Ipp16u>(i);
    }
    const auto accurateSigned = CheckConversion<Ipp16s, Ipp8u>(
        WithHint<Ipp16s>(ippiScale_16s8u_C1R, ippAlgHintAccurate), signedSamples, 256,
        [](int64_t s) { return AccurateNarrow16(s, 128.001953125); });
    const auto fastSigned = CheckConversion<Ipp16s, Ipp8u>(
        WithHint<Ipp16s>(ippiScale_16s8u_C1R, ippAlgHintFast), signedSamples, 1,
        [](int64_t s) { return FastNarrow(s, 256); });
    const auto accurateUnsigned = CheckConversion<Ipp16u, Ipp8u>(
        WithHint<Ipp16u>(ippiScale_16u8u_C1R, ippAlgHintAccurate), unsignedSamples, 512,
        [](int64_t u) { return AccurateNarrow16(u, 0.5); });
    const auto fastUnsigned = CheckConversion<Ipp16u, Ipp8u>(
        WithHint<Ipp16u>(ippiScale_16u8u_C1R, ippAlgHintNone), unsignedSamples, 32,
        [](int64_t u) { return FastNarrow(u - 32768, 256); });
    // The ends map to the ends on both paths.
    for (const auto* narrowed : {&accurateSigned, &fastSigned, &accurateUnsigned, &fastUnsigned})
        EXPECT_EQ(narrowed->back(), 255);
    EXPECT_EQ(accurateSigned.front() | fastSigned.front(), 0);
}

TEST(SVBasicConvert, ThirtyTwoBitNarrowingMatchesItsExactFormula) {
    std::vector<Ipp32s> samples = {-2147483647 - 1, -2147483647, -16777216,  -8421505,  -1, 0, 1,
                                   8421504,         16777215,    2147483646, 2147483647};
    std::mt19937 generator(11);
    std::uniform_int_distribution<int32_t> any(std::numeric_limits<int32_t>::min(),
                                               std::numeric_limits<int32_t>::max());
    while (samples.size() < 13 * 401)
        samples.push_back(any(generator));
    const auto accurate = CheckConversion<Ipp32s, Ipp8u>(
        WithHint<Ipp32s>(ippiScale_32s8u_C1R, ippAlgHintAccurate), samples, 13, AccurateNarrow32);
    CheckConversion<Ipp32s, Ipp8u>(
        WithHint<Ipp32s>(ippiScale_32s8u_C1R, static_cast<IppHintAlgorithm>(7)), samples, 401,
        [](int64_t s) { return FastNarrow(s, int64_t{1} << 24); });
    EXPECT_EQ(accurate.front(), 0);
    EXPECT_EQ(accurate[10], 255);
}

// Bit-transparent widths: each narrowing against the exact rounding of x / 2^n, saturated at
// the top (the largest values round up past it), and each widening narrowed back exactly;
// dither moves a narrowed sample by at most one step from the undithered result.
TEST(SVConvertBitsTransparent, RoundsSaturatesAndRoundTrips) {
    const auto store = [](int32_t ABits, int64_t AValue, uint8_t* AOut) {
        const int64_t raw = ABits == 8 ? AValue + 128 : AValue;
        for (int32_t i = 0; i < ABits / 8; ++i)
            AOut[i] = static_cast<uint8_t>(raw >> (8 * i));
    };
    const auto load = [](int32_t ABits, const uint8_t* AIn) {
        int64_t raw = 0;
        for (int32_t i = ABits / 8 - 1; i >= 0; --i)
            raw = raw << 8 | AIn[i];
        if (ABits == 8)
            return raw - 128;
        return raw >= (int64_t{1} << (ABits - 1)) ? raw - (int64_t{1} << ABits) : raw;
    };
    for (const int32_t from : {8, 16, 24, 32})
        for (const int32_t to : {8, 16, 24, 32}) {
            const int64_t top = (int64_t{1} << (from - 1)) - 1;
            for (const int64_t value :
                 {-top - 1, -top, int64_t{-1}, int64_t{0}, int64_t{1}, top / 3, top - 1, top}) {
                SCOPED_TRACE(std::to_string(from) + " -> " + std::to_string(to) + ": " +
                             std::to_string(value));
                uint8_t in[4], out[4], back[4], dithered[4];
                store(from, value, in);
                TSVDitherState noise;
                ASSERT_EQ(SVConvertBitsTransparent(in, from, 4, out, to, 4, 1), ippStsNoErr);
                SVConvertBitsTransparent(in, from, 4, dithered, to, 4, 1, &noise);
                SVConvertBitsTransparent(out, to, 4, back, from, 4, 1);
                const int64_t expected =
                    to >= from ? value * (int64_t{1} << (to - from))
                               : std::min(static_cast<int64_t>(std::floor(
                                              std::ldexp(double(value), to - from) + 0.5)),
                                          (int64_t{1} << (to - 1)) - 1);
                EXPECT_EQ(load(to, out), expected);
                uint8_t packed[4] = {}; // a contiguous run takes the block kernels
                SVConvertBitsTransparent(in, from, from / 8, packed, to, to / 8, 1);
                EXPECT_EQ(load(to, packed), expected);
                if (to > from) {
                    EXPECT_EQ(load(from, back), value);
                }
                EXPECT_LE(std::llabs(load(to, dithered) - expected), to < from ? 1 : 0);
            }
        }
    uint8_t byte = 0;
    EXPECT_EQ(SVConvertBitsTransparent(&byte, 12, 1, &byte, 16, 2, 1), ippStsSizeErr);
}
