// The table itself: binding and listing, the statuses every slot returns for bad arguments
// (writing nothing), the table's documented edge cases and the aligned allocator.

#include <functional>

#include "SVBasicTestSupport.h"
#include "sonvera/platform/signal/IPPLoader.h"

using namespace sonvera;
using namespace sonvera::svtest;

namespace {

// Any slot, called through one signature: a source (ignored by slots without one), a
// destination, their steps, the region (a 1-D slot gets cx * cy as its length, or cx when
// either is below 1) and the constant.
using TUniformCall = std::function<IppStatus(const void* ASrc, int32_t ASrcStep, void* ADst,
                                             int32_t ADstStep, IppiSize ASize, int32_t AValue)>;

struct TSlotCase {
    const char* Name;
    bool HasSource;
    bool IsRegion;       // takes steps and a region size (ippi) rather than a length
    bool ChecksSteps;    // refuses steps below 1
    bool DividesByValue; // refuses a zero constant
    TUniformCall Call;
    size_t SrcBytes = 0; // element sizes of a region slot
    size_t DstBytes = 0;
};

int32_t LengthOf(IppiSize ASize) {
    return ASize.cx < 1 || ASize.cy < 1 ? ASize.cx : ASize.cx * ASize.cy;
}

// One adapter per argument shape.

template <class T>
TSlotCase ImageBinary(const char* AName, TIppiBinaryInPlaceSfs<T> AFn, bool AChecksSteps) {
    auto call = [AFn](const void* s, int32_t ss, void* d, int32_t ds, IppiSize z, int32_t) {
        return AFn(static_cast<const T*>(s), ss, static_cast<T*>(d), ds, z, 0);
    };
    return {AName, true, true, AChecksSteps, false, call, sizeof(T), sizeof(T)};
}

template <class T>
TSlotCase SignalConstInPlace(const char* AName, TIppsConstInPlaceSfs<T> AFn, bool ADivides) {
    auto call = [AFn](const void*, int32_t, void* d, int32_t, IppiSize z, int32_t v) {
        return AFn(static_cast<T>(v), static_cast<T*>(d), LengthOf(z), 0);
    };
    return {AName, false, false, false, ADivides, call};
}

template <class T> TSlotCase SignalConst(const char* AName, TIppsConstSfs<T> AFn, bool ADivides) {
    auto call = [AFn](const void* s, int32_t, void* d, int32_t, IppiSize z, int32_t v) {
        return AFn(static_cast<const T*>(s), static_cast<T>(v), static_cast<T*>(d), LengthOf(z), 0);
    };
    return {AName, true, false, false, ADivides, call};
}

template <class T>
TSlotCase ImageConstInPlace(const char* AName, TIppiConstInPlaceSfs<T> AFn, bool ADivides) {
    auto call = [AFn](const void*, int32_t, void* d, int32_t ds, IppiSize z, int32_t v) {
        return AFn(static_cast<T>(v), static_cast<T*>(d), ds, z, 0);
    };
    return {AName, false, true, ADivides, ADivides, call, sizeof(T), sizeof(T)};
}

template <class T> TSlotCase ImageConst(const char* AName, TIppiConstSfs<T> AFn, bool ADivides) {
    auto call = [AFn](const void* s, int32_t ss, void* d, int32_t ds, IppiSize z, int32_t v) {
        return AFn(static_cast<const T*>(s), ss, static_cast<T>(v), static_cast<T*>(d), ds, z, 0);
    };
    return {AName, true, true, ADivides, ADivides, call, sizeof(T), sizeof(T)};
}

template <class T> TSlotCase ImageSet(const char* AName, TIppiSet<T> AFn) {
    auto call = [AFn](const void*, int32_t, void* d, int32_t ds, IppiSize z, int32_t v) {
        return AFn(static_cast<T>(v), static_cast<T*>(d), ds, z);
    };
    return {AName, false, true, true, false, call, sizeof(T), sizeof(T)};
}

// Copy-shaped slots, with the trailing hint or round mode when AExtra is given.
template <class TSrc, class TDst, class TFn, class... TExtra>
TSlotCase ImageUnary(const char* AName, TFn AFn, bool AChecksSteps, TExtra... AExtra) {
    auto call = [AFn, AExtra...](const void* s, int32_t ss, void* d, int32_t ds, IppiSize z,
                                 int32_t) {
        return AFn(static_cast<const TSrc*>(s), ss, static_cast<TDst*>(d), ds, z, AExtra...);
    };
    return {AName, true, true, AChecksSteps, false, call, sizeof(TSrc), sizeof(TDst)};
}

// The slot's name and the slot itself; the element-wise slot of both types; the four forms of
// an operation with a constant.
#define SLOT(AName) #AName, AName
#define BINARY(AOp, ADivides)                                                                      \
    ImageBinary<Ipp8u>(SLOT(ippi##AOp##_8u_C1IRSfs), ADivides),                                    \
        ImageBinary<Ipp16s>(SLOT(ippi##AOp##_16s_C1IRSfs), ADivides)
#define CONSTANT(AOp, AType, T, ADivides)                                                          \
    SignalConstInPlace<T>(SLOT(ipps##AOp##C_##AType##_ISfs), ADivides),                            \
        SignalConst<T>(SLOT(ipps##AOp##C_##AType##_Sfs), ADivides),                                \
        ImageConstInPlace<T>(SLOT(ippi##AOp##C_##AType##_C1IRSfs), ADivides),                      \
        ImageConst<T>(SLOT(ippi##AOp##C_##AType##_C1RSfs), ADivides)

std::vector<TSlotCase> AllSlotCases() {
    return {
        BINARY(Add, false),
        BINARY(Sub, false),
        BINARY(Mul, false),
        BINARY(Div, true),
        CONSTANT(Add, 8u, Ipp8u, false),
        CONSTANT(Add, 16s, Ipp16s, false),
        CONSTANT(Sub, 8u, Ipp8u, false),
        CONSTANT(Sub, 16s, Ipp16s, false),
        CONSTANT(Mul, 8u, Ipp8u, false),
        CONSTANT(Mul, 16s, Ipp16s, false),
        CONSTANT(Div, 8u, Ipp8u, true),
        CONSTANT(Div, 16s, Ipp16s, true),
        TSlotCase{"ippsSet_16s", false, false, false, false,
                  [](const void*, int32_t, void* d, int32_t, IppiSize z, int32_t v) {
                      return ippsSet_16s(static_cast<Ipp16s>(v), static_cast<Ipp16s*>(d),
                                         LengthOf(z));
                  }},
        TSlotCase{"ippsConvert_8s16s", true, false, false, false,
                  [](const void* s, int32_t, void* d, int32_t, IppiSize z, int32_t) {
                      return ippsConvert_8s16s(static_cast<const Ipp8s*>(s),
                                               static_cast<Ipp16s*>(d), LengthOf(z));
                  }},
        ImageSet<Ipp8u>(SLOT(ippiSet_8u_C1R)),
        ImageSet<Ipp16s>(SLOT(ippiSet_16s_C1R)),
        ImageSet<Ipp32s>(SLOT(ippiSet_32s_C1R)),
        ImageUnary<Ipp8u, Ipp8u>(SLOT(ippiCopy_8u_C1R), false),
        ImageUnary<Ipp16s, Ipp16s>(SLOT(ippiCopy_16s_C1R), false),
        ImageUnary<Ipp8u, Ipp32f>(SLOT(ippiConvert_8u32f_C1R), true),
        ImageUnary<Ipp32f, Ipp8u>(SLOT(ippiConvert_32f8u_C1R), true, ippRndNear),
        ImageUnary<Ipp8u, Ipp16s>(SLOT(ippiScale_8u16s_C1R), true),
        ImageUnary<Ipp8u, Ipp32s>(SLOT(ippiScale_8u32s_C1R), true),
        ImageUnary<Ipp16s, Ipp8u>(SLOT(ippiScale_16s8u_C1R), true, ippAlgHintNone),
        ImageUnary<Ipp16u, Ipp8u>(SLOT(ippiScale_16u8u_C1R), true, ippAlgHintAccurate),
        ImageUnary<Ipp32s, Ipp8u>(SLOT(ippiScale_32s8u_C1R), true, ippAlgHintAccurate),
    };
}

#undef CONSTANT
#undef BINARY
#undef SLOT

} // namespace

TEST(SVBasicDispatcher, BadArgumentsGiveTheirStatusInOrderAndWriteNothing) {
    for (const TSlotCase& slot : AllSlotCases()) {
        SCOPED_TRACE(slot.Name);
        std::vector<uint8_t> source(256, 1);
        std::vector<uint8_t> target(256);
        for (size_t i = 0; i < target.size(); ++i)
            target[i] = static_cast<uint8_t>(i * 29 + 1);
        const std::vector<uint8_t> before = target;
        const void* src = source.data();
        void* dst = target.data();
        const IppiSize size{3, 2};

        // A null pointer is reported before a bad size, a bad size before a bad step, and a
        // bad step before a zero divisor.
        EXPECT_EQ(slot.Call(src, 16, nullptr, 16, size, 1), ippStsNullPtrErr);
        EXPECT_EQ(slot.Call(src, 16, nullptr, 0, {0, 0}, 0), ippStsNullPtrErr);
        if (slot.HasSource) {
            EXPECT_EQ(slot.Call(nullptr, 16, dst, 16, size, 1), ippStsNullPtrErr);
        }
        EXPECT_EQ(slot.Call(src, 16, dst, 16, {0, 2}, 1), ippStsSizeErr);
        EXPECT_EQ(slot.Call(src, 16, dst, 16, {-5, 2}, 1), ippStsSizeErr);
        EXPECT_EQ(slot.Call(src, 0, dst, 0, {0, 2}, 0), ippStsSizeErr);
        if (slot.IsRegion) {
            EXPECT_EQ(slot.Call(src, 16, dst, 16, {3, 0}, 1), ippStsSizeErr);
            EXPECT_EQ(slot.Call(src, 16, dst, 16, {3, -1}, 1), ippStsSizeErr);
        }
        if (slot.ChecksSteps) {
            EXPECT_EQ(slot.Call(src, 16, dst, 0, size, 0), ippStsStepErr);
            EXPECT_EQ(slot.Call(src, 16, dst, -16, size, 1), ippStsStepErr);
            if (slot.HasSource) {
                EXPECT_EQ(slot.Call(src, 0, dst, 16, size, 1), ippStsStepErr);
            }
        }
        if (slot.DividesByValue) {
            EXPECT_EQ(slot.Call(src, 16, dst, 16, size, 0), ippStsDivByZeroErr);
        }
        EXPECT_EQ(target, before);

        // Good arguments succeed (add, subtract, multiply and copy take any step, 0 included).
        EXPECT_EQ(slot.Call(src, 16, dst, 16, size, 1), ippStsNoErr);
        if (slot.IsRegion && !slot.ChecksSteps) {
            EXPECT_EQ(slot.Call(src, 0, dst, 0, size, 1), ippStsNoErr);
        }
    }
}

TEST(SVBasicDispatcher, OneChannelOfInterleavedFramesGivesTheResultsOfAContiguousRow) {
    // Stereo frames take the masked vector path where the processor has one, three channels
    // the element-by-element one; both must match the same samples laid out in one row, and
    // leave the other channels alone.
    constexpr int32_t frames = 301;
    std::mt19937 generator(12);
    std::uniform_int_distribution<int32_t> byte(0, 255);
    for (const TSlotCase& slot : AllSlotCases()) {
        if (!slot.IsRegion)
            continue;
        for (int32_t channels : {2, 3}) {
            for (int32_t channel : {0, channels - 1}) {
                SCOPED_TRACE(::testing::Message()
                             << slot.Name << " channel " << channel << " of " << channels);
                const size_t srcFrame = slot.SrcBytes * channels;
                const size_t dstFrame = slot.DstBytes * channels;
                std::vector<uint8_t> source(srcFrame * frames);
                std::vector<uint8_t> target(dstFrame * frames);
                for (uint8_t& b : source)
                    b = static_cast<uint8_t>(byte(generator));
                for (uint8_t& b : target)
                    b = static_cast<uint8_t>(byte(generator));
                std::vector<uint8_t> rowSource(slot.SrcBytes * frames);
                std::vector<uint8_t> row(slot.DstBytes * frames);
                for (int32_t f = 0; f < frames; ++f) {
                    std::memcpy(&rowSource[f * slot.SrcBytes],
                                &source[f * srcFrame + channel * slot.SrcBytes], slot.SrcBytes);
                    std::memcpy(&row[f * slot.DstBytes],
                                &target[f * dstFrame + channel * slot.DstBytes], slot.DstBytes);
                }
                const IppStatus rowStatus =
                    slot.Call(rowSource.data(), static_cast<int32_t>(rowSource.size()), row.data(),
                              static_cast<int32_t>(row.size()), {frames, 1}, 3);
                std::vector<uint8_t> expected = target;
                for (int32_t f = 0; f < frames; ++f)
                    std::memcpy(&expected[f * dstFrame + channel * slot.DstBytes],
                                &row[f * slot.DstBytes], slot.DstBytes);
                EXPECT_EQ(slot.Call(source.data() + channel * slot.SrcBytes,
                                    static_cast<int32_t>(srcFrame),
                                    target.data() + channel * slot.DstBytes,
                                    static_cast<int32_t>(dstFrame), {1, frames}, 3),
                          rowStatus);
                EXPECT_TRUE(target == expected);
            }
        }
    }
}

TEST(SVBasicDispatcher, AlignedAllocation) {
    EXPECT_EQ(_ippMalloc(0), nullptr);
    EXPECT_EQ(_ippMalloc(-1), nullptr);
    EXPECT_EQ(_ippMalloc(-2147483647 - 1), nullptr);
    _ippFree(nullptr);
    std::vector<void*> blocks;
    for (int32_t size : {1, 2, 31, 32, 33, 4096, 1000003}) {
        void* block = _ippMalloc(size);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 32, 0u) << size;
        // The whole block is usable (the sanitizer run checks the bounds).
        std::memset(block, 0x5A, static_cast<size_t>(size));
        blocks.push_back(block);
    }
    for (void* block : blocks)
        _ippFree(block);
}
