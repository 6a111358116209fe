#include "sonvera/primitives/IPPExtraFunctions.h"

#include <thread>

#include "IPPExtraTestSupport.h"

using namespace sonvera;
using namespace sonvera::testing;

namespace {

// Every pair of bytes, as destination and source columns.
std::pair<std::vector<int64_t>, std::vector<int64_t>> EveryBytePair() {
    std::vector<int64_t> dest, source;
    for (int d = 0; d < 256; ++d) {
        for (int s = 0; s < 256; ++s) {
            dest.push_back(d);
            source.push_back(s);
        }
    }
    return {dest, source};
}

int64_t Biased(int64_t AByte) {
    return AByte - 127;
}
int64_t Unbiased(int64_t ASample) {
    return ASample + 127;
}

// Truncating division with this library's values for the cases that have none.
int64_t Quotient32(int64_t ADividend, int64_t ADivisor) {
    if (ADivisor == 0)
        return 0;
    return ADividend / ADivisor;
}

using TElementWise = void (*)(const Ipp8u*, int32_t, Ipp8u*, int32_t, const IppiSize&, int32_t);
using TElementWise32 = void (*)(const Ipp32s*, int32_t, Ipp32s*, int32_t, const IppiSize&, int32_t);

// Adapts an element-wise primitive to CheckRuns's shape, walking one column.
auto Combining(TElementWise APrimitive) {
    return
        [APrimitive](uint8_t* ASource, int ASourceStep, uint8_t* ADest, int ADestStep, int ACount) {
            APrimitive(ASource, ASourceStep, ADest, ADestStep, Column(ACount), 0);
        };
}
auto Combining(TElementWise32 APrimitive) {
    return
        [APrimitive](uint8_t* ASource, int ASourceStep, uint8_t* ADest, int ADestStep, int ACount) {
            APrimitive(reinterpret_cast<const Ipp32s*>(ASource), ASourceStep,
                       reinterpret_cast<Ipp32s*>(ADest), ADestStep, Column(ACount), 7);
        };
}

// Adapts a by-constant primitive to CheckInPlace's or CheckMap's shape, walking one column.
template <class T>
auto InPlaceBy(void (*APrimitive)(Ipp32s, T*, int32_t, const IppiSize&, int32_t), int32_t AValue) {
    return [APrimitive, AValue](uint8_t* AData, int AStep, int ACount) {
        APrimitive(AValue, reinterpret_cast<T*>(AData), AStep, Column(ACount), 0);
    };
}
template <class T>
auto CopyBy(void (*APrimitive)(const T*, Ipp32s, T*, int32_t, const IppiSize&, int32_t),
            int32_t AValue) {
    return [APrimitive, AValue](uint8_t* ASource, int AStep, uint8_t* ADest, int, int ACount) {
        APrimitive(reinterpret_cast<const T*>(ASource), AValue, reinterpret_cast<T*>(ADest), AStep,
                   Column(ACount), 0);
    };
}

const std::vector<int32_t> kConstants = {
    0,   1,      -1,    2,       -2,       3,       127,       128,       -128,   255,
    256, -32768, 65536, 8388607, -8388608, 8388608, INT32_MAX, INT32_MIN, 1000003};

} // namespace

TEST(IPPExtraArithmetic, BiasedBytesElementWiseOverEveryPair) {
    const auto [dest, source] = EveryBytePair();
    CheckRuns(kByte, kByte, source, dest, Combining(ippiAdd_8s_C1IRSfs),
              [](int64_t d, int64_t s) { return d + Biased(s); });
    CheckRuns(kByte, kByte, source, dest, Combining(ippiSub_8s_C1IRSfs),
              [](int64_t d, int64_t s) { return d - Biased(s); });
    CheckRuns(kByte, kByte, source, dest, Combining(ippiMul_8s_C1IRSfs),
              [](int64_t d, int64_t s) { return Unbiased(Biased(d) * Biased(s)); });
    CheckRuns(kByte, kByte, source, dest, Combining(ippiDiv_8s_C1IRSfs), [](int64_t d, int64_t s) {
        return s == 127 ? 127 : Unbiased(Biased(d) / Biased(s));
    });
}

