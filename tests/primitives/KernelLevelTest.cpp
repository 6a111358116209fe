// Every instruction-set level the processor allows, forced in turn, against the portable code:
// the hand-written kernels directly, and the compiled walkers through the primitives that take
// each of their paths (stereo columns, window shuffles, byte tables, packed runs, blocks).
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "internal/KernelLevel.h"
#include "primitives/PrimitiveSimd.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/IPPExtraFunctions.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/primitives/SVFloatKernels.h"
#include "sonvera/primitives/SVSampleKernels.h"

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

// 16-bit samples to packed 24-bit ones and back (by both narrowing rules): the ends of both
// ranges, -1, 0, the halves and the neighbourhoods of the points where the quotient turns mixed
// into random samples, lengths around the vector widths at several starts within a cache line,
// and the bytes around each run, which must stay as they were.
TBytes Width24Kernels() {
    const int32_t edges24[] = {0,       1,        -1,       255,     256,      -256,  -257,
                               8388607, -8388608, -8388607, 8388352, -8388353, 32767, 33022,
                               128,     127,      -128,     -129,    8388479,  8388480};
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
            std::vector<int16_t> rounded(narrowed.size(), 0x5A5A);
            runs::ActiveSimdKernels().Round24To16(packed.data() + 3 * start,
                                                  rounded.data() + start, count);
            out.insert(out.end(), widened.begin(), widened.end());
            for (const auto* run : {&narrowed, &rounded}) {
                const auto* bytes = reinterpret_cast<const uint8_t*>(run->data());
                out.insert(out.end(), bytes, bytes + 2 * run->size());
            }
        }
    return out;
}

// 32-bit values to scaled floats, and floats to 32 bits, the scaled values around every edge of the
// conversions (NaN, infinities, signed zeros, halfway cases, the ends of the 16- and 32-bit ranges
// and of the 64-bit rounding) in every rounding mode; runs of lengths around both vector widths at
// four alignments, into destinations whose other elements must keep their bytes; pairs of planes
// into frames.
TBytes FloatKernels() {
    const float inf = std::numeric_limits<float>::infinity();
    const float special[] = {std::nanf(""), -std::nanf(""), inf, -inf, 0.0f, -0.0f, 1e-40f, 2.0f};
    const float halfway[] = {0.5f, 1.5f, 2.5f,  -0.5f,    -1.5f,    -2.5f,
                             3.0f, 5.0f, -7.0f, 32767.5f, -32768.5f};
    // 0x1.000002p0f and 0x1.fffffep-1f are the floats next to 1.
    const float rangeEnds[] = {1.0f,           -1.0f,           0x1.000002p0f,  -0x1.000002p0f,
                               0x1.fffffep-1f, -0x1.fffffep-1f, 0x1p31f,        -0x1p31f,
                               0x1.000002p31f, -0x1.000002p31f, 0x1p62f,        0x1p63f,
                               -0x1p63f,       0x1.8p40f,       -0x1.000002p32f};
    std::vector<float> edges(std::begin(special), std::end(special));
    edges.insert(edges.end(), std::begin(halfway), std::end(halfway));
    edges.insert(edges.end(), std::begin(rangeEnds), std::end(rangeEnds));
    std::mt19937 random(5);
    // Edges every other value in the first 72, so that every vector step meets one; ordinary
    // values after them, so that whole steps (and their masked first and last ones) pass.
    std::vector<float> values(208);
    for (size_t k = 0; k < values.size(); ++k)
        values[k] = k % 2 == 0 && k < 72 ? edges[k / 2 % edges.size()]
                                         : float(int32_t(random())) * 0x1p-31f;
    const int savedMode = std::fegetround();
    TBytes out;
    auto keep = [&](const std::vector<int32_t>& AValues) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(AValues.data());
        out.insert(out.end(), bytes, bytes + AValues.size() * 4);
    };
    // 32-bit values whose floats round (above 2^24) in every mode, at every offset of the
    // source within a cache line against two of the destination.
    std::vector<int32_t> integers(200);
    for (size_t k = 0; k < integers.size(); ++k)
        integers[k] = k % 5 == 0 ? int32_t(0x7FFFFFC0 - k) : int32_t(random());
    integers[7] = INT32_MIN;
    for (int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        for (int start = 0; start < 16; ++start)
            for (int gap : {0, 5})
                for (int count : {0, 9, 16, 31, 40, 47, 63, 100, 180 - start}) {
                    std::vector<int32_t> dest(size_t(gap + count + 4), -5);
                    runs::ActiveSimdKernels().ScaleToFloats(
                        integers.data() + start, reinterpret_cast<float*>(dest.data() + gap), count,
                        start % 2 == 0 ? 0x1p-31f : 0x1p7f);
                    keep(dest);
                }
        // 16-bit samples by the unit form, at every even byte offset within a line.
        const auto* samples = reinterpret_cast<const int16_t*>(integers.data());
        for (int start = 0; start < 32; ++start)
            for (int count : {0, 31, 64, 95, 120, 300 - start}) {
                std::vector<float> floats(size_t(count) + 4, -5.0f);
                runs::ActiveSimdKernels().UnitFloats16(samples + start, floats.data(), count,
                                                       0x1p-15f, 1.0f / 32767.0f * 0x1p-15f);
                keep(std::vector<int32_t>(reinterpret_cast<const int32_t*>(floats.data()),
                                          reinterpret_cast<const int32_t*>(floats.data()) +
                                              floats.size()));
            }
        for (int sf : {0, -31, -15, 1})
            for (int start = 0; start < 4; ++start)
                for (int count : {0, 1, 7, 8, 9, 15, 16, 17, 31, 32, 33, 56, 63, 64, 65, 130}) {
                    const float factor = std::ldexp(1.0f, -sf);
                    // An odd start puts every other element second in its frame.
                    for (int step : {1, 2, 3})
                        for (int base : {0, 72}) {
                            std::vector<int32_t> dest(size_t(step * (start + count) + 20), -5);
                            runs::ActiveSimdKernels().RoundFloats(
                                values.data() + base + start,
                                dest.data() + start * step + start % 2, step, count, factor);
                            keep(dest);
                        }
                    std::vector<int32_t> dest(size_t(start + count + 20), -5);
                    if (count > 0)
                        ippsConvert_32f32s_Sfs(values.data() + start, dest.data() + start, count,
                                               ippRndNear, sf);
                    keep(dest);
                    std::vector<int32_t> frames(size_t(2 * (start + count) + 20), -5);
                    runs::ActiveSimdKernels().SaturateFloatPairs(
                        values.data() + start, values.data() + 3, frames.data() + 2 * start, count,
                        factor);
                    keep(frames);
                }
    }
    std::fesetround(savedMode);
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

