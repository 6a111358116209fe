// Every instruction-set level the processor allows, forced in turn, against the portable code:
// the hand-written kernels directly, and the compiled walkers through the primitives that take
// each of their paths (stereo columns, window shuffles, byte tables, packed runs, blocks).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "internal/KernelLevel.h"
#include "primitives/PrimitiveSimd.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/IPPExtraFunctions.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;

namespace {

using TBytes = std::vector<uint8_t>;

TBytes RandomBytes(size_t ACount, uint32_t ASeed) {
    std::mt19937 random(ASeed);
    TBytes bytes(ACount);
    for (uint8_t& byte : bytes)
        byte = uint8_t(random() % 3 == 0 ? 0x7F + random() % 3 : random());
    return bytes;
}

IppiSize Column(int32_t ARows) {
    return IppiSize{1, ARows};
}

// Every element of a window layout (steps and sizes around the window width), gathered,
// scattered back over other bytes, and both through 32-bit lanes for 3-byte elements.
TBytes WindowKernels() {
    TBytes out;
    for (int size : {1, 2, 3, 4})
        for (int step : {size + 1, 2 * size, 3 * size + 1, 24, 64 - size})
            for (int count : {1, 5, 63, 64, 200}) {
                const TBytes run = RandomBytes(size_t(step) * count, uint32_t(step + count));
                TBytes packed(size_t(size) * count + runs::KSlackBytes);
                TBytes scattered = RandomBytes(run.size(), 7);
                const runs::TStrideShuffle shuffle(step, size);
                shuffle.Gather(run.data(), count, packed.data());
                shuffle.Scatter(packed.data(), count, scattered.data());
                out.insert(out.end(), packed.begin(), packed.begin() + size * count);
                out.insert(out.end(), scattered.begin(), scattered.end());
                if (size != 3)
                    continue;
                std::vector<int32_t> values(size_t(count) + runs::KSlackBytes / 4);
                shuffle.Gather24(run.data(), count, values.data());
                for (int32_t& value : values)
                    value = value * 3 + 1;
                shuffle.Scatter24(values.data(), count, scattered.data());
                out.insert(out.end(), scattered.begin(), scattered.end());
            }
    return out;
}

// Packed 24-bit runs of every length around the vector widths, buffers exactly as long.
TBytes PackedKernels() {
    TBytes out;
    for (int count = 0; count <= 100; ++count) {
        const TBytes packed = RandomBytes(size_t(3 * count), uint32_t(count));
        std::vector<int32_t> values(static_cast<size_t>(count));
        runs::ActiveSimdKernels().Unpack24(packed.data(), values.data(), count);
        for (int32_t& value : values)
            value = int32_t(uint32_t(value) * 511u + uint32_t(count)); // wraps on purpose
        TBytes repacked(packed.size());
        runs::ActiveSimdKernels().Pack24(values.data(), repacked.data(), count);
        out.insert(out.end(), repacked.begin(), repacked.end());
    }
    return out;
}

// 16-bit samples to 32 bits and back: random samples with the rounding and range edges mixed
// in, at every start within a cache line and lengths around the vector widths.
TBytes WidthKernels() {
    const int32_t edges32[] = {0,          1,           -1,        65537,     65538,
                               -65538,     -65539,      INT32_MAX, INT32_MIN, INT32_MIN + 1,
                               0x7FFF0000, -0x7FFF0000, 131075,    -131076};
    const int16_t edges16[] = {0, 1, -1, 32767, -32767, -32768, 32766, -32766};
    std::mt19937 random(9);
    std::vector<int32_t> wide(200);
    std::vector<int16_t> narrow(200);
    for (size_t k = 0; k < wide.size(); ++k) {
        wide[k] = k % 3 == 0 ? edges32[k / 3 % std::size(edges32)] : int32_t(random());
        narrow[k] = k % 3 == 0 ? edges16[k / 3 % std::size(edges16)] : int16_t(random());
    }
    TBytes out;
    auto keep = [&](const auto& AValues) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(AValues.data());
        out.insert(out.end(), bytes, bytes + AValues.size() * sizeof(AValues[0]));
    };
    for (int start = 0; start < 16; ++start)
        for (int count : {0, 15, 16, 33, 64, 65, 150}) {
            std::vector<int16_t> narrowed(size_t(start + count));
            runs::ActiveSimdKernels().Narrow32(wide.data() + start, narrowed.data() + start, count);
            std::vector<int32_t> widened(size_t(start + count));
            runs::ActiveSimdKernels().Widen16(narrow.data() + start, widened.data() + start, count);
            keep(narrowed);
            keep(widened);
        }
    return out;
}

