
#include <bit>
#include <cmath>
#include <limits>

#include "IPPExtraTestSupport.h"
#include "sonvera/primitives/IPPExtraFunctions.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

// s * A / B truncated toward zero, exactly; results beyond the destination's range are stored
// as its nearest value (the case of the most negative source, and of the byte 255).
int64_t Scaled(int64_t ASample, int64_t AFullScaleOut, int64_t AFullScaleIn) {
    const int64_t exact = ASample * AFullScaleOut / AFullScaleIn;
    return std::clamp(exact, -AFullScaleOut - 1, AFullScaleOut);
}

// Round half to even, built from floor; NaN and magnitudes from 2^63 give -2^63.
int64_t RoundHalfEven(double AValue) {
    if (!(std::fabs(AValue) < 9223372036854775808.0))
        return INT64_MIN;
    double whole = std::floor(AValue);
    const double fraction = AValue - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return int64_t(whole);
}

float Power2(int64_t AExponent) {
    return float(std::pow(2.0, double(AExponent)));
}

// Every value of a signed width.
std::vector<int64_t> EveryValue(int ABits) {
    std::vector<int64_t> values;
    for (int64_t v = -(int64_t(1) << (ABits - 1)); v < (int64_t(1) << (ABits - 1)); ++v)
        values.push_back(v);
    return values;
}

// Runs a conversion over every value of a 24-bit source in contiguous chunks.
template <class TPrimitive, class TReference>
void CheckEvery24BitValue(const TFormat& AOut, TPrimitive APrimitive, TReference AReference) {
    constexpr int kChunk = 1 << 16;
    std::vector<uint8_t> source(3 * kChunk), dest(size_t(AOut.Size) * kChunk);
    for (int64_t first = -0x800000; first < 0x800000; first += kChunk) {
        for (int i = 0; i < kChunk; ++i)
            Write24(source.data() + 3 * i, first + i);
        APrimitive(source.data(), 3, dest.data(), AOut.Size, kChunk);
        for (int i = 0; i < kChunk; ++i)
            ASSERT_EQ(AOut.Read(dest.data() + AOut.Size * i), AReference(first + i)) << first + i;
    }
}

// Adapts a conversion of one column to the checks' shape; AExtra are its trailing arguments.
template <class TIn, class TOut, class... TArgs, class... TExtra>
auto Converting(void (*APrimitive)(const TIn*, int32_t, TOut*, int32_t, const IppiSize&, TArgs...),
                TExtra... AExtra) {
    return [=](const uint8_t* ASource, int ASourceStep, uint8_t* ADest, int ADestStep, int ACount) {
        APrimitive(reinterpret_cast<const TIn*>(ASource), ASourceStep,
                   reinterpret_cast<TOut*>(ADest), ADestStep, Column(ACount), AExtra...);
    };
}
using TConversion = std::function<void(const uint8_t*, int, uint8_t*, int, int)>;

// Float runs are compared bit for bit: the source holds the floats' bits as 32-bit elements,
// and the reference writes the expected element.
template <class TPrimitive, class TReference>
void CheckFromFloat(const TFormat& AOut, const std::vector<float>& AValues, TPrimitive APrimitive,
                    TReference AReference) {
    std::vector<int64_t> bits(AValues.size());
    for (size_t i = 0; i < AValues.size(); ++i)
        bits[i] = std::bit_cast<int32_t>(AValues[i]);
    CheckMap(kInt32, AOut, bits, APrimitive,
             [&](int64_t ABits) { return AReference(std::bit_cast<float>(int32_t(ABits))); });
}

// Ties, integers, values beyond 32 and 64 bits, infinities and NaN, mixed with ordinary values
// so that a block holds both kinds.
std::vector<float> FloatSamples() {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> values = {0.5f,       1.5f,        2.5f,       -0.5f, -1.5f,
                                 -2.5f,      0.49999997f, -0.0f,      3.0f,  8388607.4f,
                                 8388607.5f, 8388608.0f,  -8388608.5f};
    values.insert(values.end(), {1e10f, -1e10f, 2147483520.0f, 2147483648.0f, -2147483648.0f,
                                 4294967296.0f, 9.2233715e18f, -9.2233720e18f, 1e30f, inf, -inf,
                                 std::numeric_limits<float>::quiet_NaN(), 1e-40f});
    std::mt19937 random(61);
    std::uniform_real_distribution<float> ordinary(-9e6f, 9e6f);
    while (values.size() < 700)
        values.push_back(values.size() % 3 ? ordinary(random)
                                           : std::round(ordinary(random)) + 0.5f);
    return values;
}

} // namespace

