#include "primitives/PrimitiveSampleKernels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using namespace sonvera::samples;

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

TEST(SymmetricFloatKernels, PortableRoundingIsTheNearestIntegerOfTheExactProduct) {
    for (float value : Samples<float>(40000))
        ASSERT_EQ(FloatToS32(value), Reference(value)) << std::hexfloat << value;
    for (double value : Samples<double>(40000))
        ASSERT_EQ(FloatToS32(value), Reference(value)) << std::hexfloat << value;
}
