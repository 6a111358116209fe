// Add, subtract and multiply slots against an exact model: v = a op b in 64 bits, times
// 2^-scaleFactor rounded to nearest with ties to even, saturated.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "SVBasicTestSupport.h"

using namespace sonvera;
using namespace sonvera::svtest;

namespace {

enum TOp { opAdd, opSub, opMul };

template <class T> struct TLimits;
template <> struct TLimits<Ipp8u> { static constexpr int64_t Low = 0, High = 255; };
template <> struct TLimits<Ipp16s> { static constexpr int64_t Low = -32768, High = 32767; };

template <class T> T Expected(TOp AOp, int64_t A, int64_t B, int32_t AScaleFactor) {
    const int64_t exact = AOp == opAdd ? A + B : (AOp == opSub ? A - B : A * B);
    return static_cast<T>(
        Clamp(ScaleExactly(exact, AScaleFactor), TLimits<T>::Low, TLimits<T>::High));
}

const char* Name(TOp AOp) {
    return AOp == opAdd ? "add" : (AOp == opSub ? "sub" : "mul");
}

// The slots of one element type, by operation.
template <class T> struct TSlots;

template <> struct TSlots<Ipp8u> {
    static TIppiBinaryInPlaceSfs<Ipp8u> Image(TOp AOp) {
        return AOp == opAdd ? ippiAdd_8u_C1IRSfs
                            : (AOp == opSub ? ippiSub_8u_C1IRSfs : ippiMul_8u_C1IRSfs);
    }
    static TIppsConstInPlaceSfs<Ipp8u> SignalConstI(TOp AOp) {
        return AOp == opAdd ? ippsAddC_8u_ISfs
                            : (AOp == opSub ? ippsSubC_8u_ISfs : ippsMulC_8u_ISfs);
    }
    static TIppsConstSfs<Ipp8u> SignalConst(TOp AOp) {
        return AOp == opAdd ? ippsAddC_8u_Sfs : (AOp == opSub ? ippsSubC_8u_Sfs : ippsMulC_8u_Sfs);
    }
    static TIppiConstInPlaceSfs<Ipp8u> ImageConstI(TOp AOp) {
        return AOp == opAdd ? ippiAddC_8u_C1IRSfs
                            : (AOp == opSub ? ippiSubC_8u_C1IRSfs : ippiMulC_8u_C1IRSfs);
    }
    static TIppiConstSfs<Ipp8u> ImageConst(TOp AOp) {
        return AOp == opAdd ? ippiAddC_8u_C1RSfs
                            : (AOp == opSub ? ippiSubC_8u_C1RSfs : ippiMulC_8u_C1RSfs);
    }
};

template <> struct TSlots<Ipp16s> {
    static TIppiBinaryInPlaceSfs<Ipp16s> Image(TOp AOp) {
        return AOp == opAdd ? ippiAdd_16s_C1IRSfs
                            : (AOp == opSub ? ippiSub_16s_C1IRSfs : ippiMul_16s_C1IRSfs);
    }
    static TIppsConstInPlaceSfs<Ipp16s> SignalConstI(TOp AOp) {
        return AOp == opAdd ? ippsAddC_16s_ISfs
                            : (AOp == opSub ? ippsSubC_16s_ISfs : ippsMulC_16s_ISfs);
    }
    static TIppsConstSfs<Ipp16s> SignalConst(TOp AOp) {
        return AOp == opAdd ? ippsAddC_16s_Sfs
                            : (AOp == opSub ? ippsSubC_16s_Sfs : ippsMulC_16s_Sfs);
    }
    static TIppiConstInPlaceSfs<Ipp16s> ImageConstI(TOp AOp) {
        return AOp == opAdd ? ippiAddC_16s_C1IRSfs
                            : (AOp == opSub ? ippiSubC_16s_C1IRSfs : ippiMulC_16s_C1IRSfs);
    }
    static TIppiConstSfs<Ipp16s> ImageConst(TOp AOp) {
        return AOp == opAdd ? ippiAddC_16s_C1RSfs
                            : (AOp == opSub ? ippiSubC_16s_C1RSfs : ippiMulC_16s_C1RSfs);
    }
};

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

template <class T> std::vector<T> ReadPlane(const TPlane<T>& APlane) {
    std::vector<T> values;
    for (int32_t y = 0; y < APlane.Size().cy; ++y)
        for (int32_t x = 0; x < APlane.Size().cx; ++x)
            values.push_back(APlane.At(x, y));
    return values;
}

template <class T> void WritePlane(TPlane<T>& APlane, const std::vector<T>& AValues) {
    size_t i = 0;
    for (int32_t y = 0; y < APlane.Size().cy; ++y)
        for (int32_t x = 0; x < APlane.Size().cx; ++x)
            APlane.Put(x, y, AValues[i++]);
}

// Runs the element-wise slot on a region holding ADst (the first operand and destination) and
// ASrc, AWidth wide, with the given row padding in bytes, and compares with the model.
template <class T>
void CheckElementWise(TOp AOp, const std::vector<T>& ADst, const std::vector<T>& ASrc,
                      int32_t AWidth, int32_t ASrcPadding, int32_t ADstPadding,
                      int32_t AScaleFactor) {
    const int32_t height = static_cast<int32_t>(ADst.size()) / AWidth;
    const int32_t rowBytes = AWidth * static_cast<int32_t>(sizeof(T));
    TPlane<T> src(AWidth, height, rowBytes + ASrcPadding);
    TPlane<T> dst(AWidth, height, rowBytes + ADstPadding);
    WritePlane(src, ASrc);
    WritePlane(dst, ADst);
    std::vector<T> expected(ADst.size());
    for (size_t i = 0; i < ADst.size(); ++i)
        expected[i] = Expected<T>(AOp, ADst[i], ASrc[i], AScaleFactor);
    SCOPED_TRACE(::testing::Message() << Name(AOp) << " sf " << AScaleFactor << " paddings "
                                      << ASrcPadding << "/" << ADstPadding);
    ASSERT_EQ(TSlots<T>::Image(AOp)(src.Data(), src.Step(), dst.Data(), dst.Step(), dst.Size(),
                                    AScaleFactor),
              ippStsNoErr);
    EXPECT_EQ(FirstMismatch(expected, ReadPlane(dst)), "");
    EXPECT_TRUE(dst.PaddingIntact());
    EXPECT_TRUE(src.PaddingIntact());
}

// Runs the four constant forms on AInput and compares each with the model.
template <class T>
void CheckWithConstant(TOp AOp, const std::vector<T>& AInput, T AValue, int32_t AImageWidth,
                       int32_t AScaleFactor) {
    SCOPED_TRACE(::testing::Message()
                 << Name(AOp) << " val " << int64_t{AValue} << " sf " << AScaleFactor);
    const int32_t count = static_cast<int32_t>(AInput.size());
    std::vector<T> expected(AInput.size());
    for (size_t i = 0; i < AInput.size(); ++i)
        expected[i] = Expected<T>(AOp, AInput[i], AValue, AScaleFactor);

    std::vector<T> inPlace = AInput;
    ASSERT_EQ(TSlots<T>::SignalConstI(AOp)(AValue, inPlace.data(), count, AScaleFactor),
              ippStsNoErr);
    EXPECT_EQ(FirstMismatch(expected, inPlace), "") << "signal, in place";

    std::vector<T> output(AInput.size());
    ASSERT_EQ(
        TSlots<T>::SignalConst(AOp)(AInput.data(), AValue, output.data(), count, AScaleFactor),
        ippStsNoErr);
    EXPECT_EQ(FirstMismatch(expected, output), "") << "signal";

    const int32_t height = count / AImageWidth;
    const int32_t rowBytes = AImageWidth * static_cast<int32_t>(sizeof(T));
    TPlane<T> image(AImageWidth, height, rowBytes + 5);
    WritePlane(image, AInput);
    ASSERT_EQ(
        TSlots<T>::ImageConstI(AOp)(AValue, image.Data(), image.Step(), image.Size(), AScaleFactor),
        ippStsNoErr);
    EXPECT_EQ(FirstMismatch(expected, ReadPlane(image)), "") << "image, in place";
    EXPECT_TRUE(image.PaddingIntact());

    TPlane<T> source(AImageWidth, height, rowBytes + 3);
    TPlane<T> target(AImageWidth, height, rowBytes + 7);
    WritePlane(source, AInput);
    ASSERT_EQ(TSlots<T>::ImageConst(AOp)(source.Data(), source.Step(), AValue, target.Data(),
                                         target.Step(), target.Size(), AScaleFactor),
              ippStsNoErr);
    EXPECT_EQ(FirstMismatch(expected, ReadPlane(target)), "") << "image";
    EXPECT_TRUE(target.PaddingIntact());
    EXPECT_EQ(FirstMismatch(AInput, ReadPlane(source)), "") << "source changed";
}

std::vector<Ipp16s> Random16s(size_t ACount, uint32_t ASeed) {
    static const Ipp16s edges[] = {-32768, -32767, -16385, -16384, -256,  -255,  -2,    -1,   0,
                                   1,      2,      255,    256,    16383, 16384, 32766, 32767};
    std::mt19937 generator(ASeed);
    std::uniform_int_distribution<int32_t> any(-32768, 32767);
    std::uniform_int_distribution<int32_t> small(-300, 300);
    std::vector<Ipp16s> values(std::begin(edges), std::end(edges));
    while (values.size() < ACount)
        values.push_back(
            static_cast<Ipp16s>(values.size() % 3 == 0 ? small(generator) : any(generator)));
    return values;
}

const TOp KOps[] = {opAdd, opSub, opMul};

} // namespace