TEST(IPPExtraArithmetic, PackedAndNativeElementWiseMatchTheModel) {
    // The writers keep the low 32 bits (and the 24-bit store rule), so one model serves both
    // widths; a zero divisor gives 0, and -2^23 / -1 and -2^31 / -1 wrap.
    using TCombining = std::function<void(uint8_t*, int, uint8_t*, int, int)>;
    using TModel = int64_t (*)(int64_t, int64_t);
    const TModel sum = [](int64_t d, int64_t s) { return d + s; };
    const TModel difference = [](int64_t d, int64_t s) { return d - s; };
    const TModel product = [](int64_t d, int64_t s) { return d * s; };
    const struct {
        const TFormat* Format;
        TCombining Primitive;
        TModel Model;
    } rows[] = {
        {&kInt24, Combining(ippiAdd_24s_C1IRSfs), sum},
        {&kInt24, Combining(ippiSub_24s_C1IRSfs), difference},
        {&kInt24, Combining(ippiMul_24s_C1IRSfs), product},
        {&kInt24, Combining(ippiDiv_24s_C1IRSfs), Quotient32},
        {&kInt32, Combining(ippiAdd_32s_C1IRSfs), sum},
        {&kInt32, Combining(ippiSub_32s_C1IRSfs), difference},
        {&kInt32, Combining(ippiMul_32s_C1IRSfs), product},
        {&kInt32, Combining(ippiDiv_32s_C1IRSfs), Quotient32},
    };
    for (const auto& row : rows) {
        const int bits = row.Format->Size * 8;
        const int64_t min = -(int64_t{1} << (bits - 1));
        const std::vector<int64_t> dest = SignedSamples(bits, 1500, 11);
        std::vector<int64_t> source = SignedSamples(bits, 1499, 12);
        source[7] = 0;
        CheckRuns(*row.Format, *row.Format, source, dest, row.Primitive, row.Model);
        // Small second operands: the large quotients.
        CheckRuns(*row.Format, *row.Format, SignedSamples(3, 8, 13), dest, row.Primitive,
                  row.Model);
        CheckRuns(*row.Format, *row.Format, {-1, 0, -1, 2, 2}, {min, min, -min - 1, 5, -7},
                  row.Primitive, row.Model);
    }
}

TEST(IPPExtraArithmetic, PackedAndNativeByConstant) {
    const std::vector<int64_t> packed = SignedSamples(24, 700, 31);
    const std::vector<int64_t> native = SignedSamples(32, 700, 32);
    for (int32_t v : kConstants) {
        const auto sum = [v](int64_t x) { return Low32(x + v); };
        const auto difference = [v](int64_t x) { return Low32(x - v); };
        const auto product = [v](int64_t x) { return Low32(x * v); };
        const auto quotient = [v](int64_t x) { return Low32(Quotient32(x, v)); };

        struct TFamily {
            decltype(&ippiAddC_24s_C1IRSfs) InPlace24;
            decltype(&ippsAddC_24s_ISfs) InPlace24Len;
            decltype(&ippiAddC_24s_C1RSfs) Copy24;
            decltype(&ippsAddC_24s_Sfs) Copy24Len;
            decltype(&ippiAddC_32s_C1IRSfs) InPlace32;
            decltype(&ippiAddC_32s_C1RSfs) Copy32;
            std::function<int64_t(int64_t)> Reference;
        };
        const TFamily families[] = {
            {ippiAddC_24s_C1IRSfs, ippsAddC_24s_ISfs, ippiAddC_24s_C1RSfs, ippsAddC_24s_Sfs,
             ippiAddC_32s_C1IRSfs, ippiAddC_32s_C1RSfs, sum},
            {ippiSubC_24s_C1IRSfs, ippsSubC_24s_ISfs, ippiSubC_24s_C1RSfs, ippsSubC_24s_Sfs,
             ippiSubC_32s_C1IRSfs, ippiSubC_32s_C1RSfs, difference},
            {ippiMulC_24s_C1IRSfs, ippsMulC_24s_ISfs, ippiMulC_24s_C1RSfs, ippsMulC_24s_Sfs,
             ippiMulC_32s_C1IRSfs, ippiMulC_32s_C1RSfs, product},
            {ippiDivC_24s_C1IRSfs, ippsDivC_24s_ISfs, ippiDivC_24s_C1RSfs, ippsDivC_24s_Sfs,
             ippiDivC_32s_C1IRSfs, ippiDivC_32s_C1RSfs, quotient},
        };
        for (const TFamily& f : families) {
            CheckInPlace(kInt24, packed, InPlaceBy(f.InPlace24, v), f.Reference);
            CheckInPlace(kInt32, native, InPlaceBy(f.InPlace32, v), f.Reference);
            // The separate-destination forms take one step for both runs.
            CheckMap(kInt24, kInt24, packed, CopyBy(f.Copy24, v), f.Reference, kOneStep);
            CheckMap(kInt32, kInt32, native, CopyBy(f.Copy32, v), f.Reference, kOneStep);
            for (int length : kLengths) {
                TRun data(kInt24, length, 0, 0, 8);
                data.Fill(packed);
                TRun inPlace = data, copied(kInt24, length, 0, 0, 9), expected = data;
                for (int i = 0; i < length; ++i)
                    expected.Set(i, f.Reference(data.Get(i)));
                f.InPlace24Len(v, inPlace.Data(), length, 0);
                f.Copy24Len(data.Data(), v, copied.Data(), length, 0);
                ASSERT_EQ(inPlace.Bytes, expected.Bytes) << v << " " << length;
                ASSERT_EQ(copied.Bytes, expected.Bytes) << v << " " << length;
            }
        }
    }
}

