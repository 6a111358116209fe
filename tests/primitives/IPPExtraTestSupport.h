// Reference encodings and layouts for the tests of the extra primitives. The reference models
// are written from the encodings' definitions, independently of the library's own code.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

namespace sonvera::testing {

// The extra primitives call the two dispatch tables, which the tests start themselves.
inline ::testing::Environment* const GPrimitiveTables =
    StartUnits({{InitializeQXBasicDispatcher}, {InitializeSVBasicDispatcher}});

// Low 32 bits of an exact result, as a signed value.
inline int32_t Low32(int64_t AValue) {
    return int32_t(uint32_t(uint64_t(AValue)));
}

// One element encoding: its size and how a value is read and written at a byte address.
struct TFormat {
    int Size;
    int64_t (*Read)(const uint8_t*);
    void (*Write)(uint8_t*, int64_t);
};

// AData's ABytes little-endian bytes, sign-extended when ASigned.
template <int ABytes, bool ASigned> int64_t ReadLE(const uint8_t* AData) {
    uint64_t bits = 0;
    for (int i = 0; i < ABytes; ++i)
        bits |= uint64_t{AData[i]} << (8 * i);
    const uint64_t sign = uint64_t{1} << (8 * ABytes - 1);
    return ASigned && (bits & sign) != 0 ? int64_t(bits) - int64_t(sign << 1) : int64_t(bits);
}
// The low ABytes bytes of AValue, little-endian.
template <int ABytes> void WriteLE(uint8_t* AData, int64_t AValue) {
    for (int i = 0; i < ABytes; ++i)
        AData[i] = uint8_t(uint64_t(AValue) >> (8 * i));
}

inline int64_t Read24(const uint8_t* AData) {
    return ReadLE<3, true>(AData);
}
// The low three bytes of the 32-bit value, then bit 7 of the third byte set if it is negative.
inline void Write24(uint8_t* AData, int64_t AValue) {
    WriteLE<3>(AData, AValue);
    if (Low32(AValue) < 0)
        AData[2] |= 0x80;
}

inline const TFormat kByte{1, ReadLE<1, false>, WriteLE<1>};
inline const TFormat kSignedByte{1, ReadLE<1, true>, WriteLE<1>};
inline const TFormat kInt16{2, ReadLE<2, true>, WriteLE<2>};
inline const TFormat kInt24{3, Read24, Write24};
inline const TFormat kInt32{4, ReadLE<4, true>, WriteLE<4>};

// Edge values of a signed width, then random values of that width.
inline std::vector<int64_t> SignedSamples(int ABits, size_t ACount, uint32_t ASeed) {
    const int64_t max = (int64_t(1) << (ABits - 1)) - 1;
    const int64_t min = -max - 1;
    std::vector<int64_t> values = {0, 1, -1, 2, -2, max, min, max - 1, min + 1, 127, -127, 128};
    std::mt19937 random(ASeed);
    std::uniform_int_distribution<int64_t> any(min, max);
    while (values.size() < ACount)
        values.push_back(any(random));
    values.resize(ACount);
    return values;
}

// Lengths around the vector widths and block sizes of the implementation, and odd ones.
inline const std::vector<int> kLengths = {0,  1,  2,   3,   5,   7,   8,   9,   15,  16,  17,
                                          31, 33, 127, 128, 129, 255, 256, 257, 383, 1001};

// A run of elements, either contiguous in a buffer of exactly that size (AChannels = 0) or one
// channel of an interleaved buffer of random bytes.
struct TRun {
    std::vector<uint8_t> Bytes;
    int Offset;
    int Step;
    int Count;
    const TFormat* Format;

