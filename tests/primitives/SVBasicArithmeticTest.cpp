// Add, subtract and multiply slots against an exact model: v = a op b in 64 bits, times
// 2^-scaleFactor rounded to nearest with ties to even, saturated.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <type_traits>
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

// The slots by operation, read when a test runs: the dispatcher binds them at start-up.
template <class T> TIppiBinaryInPlaceSfs<T> ImageSlot(TOp AOp) {
    if constexpr (std::is_same_v<T, Ipp8u>)
        return std::array{ippiAdd_8u_C1IRSfs, ippiSub_8u_C1IRSfs, ippiMul_8u_C1IRSfs}[AOp];
    else
        return std::array{ippiAdd_16s_C1IRSfs, ippiSub_16s_C1IRSfs, ippiMul_16s_C1IRSfs}[AOp];
}

TConstForms<Ipp8u> ConstSlots8u(TOp AOp) {
    return std::array<TConstForms<Ipp8u>, 3>{
        {{ippsAddC_8u_ISfs, ippsAddC_8u_Sfs, ippiAddC_8u_C1IRSfs, ippiAddC_8u_C1RSfs},
         {ippsSubC_8u_ISfs, ippsSubC_8u_Sfs, ippiSubC_8u_C1IRSfs, ippiSubC_8u_C1RSfs},
         {ippsMulC_8u_ISfs, ippsMulC_8u_Sfs, ippiMulC_8u_C1IRSfs, ippiMulC_8u_C1RSfs}}}[AOp];
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
    src.Fill(ASrc);
    dst.Fill(ADst);
    std::vector<T> expected(ADst.size());
    for (size_t i = 0; i < ADst.size(); ++i)
        expected[i] = Expected<T>(AOp, ADst[i], ASrc[i], AScaleFactor);
    SCOPED_TRACE(::testing::Message() << Name(AOp) << " sf " << AScaleFactor << " paddings "
                                      << ASrcPadding << "/" << ADstPadding);
    ASSERT_EQ(
        ImageSlot<T>(AOp)(src.Data(), src.Step(), dst.Data(), dst.Step(), dst.Size(), AScaleFactor),
        ippStsNoErr);
    EXPECT_EQ(FirstMismatch(expected, dst.Values()), "");
    EXPECT_TRUE(dst.PaddingIntact());
    EXPECT_TRUE(src.PaddingIntact());
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