// 16-bit samples to packed 24-bit ones and back: the ends of both ranges, -1, 0 and the
// neighbourhoods of the points where the quotient turns mixed into random samples, lengths
// around the vector widths at several starts within a cache line, and the bytes around each
// run, which must stay as they were.
TBytes Width24Kernels() {
    const int32_t edges24[] = {0,       1,        -1,       255,     256,      -256,  -257,
                               8388607, -8388608, -8388607, 8388352, -8388353, 32767, 33022};
    const int16_t edges16[] = {0, 1, -1, 32767, -32767, -32768, 128, -129};
    std::mt19937 random(5);
    TBytes packed(3 * 200);
    std::vector<int16_t> narrow(200);
    for (int k = 0; k < 200; ++k) {
        const auto value = k % 3 == 0 ? edges24[k / 3 % std::size(edges24)] : int32_t(random());
        std::memcpy(&packed[size_t(3 * k)], &value, 3);
        narrow[size_t(k)] = k % 3 == 0 ? edges16[k / 3 % std::size(edges16)] : int16_t(random());
    }
    TBytes out;
    for (int start : {0, 3, 22})
        for (int count : {0, 1, 15, 17, 31, 33, 64, 97, 200 - start}) {
            TBytes widened = RandomBytes(size_t(3 * (start + count) + 8), uint32_t(count));
            runs::ActiveSimdKernels().Pack16To24(narrow.data() + start, widened.data() + 3 * start,
                                                 count);
            std::vector<int16_t> narrowed(size_t(start + count) + 4, 0x5A5A);
            runs::ActiveSimdKernels().Unpack24To16(packed.data() + 3 * start,
                                                   narrowed.data() + start, count);
            out.insert(out.end(), widened.begin(), widened.end());
            const auto* bytes = reinterpret_cast<const uint8_t*>(narrowed.data());
            out.insert(out.end(), bytes, bytes + 2 * narrowed.size());
        }
    return out;
}

TBytes ByteTables() {
    TBytes out;
    const TBytes entries = RandomBytes(4 * 256, 3);
    const TBytes input = RandomBytes(1000, 4);
    for (int size = 1; size <= 4; ++size)
        for (int count : {1, 63, 64, 65, 1000}) {
            TBytes mapped(size_t(size) * count);
            runs::TByteTable(entries.data(), size).Map(input.data(), count, mapped.data());
            out.insert(out.end(), mapped.begin(), mapped.end());
        }
    return out;
}

// One primitive over a buffer of random bytes, in place: stereo and wider columns, contiguous
// runs long enough for byte tables and blocks.
template <class T> T* At(TBytes& ABytes) {
    return reinterpret_cast<T*>(ABytes.data());
}