    TRun(const TFormat& AFormat, int ACount, int AChannels, int AChannel, uint32_t ASeed)
        : Offset(AChannel * AFormat.Size), Step(std::max(AChannels, 1) * AFormat.Size),
          Count(ACount), Format(&AFormat) {
        Bytes.resize(size_t(ACount) * size_t(Step));
        std::mt19937 random(ASeed);
        for (uint8_t& byte : Bytes)
            byte = uint8_t(random());
    }
    uint8_t* Data() { return Bytes.data() + Offset; }
    uint8_t* At(int AIndex) { return Data() + int64_t(AIndex) * Step; }
    int64_t Get(int AIndex) { return Format->Read(At(AIndex)); }
    void Set(int AIndex, int64_t AValue) { Format->Write(At(AIndex), AValue); }
    void Fill(const std::vector<int64_t>& AValues) {
        for (int i = 0; i < Count; ++i)
            Set(i, AValues[size_t(i) % AValues.size()]);
    }
};

// Where the runs of a check lie: ACount elements, the source run one channel of a buffer of
// SourceChannels, the destination one of DestChannels (0 channels: contiguous).
struct TLayout {
    int Count;
    int SourceChannels;
    int SourceChannel;
    int DestChannels;
    int DestChannel;
};

// Contiguous runs at the tricky lengths; then interleaved stereo and three channels (many
// elements per 64-byte window), eleven and seven channels (few per window), steps too long
// for a window, and runs long enough for byte tables.
inline std::vector<TLayout> Layouts() {
    std::vector<TLayout> layouts;
    for (int length : kLengths)
        layouts.push_back({length, 0, 0, 0, 0});
    layouts.push_back({1001, 2, 1, 3, 0});
    layouts.push_back({253, 11, 4, 7, 6});
    layouts.push_back({77, 3, 2, 2, 0});
    layouts.push_back({130, 21, 20, 17, 3});
    // Long enough for the byte tables of 8-bit operations.
    layouts.push_back({4099, 0, 0, 0, 0});
    layouts.push_back({2053, 2, 0, 5, 3});
    return layouts;
}

// For primitives that take one step for source and destination: both runs then have the
// source's shape.
constexpr bool kOneStep = true;

// Runs APrimitive(source, sourceStep, dest, destStep, count) over every layout, the source
// run filled from ASourceValues and the destination from ADestValues (random bytes when
// empty), and compares every byte of the destination buffer with the original bytes where
// AReference(dest, source) wrote its results: processed elements must be exact, every other
// byte untouched, and the source unchanged.
template <class TPrimitive, class TReference>
void CheckRuns(const TFormat& AIn, const TFormat& AOut, const std::vector<int64_t>& ASourceValues,
               const std::vector<int64_t>& ADestValues, TPrimitive APrimitive,
               TReference AReference, bool AOneStep = false) {
    for (const TLayout& l : Layouts()) {
        TRun source(AIn, l.Count, l.SourceChannels, l.SourceChannel, 1);
        TRun dest(AOut, l.Count, AOneStep ? l.SourceChannels : l.DestChannels,
                  AOneStep ? l.SourceChannel : l.DestChannel, 2);
        source.Fill(ASourceValues);
        if (!ADestValues.empty())
            dest.Fill(ADestValues);
        TRun expected = dest;
        for (int i = 0; i < l.Count; ++i)
            expected.Set(i, AReference(dest.Get(i), source.Get(i)));
        const std::vector<uint8_t> sourceBefore = source.Bytes;
        APrimitive(source.Data(), source.Step, dest.Data(), dest.Step, l.Count);
        ASSERT_EQ(dest.Bytes, expected.Bytes)
            << l.Count << " elements, steps " << source.Step << " and " << dest.Step;
        ASSERT_EQ(source.Bytes, sourceBefore);
    }
}

// A map from source to destination: dest = AReference(source).
template <class TPrimitive, class TReference>
void CheckMap(const TFormat& AIn, const TFormat& AOut, const std::vector<int64_t>& AValues,
              TPrimitive APrimitive, TReference AReference, bool AOneStep = false) {
    CheckRuns(
        AIn, AOut, AValues, {}, APrimitive,
        [&](int64_t, int64_t ASource) { return AReference(ASource); }, AOneStep);
}

// In place: APrimitive(data, step, count), data = AReference(data).
template <class TPrimitive, class TReference>
void CheckInPlace(const TFormat& AFormat, const std::vector<int64_t>& AValues,
                  TPrimitive APrimitive, TReference AReference) {
    CheckRuns(
        AFormat, AFormat, {0}, AValues,
        [&](uint8_t*, int, uint8_t* AData, int AStep, int ACount) {
            APrimitive(AData, AStep, ACount);
        },
        [&](int64_t ADest, int64_t) { return AReference(ADest); });
}

// A region of one column and ACount rows: how the audio buffer walks one channel.
inline IppiSize Column(int ACount) {
    return IppiSize{1, ACount};
}

} // namespace sonvera::testing