// One channel of every width out of frames of every layout the strip has a path for (mono,
// stereo at either column, wider frames), as integers and as scaled doubles.
TBytes StripKernels() {
    TBytes out;
    for (int32_t bits : {8, 16, 24, 32})
        for (uint32_t step : {1u, 2u, 3u, 4u, 6u, 8u, 9u, 16u}) {
            const uint32_t bytes = uint32_t(bits) / 8;
            for (uint32_t column = 0; column + bytes <= step; column += bytes) {
                const uint32_t count = 77;
                const TBytes frames = RandomBytes(size_t(step) * count, step * 31 + column);
                std::vector<int32_t> values(count);
                std::vector<double> scaled(count);
                SVStripChannel(frames.data(), column, step, bits, values.data(), count);
                SVStripChannel(frames.data(), column, step, bits, scaled.data(), count, 0x1p-7);
                const auto* v = reinterpret_cast<const uint8_t*>(values.data());
                const auto* d = reinterpret_cast<const uint8_t*>(scaled.data());
                out.insert(out.end(), v, v + count * sizeof(int32_t));
                out.insert(out.end(), d, d + count * sizeof(double));
            }
        }
    // Planes spread over the columns of three- and five-channel frames.
    for (int32_t channels : {3, 5}) {
        const TBytes planes = RandomBytes(4 * 2 * 77, uint32_t(channels));
        const auto* left = reinterpret_cast<const int32_t*>(planes.data());
        std::vector<int32_t> frames(size_t(channels) * 77, 1);
        SVSpreadColumns(left, left + 77, frames.data() + 1, channels, 77);
        SVSpreadColumns(left + 77, nullptr, frames.data() + channels - 1, channels, 77);
        const auto* f = reinterpret_cast<const uint8_t*>(frames.data());
        out.insert(out.end(), f, f + frames.size() * 4);
    }
    return out;
}