TEST(IPPExtraScale, WideningOverEveryValue) {
    CheckMap(kByte, kInt24, EveryValue(9), Converting(ippiScale_8u24s_C1R),
             [](int64_t s) { return Scaled(s - 127, 8388607, 127); });
    CheckMap(kInt16, kInt24, EveryValue(16), Converting(ippiScale_16s24s_C1R),
             [](int64_t s) { return Scaled(s, 8388607, 32767); });
    CheckMap(kInt16, kInt32, EveryValue(16), Converting(ippiScale_16s32s_C1R),
             [](int64_t s) { return Scaled(s, 2147483647, 32767); });
    CheckEvery24BitValue(kInt32, Converting(ippiScale_24s32s_C1R),
                         [](int64_t s) { return Scaled(s, 2147483647, 8388607); });
    CheckMap(kInt24, kInt32, SignedSamples(24, 999, 71), Converting(ippiScale_24s32s_C1R),
             [](int64_t s) { return Scaled(s, 2147483647, 8388607); });
}

TEST(IPPExtraScale, NarrowingOverEveryPackedValueAndRandomWords) {
    CheckEvery24BitValue(kInt16, Converting(ippiScale_24s16s_C1R, ippAlgHintNone),
                         [](int64_t s) { return s * 32767 / 8388607; });
    CheckEvery24BitValue(kByte, Converting(ippiScale_24s8u_C1R, ippAlgHintNone),
                         [](int64_t s) { return s * 127 / 8388607 + 127; });
    const std::vector<int64_t> packed = SignedSamples(24, 999, 72);
    CheckMap(kInt24, kInt16, packed, Converting(ippiScale_24s16s_C1R, ippAlgHintAccurate),
             [](int64_t s) { return s * 32767 / 8388607; });
    CheckMap(kInt24, kByte, packed, Converting(ippiScale_24s8u_C1R, ippAlgHintAccurate),
             [](int64_t s) { return s * 127 / 8388607 + 127; });

    // Random words, and the neighbourhoods of the points where the estimate of the quotient
    // turns: multiples of 2^8 and 2^16 and the ends of the range.
    std::vector<int64_t> words = SignedSamples(32, 200000, 73);
    for (int64_t base : {int64_t(INT32_MIN), int64_t(INT32_MAX) - 3, int64_t(0)}) {
        for (int64_t d = 0; d < 4; ++d)
            words.push_back(base + d);
    }
    std::mt19937 random(74);
    for (int i = 0; i < 20000; ++i) {
        const int64_t multiple = int64_t(int32_t(random())) & ~int64_t(0xFF);
        for (int64_t d = -2; d <= 2; ++d)
            words.push_back(std::clamp<int64_t>(multiple + d, INT32_MIN, INT32_MAX));
    }
    CheckMap(kInt32, kInt16, words, Converting(ippiScale_32s16s_C1R, ippAlgHintAccurate),
             [](int64_t s) { return s * 32767 / 2147483647; });
    CheckMap(kInt32, kInt24, words, Converting(ippiScale_32s24s_C1R, ippAlgHintAccurate),
             [](int64_t s) { return s * 8388607 / 2147483647; });
}

TEST(IPPExtraConvert, FloatToIntegersRoundHalfToEven) {
    const std::vector<float> values = FloatSamples();
    CheckFromFloat(kInt24, values, Converting(ippiConvert_32f24s_C1R, ippRndZero),
                   [](float x) { return Low32(RoundHalfEven(x)); });
    for (int32_t sf : {0, -1, 1, -8, -31, -32, 5, 31, 40, -200, 200, INT32_MIN, INT32_MAX}) {
        const float p = Power2(-int64_t(sf));
        CheckFromFloat(kInt32, values, Converting(ippiConvert_32f32s_C1RSfs, ippRndNear, sf),
                       [p](float x) { return Low32(RoundHalfEven(x * p)); });
    }
}

