// Shared by the dispatch-table tests: regions in byte buffers with padding between rows, and
// the exact integer rounding the reference models are built on.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "sonvera/primitives/SVBasicDispatcher.h"

namespace sonvera::svtest {

// The tests run without the library's start-up, so they bind the table themselves.
class TDispatcherEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitializeSVBasicDispatcher(); }
    void TearDown() override { FinalizeSVBasicDispatcher(); }
};

inline ::testing::Environment* const GDispatcherEnvironment =
    ::testing::AddGlobalTestEnvironment(new TDispatcherEnvironment);

// A region of AWidth x AHeight elements of T, rows AStep bytes apart, inside a buffer whose
// every other byte holds a known pattern, so that a test can see nothing outside the region
// was written. Elements are read and written through memcpy: steps need not be multiples of
// the element size.
template <class T> class TPlane {
public:
    TPlane(int32_t AWidth, int32_t AHeight, int32_t AStep)
        : FWidth(AWidth), FHeight(AHeight), FStep(AStep),
          FBytes(static_cast<size_t>(AStep) * static_cast<size_t>(AHeight) + 16) {
        for (size_t i = 0; i < FBytes.size(); ++i)
            FBytes[i] = static_cast<uint8_t>(0xA7 + 13 * i);
        FPristine = FBytes;
    }

    T* Data() { return reinterpret_cast<T*>(FBytes.data()); }
    int32_t Step() const { return FStep; }
    IppiSize Size() const { return {FWidth, FHeight}; }

    T At(int32_t AX, int32_t AY) const {
        T value;
        std::memcpy(&value, FBytes.data() + Offset(AX, AY), sizeof(T));
        return value;
    }
    void Put(int32_t AX, int32_t AY, T AValue) {
        std::memcpy(FBytes.data() + Offset(AX, AY), &AValue, sizeof(T));
    }

    // Every byte outside the region's elements still holds the pattern.
    bool PaddingIntact() const {
        std::vector<bool> inside(FBytes.size(), false);
        for (int32_t y = 0; y < FHeight; ++y)
            for (int32_t x = 0; x < FWidth; ++x)
                for (size_t b = 0; b < sizeof(T); ++b)
                    inside[Offset(x, y) + b] = true;
        for (size_t i = 0; i < FBytes.size(); ++i)
            if (!inside[i] && FBytes[i] != FPristine[i])
                return false;
        return true;
    }

    const std::vector<uint8_t>& Bytes() const { return FBytes; }

private:
    size_t Offset(int32_t AX, int32_t AY) const {
        return static_cast<size_t>(AY) * static_cast<size_t>(FStep) +
               static_cast<size_t>(AX) * sizeof(T);
    }

    int32_t FWidth;
    int32_t FHeight;
    int32_t FStep;
    std::vector<uint8_t> FBytes;
    std::vector<uint8_t> FPristine;
};

// ANumerator / ADenominator (ADenominator > 0) rounded to nearest, ties to even.
inline int64_t DivideRoundingToEven(int64_t ANumerator, int64_t ADenominator) {
    int64_t quotient = ANumerator / ADenominator;
    int64_t remainder = ANumerator % ADenominator;
    if (remainder < 0) {
        quotient -= 1;
        remainder += ADenominator;
    }
    if (2 * remainder > ADenominator || (2 * remainder == ADenominator && quotient % 2 != 0))
        quotient += 1;
    return quotient;
}

// AValue * 2^-AScaleFactor rounded to nearest with ties to even, for |AValue| < 2^31 and a
// scale factor of at least -31.
inline int64_t ScaleExactly(int64_t AValue, int32_t AScaleFactor) {
    if (AScaleFactor <= 0)
        return AValue * (int64_t{1} << -AScaleFactor);
    if (AScaleFactor >= 40)
        return 0;
    return DivideRoundingToEven(AValue, int64_t{1} << AScaleFactor);
}

inline int64_t Clamp(int64_t AValue, int64_t ALow, int64_t AHigh) {
    return AValue < ALow ? ALow : (AValue > AHigh ? AHigh : AValue);
}

} // namespace sonvera::svtest