// Floats and doubles of every bit pattern (NaN, infinities, out of range) and values in range,
// planar and interleaved, at every length around the vector widths.
TBytes SymmetricFloatKernels() {
    TBytes out;
    std::mt19937 random(11);
    std::uniform_real_distribution<double> inRange(-1.0, 1.0);
    for (size_t length : {1, 7, 8, 9, 15, 16, 17, 33, 1000}) {
        const TBytes raw = RandomBytes(16 * length, uint32_t(length));
        std::vector<float> floats(2 * length);
        std::vector<double> doubles(2 * length);
        std::memcpy(floats.data(), raw.data(), floats.size() * 4);
        std::memcpy(doubles.data(), raw.data(), doubles.size() * 8);
        for (size_t i = 0; i < length; i += 2) {
            floats[i] = float(inRange(random));
            doubles[i] = inRange(random);
        }
        std::vector<int32_t> got(2 * length);
        const auto keep = [&] {
            const auto* bytes = reinterpret_cast<const uint8_t*>(got.data());
            out.insert(out.end(), bytes, bytes + got.size() * 4);
        };
        // Whole vectors of decoded-looking samples, with the ends of the range here and there.
        std::vector<float> inside(2 * length);
        for (size_t i = 0; i < inside.size(); ++i)
            inside[i] = i % 97 == 96 ? (i % 2 ? -1.0f : 1.0f) : float(inRange(random));
        SVFloatsToS32Symmetric(inside.data(), got.data(), got.size());
        keep();
        SVFloatPairToS32Symmetric(inside.data(), inside.data() + length, got.data(), length);
        keep();
        SVFloatsToS32Symmetric(floats.data(), got.data(), got.size());
        keep();
        SVFloatsToS32Symmetric(doubles.data(), got.data(), got.size());
        keep();
        SVFloatPairToS32Symmetric(floats.data(), floats.data() + length, got.data(), length);
        keep();
        SVFloatPairToS32Symmetric(doubles.data(), doubles.data() + length, got.data(), length);
        keep();
        SVInterleavePair(reinterpret_cast<const int32_t*>(raw.data()),
                         reinterpret_cast<const int32_t*>(raw.data()) + length, got.data(), length);
        keep();
        SVInterleavePair(reinterpret_cast<const int16_t*>(raw.data()),
                         reinterpret_cast<const int16_t*>(raw.data()) + length,
                         reinterpret_cast<int16_t*>(got.data()), length);
        keep();
    }
    return out;
}

// Packed 24-bit samples to left-justified 32 bits and back, rounded and saturated, at every
// length around the vector widths and the packing's blocks.
TBytes WideKernels() {
    TBytes out;
    for (size_t length : {1, 7, 8, 15, 16, 17, 63, 64, 65, 300, 1000, 4097}) {
        const TBytes packed = RandomBytes(3 * length, uint32_t(length) + 5);
        std::vector<int32_t> wide(length);
        SVUnpackS24ToS32(packed.data(), wide.data(), length);
        for (size_t i = 0; i < length; i += 3)
            wide[i] = int32_t(uint32_t(wide[i]) | uint32_t(i * 37 % 256)); // rounds both ways
        // The ends of the range and the halves around them, each lane in turn.
        const int32_t edges[] = {INT32_MAX, 0x7FFFFF80, 0x7FFFFF7F, INT32_MIN,
                                 -0x80,     -0x81,      0x80,       0x7F};
        for (size_t i = 1; i < length; i += 5)
            wide[i] = edges[i / 5 % std::size(edges)];
        TBytes back(3 * length);
        SVPackS32ToS24(wide.data(), back.data(), length);
        const auto* w = reinterpret_cast<const uint8_t*>(wide.data());
        out.insert(out.end(), w, w + 4 * length);
        out.insert(out.end(), back.begin(), back.end());
    }
    return out;
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

template <class T> void Keep(TBytes& AOut, const std::vector<T>& AValues) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(AValues.data());
    AOut.insert(AOut.end(), bytes, bytes + AValues.size() * sizeof(T));
}

