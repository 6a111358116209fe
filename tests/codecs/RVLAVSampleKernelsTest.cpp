#include "codecs/RVLAVSampleKernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace sonvera::lav;

namespace {

// round(2147483647 × x) of the exact product, ties to even, x clamped and NaN as 0: the
// product is exact in a 113-bit mantissa for every double.
int32_t Reference(double AValue) {
    if (std::isnan(AValue))
        return 0;
    const double clamped = std::fmax(-1.0, std::fmin(1.0, AValue));
    const __float128 product = static_cast<__float128>(clamped) * 2147483647;
    auto whole = static_cast<int64_t>(product); // toward zero
    const __float128 rest = product - whole;
    const int sign = product < 0 ? -1 : 1;
    const __float128 distance = rest * sign;
    const __float128 half = 0.5;
    if (distance > half || (distance == half && (whole & 1) != 0))
        whole += sign;
    return static_cast<int32_t>(whole);
}

template <class TFloat> TFloat FromBits(uint64_t ABits) {
    TFloat value;
    if constexpr (sizeof(TFloat) == 4) {
        const auto bits = static_cast<uint32_t>(ABits);
        std::memcpy(&value, &bits, sizeof value);
    } else {
        std::memcpy(&value, &ABits, sizeof value);
    }
    return value;
}

// Edges, every kind of bit pattern, and dense samples of the small and the half-integer
// products where a rounding shortcut would fail.
template <class TFloat> std::vector<TFloat> Samples(size_t ACount) {
    const TFloat inf = std::numeric_limits<TFloat>::infinity();
    const TFloat nan = std::numeric_limits<TFloat>::quiet_NaN();
    std::vector<TFloat> samples = {1, -1, 0.5, -0.5, 0, -TFloat(0), 2, -3, inf, -inf, nan};
    samples.insert(samples.end(),
                   {std::nextafter(TFloat(1), TFloat(0)), std::nextafter(TFloat(0.5), TFloat(1)),
                    std::nextafter(TFloat(0.5), TFloat(0)), TFloat(0x800001) / TFloat(0x1000000)});
    std::mt19937_64 random(7);
    while (samples.size() < ACount) {
        const uint64_t bits = random();
        samples.push_back(FromBits<TFloat>(bits));
        // (k + 0.5) / 2^31 and its neighbours, and values with exponents down to 2^-40.
        const TFloat half = (TFloat(bits % (1u << 24)) + TFloat(0.5)) / TFloat(2147483648.0);
        samples.push_back(std::nextafter(half, TFloat(bits & 1 ? 1 : -1)));
        samples.push_back(half * (bits & 2 ? 1 : -1));
        samples.push_back(std::ldexp(TFloat(bits >> 40), -int(bits % 40) - 24));
    }
    return samples;
}

} // namespace

TEST(RVLAVSampleKernels, PortableRoundingIsTheNearestIntegerOfTheExactProduct) {
    for (float value : Samples<float>(40000))
        ASSERT_EQ(FloatToS32(value), Reference(value)) << std::hexfloat << value;
    for (double value : Samples<double>(40000))
        ASSERT_EQ(FloatToS32(value), Reference(value)) << std::hexfloat << value;
}

class RVLAVSampleKernelLevel : public ::testing::TestWithParam<TKernelLevel> {};

TEST_P(RVLAVSampleKernelLevel, MatchesThePortableLoops) {
    const TKernelLevel level = GetParam();
    if (!KernelLevelAvailable(level))
        GTEST_SKIP() << (level == klAvx2 ? "AVX2" : "AVX-512") << " kernels not run: the "
                     << "processor lacks the instructions";
    const std::vector<float> floats = Samples<float>(4000);
    const std::vector<double> doubles = Samples<double>(4000);
    std::vector<int16_t> shorts(floats.size());
    std::vector<int32_t> ints(floats.size());
    std::memcpy(shorts.data(), floats.data(), shorts.size() * 2);
    std::memcpy(ints.data(), floats.data(), ints.size() * 4);
    const TSampleKernels& plain = SampleKernels(klPortable);
    const TSampleKernels& kernels = SampleKernels(level);
    // Every length around the vector widths, and one long run.
    for (size_t length : {0, 1, 7, 8, 9, 15, 16, 17, 31, 33, 47, 1000}) {
        std::vector<int32_t> got(2 * length), want(2 * length);
        auto check = [&](auto AKernel, auto APlain, const auto& ASource, const char* AName) {
            AKernel(ASource.data(), got.data(), 2 * length);
            APlain(ASource.data(), want.data(), 2 * length);
            ASSERT_EQ(got, want) << AName << " level " << level << " length " << length;
        };
        check(kernels.FloatsToS32, plain.FloatsToS32, floats, "floats");
        check(kernels.DoublesToS32, plain.DoublesToS32, doubles, "doubles");
        auto checkPair = [&](auto AKernel, auto APlain, const auto* ASource, auto& AGot,
                             auto& AWant, const char* AName) {
            AKernel(ASource, ASource + length, AGot.data(), length);
            APlain(ASource, ASource + length, AWant.data(), length);
            ASSERT_EQ(AGot, AWant) << AName << " level " << level << " length " << length;
        };
        checkPair(kernels.FloatPairToS32, plain.FloatPairToS32, floats.data(), got, want,
                  "float pairs");
        checkPair(kernels.DoublePairToS32, plain.DoublePairToS32, doubles.data(), got, want,
                  "double pairs");
        checkPair(kernels.Int32Pair, plain.Int32Pair, ints.data(), got, want, "32-bit pairs");
        std::vector<int16_t> got16(2 * length), want16(2 * length);
        checkPair(kernels.Int16Pair, plain.Int16Pair, shorts.data(), got16, want16, "16-bit pairs");
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, RVLAVSampleKernelLevel, ::testing::Values(klAvx2, klAvx512),
                         [](const auto& AInfo) {
                             return std::string(AInfo.param == klAvx2 ? "Avx2" : "Avx512");
                         });