// Integers to float against the single-precision quotient, bit for bit: every 8- and 16-bit
// sample and every packed 24-bit one at the scale factors that map full scale onto -1 ... 1
// (which run as products) and beside them, and random words over power-of-two divisors.
TEST(IPPExtraConvert, ToFloatMatchesTheQuotientBitForBit) {
    // The bits of float(s) / ADivisor (of float(s) for a divisor of 0), as 32-bit elements.
    const auto quotientBits = [](float ADivisor) {
        return [ADivisor](int64_t s) {
            return int64_t(
                std::bit_cast<int32_t>(ADivisor == 0.0f ? float(s) : float(s) / ADivisor));
        };
    };
    const auto unitDivisor = [](int32_t sf) {
        return sf == 0 ? 0.0f : Power2(-int64_t(sf)) - 1.0f;
    };
    const struct {
        const TFormat* Format;
        int Bits;
        std::vector<int32_t> ScaleFactors;
        TConversion (*Convert)(int32_t);
    } cases[] = {
        {&kSignedByte,
         8,
         {-7, -6, -15, 0},
         [](int32_t sf) { return TConversion(Converting(ippiConvert_8s32f_C1RSfs, sf)); }},
        {&kInt16,
         16,
         {-15, -14, -16, -23},
         [](int32_t sf) { return TConversion(Converting(ippiConvert_16s32f_C1RSfs, sf)); }},
        {&kInt32,
         0,
         {-31, -1, 7, 126, -126, 127, -127, 0},
         [](int32_t sf) { return TConversion(Converting(ippiConvert_32s32f_C1RSfs, sf)); }},
    };
    for (const auto& c : cases) {
        // 32-bit samples divide by 2^-sf, the others by 2^-sf - 1.
        const std::vector<int64_t> values =
            c.Bits > 0 ? EveryValue(c.Bits) : SignedSamples(32, 999, 75);
        for (int32_t sf : c.ScaleFactors) {
            const float divisor = c.Bits > 0 ? unitDivisor(sf) : sf == 0 ? 0.0f : Power2(-sf);
            CheckMap(*c.Format, kInt32, values, c.Convert(sf), quotientBits(divisor));
        }
    }
    for (int32_t sf : {-23, -15})
        CheckEvery24BitValue(kInt32, Converting(ippiConvert_24s32f_C1RSfs, sf),
                             quotientBits(unitDivisor(sf)));
}

// Both forms of a multiplication by a real factor against x * factor rounded half to even,
// the copying form taking one step for both runs.
template <class T>
auto BothForms(void (*AInPlace)(double, T*, int32_t, const IppiSize&),
               void (*ACopy)(double, const T*, T*, int32_t, const IppiSize&)) {
    return [=](const TFormat& AFormat, const std::vector<int64_t>& AValues, double AFactor) {
        const auto reference = [AFactor](int64_t x) {
            return Low32(RoundHalfEven(double(x) * AFactor));
        };
        CheckInPlace(
            AFormat, AValues,
            [&](uint8_t* AData, int AStep, int ACount) {
                AInPlace(AFactor, reinterpret_cast<T*>(AData), AStep, Column(ACount));
            },
            reference);
        CheckMap(
            AFormat, AFormat, AValues,
            [&](uint8_t* ASource, int AStep, uint8_t* ADest, int, int ACount) {
                ACopy(AFactor, reinterpret_cast<const T*>(ASource), reinterpret_cast<T*>(ADest),
                      AStep, Column(ACount));
            },
            reference, kOneStep);
    };
}

TEST(IPPExtraMultiplyByReal, EveryWidthMatchesTheModel) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        const TFormat* Format;
        std::vector<int64_t> Values;
        std::function<void(const TFormat&, const std::vector<int64_t>&, double)> Check;
    } widths[] = {
        {&kByte, EveryValue(9), BothForms(MultiplyByReal8uI, MultiplyByReal8u)},
        {&kInt16, SignedSamples(16, 999, 91), BothForms(MultiplyByReal16sI, MultiplyByReal16s)},
        {&kInt24, SignedSamples(24, 999, 92), BothForms(MultiplyByReal24sI, MultiplyByReal24s)},
        {&kInt32, SignedSamples(32, 999, 93), BothForms(MultiplyByReal32sI, MultiplyByReal32s)},
    };
    for (const auto& width : widths)
        for (double factor : {1.0, 0.5, -1.0, 1.5, 2.0, 0.001, -3.7, 255.5, 1e10, -1e19, 1e300, nan,
                              -0.0, 0.99999999})
            width.Check(*width.Format, width.Values, factor);
}