// The float path's kernels: every width both ways (NaN, infinities, the range ends and halfway
// cases mixed in, contiguous and strided, dithered), gains, ramps, mixing, channel matrices and
// peaks, at lengths around the vector widths; biquad cascades of one to three sections over one to
// seventeen channels (every chunk and mask of the vector kernels), in two calls so that the states
// carry over, from states small enough to be flushed.
TBytes FloatEffectKernels() {
    const float edges[] = {std::nanf(""), INFINITY,     -INFINITY,   1.0f, -1.0f, 0x1.fffffep-1f,
                           0.5f / 32768,  1.5f / 32768, -0.5f / 128, 1.5f, -0.0f};
    std::mt19937 random(13);
    std::uniform_real_distribution<float> signal(-1.2f, 1.2f);
    TBytes out;
    for (size_t count : {1, 7, 8, 9, 17, 33, 100}) {
        std::vector<float> floats(2 * count);
        for (size_t i = 0; i < floats.size(); ++i)
            floats[i] = i % 3 == 0 ? edges[i / 3 % std::size(edges)] : signal(random);
        for (int32_t bits : {8, 16, 24, 32}) {
            const size_t size = size_t(bits) / 8;
            std::vector<uint8_t> integers(2 * size * count), dithered(size * count);
            std::vector<float> back(2 * count);
            SVFloatToInteger(floats.data(), 4, integers.data(), bits, size, 2 * count);
            uint32_t seed = uint32_t(count);
            SVFloatToIntegerDithered(floats.data(), 8, dithered.data(), bits, size, count, seed);
            SVIntegerToFloat(integers.data(), bits, size, back.data(), 4, 2 * count);
            SVIntegerToFloat(integers.data(), bits, 2 * size, back.data(), 8, count);
            Keep(out, integers);
            Keep(out, dithered);
            Keep(out, back);
        }
        std::vector<float> gains(floats);
        SVScaleFloat(gains.data(), gains.size(), 0.3f);
        SVAddScaledFloat(floats.data(), gains.data(), gains.size(), -1.7f);
        for (size_t channels : {1, 2, 3})
            SVRampFloat(gains.data(), gains.size() / channels, channels, 0.9f, 0.1f);
        gains.push_back(SVPeakFloat(floats.data() + 1, floats.size() - 1));
        Keep(out, gains);
        std::vector<float> mixed(6 * count);
        const float weights[] = {0.5f, 0.7071068f, 0.0f, -1.3f, 0.25f, 1e-3f};
        SVMatrixFloat(floats.data(), 2, mixed.data(), 3, count, weights);
        SVMatrixFloat(floats.data(), 1, mixed.data() + 3 * count, 3, count, weights);
        Keep(out, mixed);
    }
    const TSVBiquad sections[] = {
        {0.2, 0.4, 0.2, -1.1, 0.5}, {1.0, -1.9, 0.95, -1.8, 0.9}, {0.5, 0.0, -0.5, -0.3, 0.2}};
    for (size_t channels : {1, 2, 3, 4, 5, 8, 9, 17})
        for (size_t count = 1; count <= 3; ++count)
            for (auto [first, second] : {std::pair<size_t, size_t>{0, 5}, {8, 9}, {100, 37}}) {
                std::vector<float> data(channels * (first + second));
                for (float& sample : data)
                    sample = signal(random);
                std::vector<TSVBiquadState> states(count * channels, {1e-31, -2e-31});
                states[0] = {0.25, -0.125};
                SVBiquadFloat(data.data(), first, channels, sections, count, states.data());
                SVBiquadFloat(data.data() + first * channels, second, channels, sections, count,
                              states.data());
                Keep(out, data);
                Keep(out, states);
            }
    return out;
}

// Gains on random samples of every width, in place and into another run, lengths around the
// vector widths: cuts, boosts that saturate, and ties.
TBytes GainKernels() {
    TBytes out;
    for (const int32_t bits : {8, 16, 24, 32})
        for (const double factor : {0.5, 1.7, 300.0})
            for (const size_t count : {size_t{1}, size_t{15}, size_t{64}, size_t{333}}) {
                const TBytes source = RandomBytes(count * size_t(bits / 8), uint32_t(count + 3));
                TBytes target(source.size()), inPlace = source;
                SVApplyGain(source.data(), target.data(), bits, count, factor);
                SVApplyGain(inPlace.data(), inPlace.data(), bits, count, factor);
                out.insert(out.end(), target.begin(), target.end());
                out.insert(out.end(), inPlace.begin(), inPlace.end());
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
    {"float kernels", FloatKernels},
    {"strip kernels", StripKernels},
    {"symmetric float kernels", SymmetricFloatKernels},
    {"24-bit wide kernels", WideKernels},
    {"float effect kernels", FloatEffectKernels},
    {"gain kernels", GainKernels},
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