TEST(SVBasicArithmetic, Every8uPairAtEveryScaleFactorElementWise) {
    std::vector<Ipp8u> dst;
    std::vector<Ipp8u> src;
    for (int32_t a = 0; a < 256; ++a) {
        for (int32_t b = 0; b < 256; ++b) {
            dst.push_back(static_cast<Ipp8u>(a));
            src.push_back(static_cast<Ipp8u>(b));
        }
    }
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
    for (int32_t x = 0; x < 256; ++x)
        input[x] = static_cast<Ipp8u>(x);
    for (TOp op : KOps)
        for (int32_t value = 0; value < 256; ++value)
            for (int32_t sf = -10; sf <= 18; ++sf)
                CheckWithConstant<Ipp8u>(op, input, static_cast<Ipp8u>(value), 16, sf);
}

TEST(SVBasicArithmetic, Random16sAcrossScaleFactors) {
    const std::vector<Ipp16s> dst = Random16s(61 * 67, 1);
    const std::vector<Ipp16s> src = Random16s(61 * 67, 2);
    for (TOp op : KOps) {
        for (int32_t sf = -20; sf <= 33; ++sf) {
            CheckElementWise<Ipp16s>(op, dst, src, 61, 0, 0, sf);
            CheckElementWise<Ipp16s>(op, dst, src, 61, 4, 10, sf);
        }
    }
    // Every pair of edge values, where saturation and ties meet.
    std::vector<Ipp16s> edgesA;
    std::vector<Ipp16s> edgesB;
    const std::vector<Ipp16s> edges = Random16s(17, 0);
    for (Ipp16s a : edges) {
        for (Ipp16s b : edges) {
            edgesA.push_back(a);
            edgesB.push_back(b);
        }
    }
    for (TOp op : KOps)
        for (int32_t sf = -20; sf <= 33; ++sf)
            CheckElementWise<Ipp16s>(op, edgesA, edgesB, 17, 6, 2, sf);
}