TEST(IPPExtraArithmetic, OverlappingRunsBehaveAsTheElementWalk) {
    // A source starting one element after the destination reads each element just before it
    // is overwritten; one starting one element before reads the previous result.
    for (int shift : {-1, 1}) {
        std::vector<uint8_t> bytes(3 * 302);
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t(i * 37 + 11);
        std::vector<uint8_t> expected = bytes;
        uint8_t* dest = bytes.data() + 3;
        const uint8_t* source = dest + 3 * shift;
        for (int k = 0; k < 300; ++k) {
            uint8_t* d = expected.data() + 3 + 3 * k;
            Write24(d, Read24(d) + Read24(d + 3 * shift));
        }
        ippiAdd_24s_C1IRSfs(source, 3, dest, 3, Column(300), 0);
        EXPECT_EQ(bytes, expected) << shift;
    }
    // A step of 0 applies a constant once per element to the same sample.
    int32_t sample = 5;
    ippiAddC_32s_C1IRSfs(3, &sample, 0, Column(300), 0);
    EXPECT_EQ(sample, 905);
    // An element-wise operation of a run with itself.
    std::vector<int32_t> run = {1, -2, 3, INT32_MAX, INT32_MIN};
    ippiAdd_32s_C1IRSfs(run.data(), 4, run.data(), 4, Column(5), 0);
    EXPECT_EQ(run, (std::vector<int32_t>{2, -4, 6, -2, 0}));
}

TEST(IPPExtraArithmetic, DisjointChannelsOfOneBufferOnTwoThreads) {
    // Two threads work on neighbouring channels of one packed buffer; neither may disturb the
    // other's bytes.
    constexpr int kFrames = 4099;
    std::vector<uint8_t> bytes(size_t(kFrames) * 6, 0);
    std::thread left([&] {
        for (int round = 0; round < 50; ++round)
            ippiAddC_24s_C1IRSfs(1, bytes.data(), 6, Column(kFrames), 0);
    });
    std::thread right([&] {
        for (int round = 0; round < 50; ++round)
            ippiSubC_24s_C1IRSfs(2, bytes.data() + 3, 6, Column(kFrames), 0);
    });
    left.join();
    right.join();
    for (int frame = 0; frame < kFrames; ++frame) {
        ASSERT_EQ(Read24(bytes.data() + 6 * frame), 50);
        ASSERT_EQ(Read24(bytes.data() + 6 * frame + 3), -100);
    }
}

TEST(IPPExtraFill, ZeroAndSetOfPackedRuns) {
    for (int length : kLengths) {
        std::vector<uint8_t> zeroed(size_t(3 * length) + 2, 0xEE);
        ippsZero_24s(zeroed.data() + 1, length);
        for (size_t i = 0; i < zeroed.size(); ++i)
            ASSERT_EQ(zeroed[i], i == 0 || i + 1 == zeroed.size() ? 0xEE : 0) << length;

        // ippsSet_24s writes the low 24 bits as they are; ippiSet_24s_C1R applies the store
        // rule, which differs for negative values beyond 24 bits.
        for (int32_t value : {0x123456, -1, -0x800001, INT32_MIN, 0x7FFFFF}) {
            std::vector<uint8_t> set(size_t(3 * length) + 2, 0xEE);
            ippsSet_24s(value, set.data() + 1, length);
            std::vector<uint8_t> rule(set.size(), 0xEE);
            ippiSet_24s_C1R(value, rule.data() + 1, 3, IppiSize{1, length});
            std::vector<uint8_t> expectedSet(set.size(), 0xEE), expectedRule(set.size(), 0xEE);
            for (int i = 0; i < length; ++i) {
                for (int b = 0; b < 3; ++b)
                    expectedSet[size_t(1 + 3 * i + b)] = uint8_t(uint32_t(value) >> (8 * b));
                Write24(expectedRule.data() + 1 + 3 * i, value);
            }
            ASSERT_EQ(set, expectedSet) << value << " " << length;
            ASSERT_EQ(rule, expectedRule) << value << " " << length;
        }
    }
    // One channel of an interleaved buffer, by the store rule.
    CheckInPlace(
        kInt24, {0},
        [](uint8_t* AData, int AStep, int ACount) {
            ippiSet_24s_C1R(-0x800001, AData, AStep, IppiSize{ACount, 1});
        },
        [](int64_t) { return -0x800001; });
}
