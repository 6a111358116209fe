// Shared by the dispatch-table tests: regions in byte buffers with padding between rows, and
// the exact integer rounding the reference models are built on.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

namespace sonvera::svtest {

// The tests run without the library's start-up, so they bind the table themselves.
inline ::testing::Environment* const GDispatcherEnvironment =
    sonvera::testing::StartUnits({{InitializeSVBasicDispatcher, FinalizeSVBasicDispatcher}});

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

    // The region's elements, row after row.
    std::vector<T> Values() const {
        std::vector<T> values;
        for (int32_t y = 0; y < FHeight; ++y)
            for (int32_t x = 0; x < FWidth; ++x)
                values.push_back(At(x, y));
        return values;
    }
    void Fill(const std::vector<T>& AValues) {
        size_t i = 0;
        for (int32_t y = 0; y < FHeight; ++y)
            for (int32_t x = 0; x < FWidth; ++x)
                Put(x, y, AValues[i++]);
    }

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

// AValue * 2^-AScaleFactor rounded to nearest with ties to even.
inline int64_t ScaleExactly(int64_t AValue, int32_t AScaleFactor) {
    return static_cast<int64_t>(sonvera::testing::ScaledQuotient(AValue, AScaleFactor));
}

// Describes the first element where AActual differs from AExpected ("" when none).
template <class T>
std::string FirstMismatch(const std::vector<T>& AExpected, const std::vector<T>& AActual) {
    for (size_t i = 0; i < AExpected.size(); ++i) {
        if (AExpected[i] != AActual[i]) {
            std::ostringstream text;
            text << "element " << i << ": expected " << int64_t{AExpected[i]} << ", got "
                 << int64_t{AActual[i]};
            return text.str();
        }
    }
    return "";
}

// The four forms of an operation with a constant: signal in place, signal, image in place,
// image.
template <class T> struct TConstForms {
    TIppsConstInPlaceSfs<T> SignalInPlace;
    TIppsConstSfs<T> Signal;
    TIppiConstInPlaceSfs<T> ImageInPlace;
    TIppiConstSfs<T> Image;
};

// Runs the four forms on AInput (laid out AWidth wide, in padded rows for the image forms) and
// compares each with AExpected; the padding and the source of the copying image form stay.
template <class T>
void CheckConstForms(const TConstForms<T>& AForms, const std::vector<T>& AInput, int32_t AWidth,
                     T AValue, int32_t AScaleFactor, const std::vector<T>& AExpected) {
    SCOPED_TRACE(::testing::Message() << "val " << int64_t{AValue} << " sf " << AScaleFactor
                                      << " count " << AInput.size());
    const auto count = static_cast<int32_t>(AInput.size());
    std::vector<T> inPlace = AInput;
    ASSERT_EQ(AForms.SignalInPlace(AValue, inPlace.data(), count, AScaleFactor), ippStsNoErr);
    EXPECT_EQ(FirstMismatch(AExpected, inPlace), "") << "signal, in place";
    std::vector<T> output(AInput.size());
    ASSERT_EQ(AForms.Signal(AInput.data(), AValue, output.data(), count, AScaleFactor),
              ippStsNoErr);
    EXPECT_EQ(FirstMismatch(AExpected, output), "") << "signal";

    const int32_t height = count / AWidth;
    const int32_t rowBytes = AWidth * static_cast<int32_t>(sizeof(T));
    TPlane<T> image(AWidth, height, rowBytes + 5);
    image.Fill(AInput);
    ASSERT_EQ(AForms.ImageInPlace(AValue, image.Data(), image.Step(), image.Size(), AScaleFactor),
              ippStsNoErr);
    EXPECT_EQ(FirstMismatch(AExpected, image.Values()), "") << "image, in place";
    EXPECT_TRUE(image.PaddingIntact());
    TPlane<T> source(AWidth, height, rowBytes + 3);
    TPlane<T> target(AWidth, height, rowBytes + 7);
    source.Fill(AInput);
    ASSERT_EQ(AForms.Image(source.Data(), source.Step(), AValue, target.Data(), target.Step(),
                           target.Size(), AScaleFactor),
              ippStsNoErr);
    EXPECT_EQ(FirstMismatch(AExpected, target.Values()), "") << "image";
    EXPECT_TRUE(target.PaddingIntact());
    EXPECT_EQ(FirstMismatch(AInput, source.Values()), "") << "source changed";
}

// ADividend * 2^-AScaleFactor / ADivisor, rounded to nearest with ties to even, saturated.
inline int64_t Quotient(int64_t ADividend, int64_t ADivisor, int32_t AScaleFactor, int64_t ALow,
                        int64_t AHigh) {
    return std::clamp(
        static_cast<int64_t>(sonvera::testing::ScaledQuotient(ADividend, AScaleFactor, ADivisor)),
        ALow, AHigh);
}

// Edge values of 16 bits, then random ones, every fourth small (the divisors of large
// quotients) and every fourth moderate (products near saturation).
inline std::vector<Ipp16s> Random16s(size_t ACount, uint32_t ASeed) {
    static const Ipp16s edges[] = {-32768, -32767, -16385, -16384, -256, -255, -3,
                                   -2,     -1,     0,      1,      2,    3,    255,
                                   256,    16383,  16384,  32766,  32767};
    std::mt19937 generator(ASeed);
    std::uniform_int_distribution<int32_t> any(-32768, 32767), small(-40, 40), moderate(-300, 300);
    std::vector<Ipp16s> values(std::begin(edges), std::end(edges));
    while (values.size() < ACount)
        values.push_back(static_cast<Ipp16s>(values.size() % 4 == 0   ? small(generator)
                                             : values.size() % 4 == 1 ? moderate(generator)
                                                                      : any(generator)));
    values.resize(ACount);
    return values;
}

} // namespace sonvera::svtest