TBytes ThroughPrimitives() {
    TBytes out;
    auto run = [&](size_t ABytes, const std::function<void(TBytes&, const TBytes&)>& AOp) {
        TBytes data = RandomBytes(ABytes, uint32_t(out.size()));
        const TBytes source = RandomBytes(ABytes, 11);
        AOp(data, source);
        out.insert(out.end(), data.begin(), data.end());
    };
    for (int rows : {63, 64, 1000, 4099}) {
        const size_t n = size_t(rows);
        run(n * 4, [&](TBytes& d, const TBytes&) {
            ippiAddC_16s_C1IRSfs(900, At<Ipp16s>(d), 4, Column(rows), 1);
        });
        run(n * 2, [&](TBytes& d, const TBytes&) { ippiSet_8u_C1R(5, d.data(), 2, Column(rows)); });
        run(n * 4, [&](TBytes& d, const TBytes& s) {
            ippiAdd_16s_C1IRSfs(reinterpret_cast<const Ipp16s*>(s.data()), 4, At<Ipp16s>(d), 4,
                                Column(rows), 0);
        });
        run(n * 4, [&](TBytes& d, const TBytes& s) {
            ippiScale_16s8u_C1R(reinterpret_cast<const Ipp16s*>(s.data()), 4, d.data(), 2,
                                Column(rows), ippAlgHintAccurate);
        });
        run(n * 2, [&](TBytes& d, const TBytes& s) {
            ippiDiv_8u_C1IRSfs(s.data(), 2, d.data(), 2, Column(rows), -2);
        });
        run(n * 6, [&](TBytes& d, const TBytes& s) {
            ippiAdd_24s_C1IRSfs(s.data(), 6, d.data(), 6, Column(rows), 0);
        });
        run(n * 8, [&](TBytes& d, const TBytes& s) {
            ippiScale_16s24s_C1R(reinterpret_cast<const Ipp16s*>(s.data()), 4, d.data(), 6,
                                 Column(rows));
        });
        run(n * 8, [&](TBytes& d, const TBytes&) {
            ippiMulC_32s_C1IRSfs(-3, At<Ipp32s>(d), 8, Column(rows), 0);
        });
        run(n * 3, [&](TBytes& d, const TBytes&) { ippsMulC_24s_ISfs(77, d.data(), rows, 0); });
        run(n * 4, [&](TBytes& d, const TBytes& s) {
            ippiScale_24s32s_C1R(s.data(), 3, At<Ipp32s>(d), 4, Column(rows));
        });
        run(n * 3, [&](TBytes& d, const TBytes& s) {
            ippiScale_8u24s_C1R(s.data(), 1, d.data(), 3, Column(rows));
        });
        run(n, [&](TBytes& d, const TBytes&) { ippsDivC_8s_ISfs(-5, d.data(), rows, 0); });
        run(n * 4, [&](TBytes& d, const TBytes& s) {
            MultiplyByReal16s(0.7071, reinterpret_cast<const Ipp16s*>(s.data()), At<Ipp16s>(d), 4,
                              Column(rows));
        });
        run(n * 4, [&](TBytes& d, const TBytes& s) {
            ippiConvert_32f32s_C1RSfs(reinterpret_cast<const Ipp32f*>(s.data()), 4, At<Ipp32s>(d),
                                      4, Column(rows), ippRndNear, -20);
        });
        run(n * 4, [&](TBytes& d, const TBytes& s) {
            ippsConvert_32f32s_Sfs(reinterpret_cast<const Ipp32f*>(s.data()), At<Ipp32s>(d), rows,
                                   ippRndNear, -20);
        });
        run(n * 4, [&](TBytes& d, const TBytes& s) {
            ippsMulC_32s_Sfs(reinterpret_cast<const Ipp32s*>(s.data()), 3, At<Ipp32s>(d), rows, 2);
        });
    }
    return out;
}

struct TLevelCase {
    const char* Name;
    TBytes (*Run)();
};

const TLevelCase KCases[] = {
    {"window kernels", WindowKernels},
    {"packed kernels", PackedKernels},
    {"byte tables", ByteTables},
    {"width kernels", WidthKernels},
    {"24-bit width kernels", Width24Kernels},
    {"primitives", ThroughPrimitives},
};

TEST(KernelLevels, EveryLevelWritesThePortableBytes) {
    const TKernelLevel saved = ForceKernelLevel(klPortable);
    std::vector<TBytes> expected;
    for (const TLevelCase& testCase : KCases)
        expected.push_back(testCase.Run());
    std::string skipped;
    for (int level = klPortable + 1; level < KKernelLevelCount; ++level) {
        const TKernelLevel forced = TKernelLevel(level);
        if (!KernelLevelSupported(forced)) {
            skipped += std::string(" ") + KernelLevelName(forced);
            continue;
        }
        ForceKernelLevel(forced);
        for (size_t i = 0; i < std::size(KCases); ++i)
            EXPECT_EQ(KCases[i].Run(), expected[i])
                << KernelLevelName(forced) << ": " << KCases[i].Name;
    }
    ForceKernelLevel(saved);
    if (!skipped.empty())
        GTEST_SKIP() << "levels this processor cannot run:" << skipped;
}

} // namespace
