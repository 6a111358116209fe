// The hand-written SIMD kernels of the primitives' run walkers, one table row per instruction-set
// level. The portable row (PrimitiveSimdPortable.cpp) is the reference that defines each
// kernel's result; the AVX2 (PrimitiveSimdAvx2.cpp) and AVX-512 byte-permute
// (PrimitiveSimdAvx512.cpp) kernels write exactly its bytes.
//
// - Contiguous packed 24-bit runs to and from 32-bit values, and to and from 16-bit samples.
// - Strided runs to and from packed runs: gathered through windows of two registers, scattered
//   through windows of one.
// - Byte tables: each input byte looked up in a table of 256 results of 1 to 4 bytes.
// - Contiguous 16-bit samples to full-scale 32-bit samples and back.
// - Contiguous 32-bit values to scaled floats; contiguous floats, scaled and rounded, to 32-bit
//   values one or two elements apart; two
//   planes of floats, scaled, rounded and saturated, into stereo frames.
// - Biquad cascades over interleaved float frames, channels side by side in double lanes.
// No kernel writes a byte outside its run's elements or reads past its run's last element.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "internal/KernelLevel.h"
#include "sonvera/primitives/SVFloatKernels.h"

namespace sonvera::runs {

// floor(255 a / 32767) for 0 <= a <= 32767: the high half of the 16-bit product 32641 a shifted
// right by 6. (Checked over every a.)
constexpr int32_t Fraction255(int32_t AMagnitude) {
    return int32_t((uint32_t(AMagnitude) * 32641u) >> 22);
}

// s * 8388607 / 32767 truncated toward zero, with 8388607 = 256 * 32767 + 255: 256 s plus
// t = trunc(255 s / 32767), the fraction of |s| with the sign of s. -32768, whose quotient lies
// below the 24-bit range, gives the range's end: its magnitude masked to 15 bits makes t 0. In
// bytes the result is t's low byte under the 16 bits s + (t >> 15), which is how the kernels
// write it.
constexpr int32_t Widen16To24(int32_t ASample) {
    const int32_t mask = ASample >> 31;
    const int32_t fraction = Fraction255(((ASample ^ mask) - mask) & 0x7FFF);
    return ASample * 256 + ((fraction ^ mask) - mask);
}

// s * 32767 / 8388607 truncated toward zero. For a >= 0 written 256 h + l the quotient is h,
// less one when 32767 l < 255 h, that is when l < ceil(255 h / 32767) = 255 - F(32767 - h) (F
// the fraction above). A negative s is taken as b = ~s = |s| - 1 = 256 h + l, whose magnitude
// b + 1 lowers the bound by one: the quotient is h less one when l + F(32767 - h) < 254. Both
// work on the 16-bit halves of the sample. (Checked over all 2^24 inputs.)
constexpr int32_t Narrow24To16(int32_t ASample) {
    const int32_t mask = ASample >> 31;
    const int32_t b = ASample ^ mask;
    const int32_t high = b >> 8;
    const int32_t low = b & 255;
    const int32_t q = high - int32_t(low + Fraction255(32767 - high) - mask < 255);
    return (q ^ mask) - mask;
}

// s * 2147483647 / 32767 truncated toward zero: 65538 s + s / 32767, the last term 1 at 32767
// and -1 at -32767 and -32768, where 65538 s - 1 lies below the 32-bit range and gives its end.
// On the signed sample directly: no magnitude to take and no sign to put back.
constexpr int32_t Widen16To32(int32_t ASample) {
    const uint32_t whole = uint32_t(ASample) * 65538u;
    const uint32_t rest = uint32_t(ASample == 32767) - uint32_t(ASample <= -32767);
    return ASample == -32768 ? INT32_MIN : int32_t(whole + rest);
}

// s * 32767 / 2147483647 truncated toward zero, with 2147483647 = 65538 * 32767 + 1: for
// a = |s| >= 1 the quotient is (a - 1) / 65538 (the 1/32767 beyond 65538 moves exact multiples
// down by one, and no more below 2^31), which with b = a - 1 = 65536 p + r is p, less one when
// r < 2p. a = 0 makes b = -1 and the estimate -1, which the floor at 0 takes back. (Checked over
// all 2^32 inputs.)
constexpr int32_t Narrow32To16(int32_t ASample) {
    const uint32_t mask = uint32_t(ASample >> 31);
    const int32_t b = int32_t(((uint32_t(ASample) ^ mask) - mask) - 1u);
    const int32_t p = b >> 16;
    const int32_t q = p - int32_t((b & 0xFFFF) < 2 * p);
    const int32_t magnitude = q < 0 ? 0 : q;
    return (magnitude ^ int32_t(mask)) - int32_t(mask);
}

// Working arrays that a kernel may read or write as whole 64-byte vectors carry this many bytes
// of room past their last element: masked stores are slow on some processors, and into our own
// arrays they are not needed.
constexpr int KSlackBytes = 64;

// Where the elements of a strided run sit in a window and in a packed run. Packed byte c holds
// byte c mod size of element c / size; window byte b belongs to element b / step when b mod
// step < size. Scattering writes 64-byte windows of PerWindow elements, from a packed register
// or (ScatterLanesIndex) 3-byte elements straight from 32-bit lanes; gathering reads windows of
// two registers (128 bytes), PerPair elements into one packed register, or LanesPerPair 3-byte
// elements straight into 32-bit lanes.
struct TWindowLayout {
    alignas(64) uint8_t GatherPairIndex[64];
    alignas(64) uint8_t GatherPairLanesIndex[64];
    alignas(64) uint8_t ScatterIndex[64];
    alignas(64) uint8_t ScatterLanesIndex[64];
    uint64_t ScatterMask;
    int PerWindow;
    int PerPair;
    int LanesPerPair;
    int Step;
    int Size;
};

// A table of 256 results of 1 to 4 bytes, as byte planes (plane k holds byte k of every
// result), with the permutes that interleave the planes back into whole results: output
// vector j takes its bytes from planes 0 and 1 through LowPlanes[j] and, for 3- and 4-byte
// results, from planes 2 and 3 through HighPlanes[j] where FromHighPlanes[j] says so.
struct TBytePlanes {
    alignas(64) uint8_t Planes[4][256];
    alignas(64) uint8_t LowPlanes[4][64];
    alignas(64) uint8_t HighPlanes[4][64];
    uint64_t FromHighPlanes[4];
    int Size;
};

struct TSimdKernels {
    void (*Unpack24)(const uint8_t* ASource, int32_t* ADest, int ACount);
    // Packed 24-bit samples left-justified in 32 bits (the value times 256), as FFmpeg holds them.
    void (*Unpack24High)(const uint8_t* ASource, int32_t* ADest, int ACount);
    // Stores by the 24-bit store rule.
    void (*Pack24)(const int32_t* ASource, uint8_t* ADest, int ACount);
    // Back the other way: left-justified 32-bit samples rounded to the nearest 24-bit ones
    // (halves up; only the top value would round past the range, and stays) and packed.
    void (*PackHigh24)(const int32_t* ASource, uint8_t* ADest, int ACount);
    // 24-bit widths: Widen16To24 and Narrow24To16 between contiguous runs of 16-bit samples and
    // of packed 24-bit ones.
    void (*Pack16To24)(const int16_t* ASource, uint8_t* ADest, int ACount);
    void (*Unpack24To16)(const uint8_t* ASource, int16_t* ADest, int ACount);
    // The bit-transparent narrowing of packed 24-bit samples: to the nearest 16-bit value, halves
    // up, the top one kept.
    void (*Round24To16)(const uint8_t* ASource, int16_t* ADest, int ACount);
    // Strided run to packed run and back; the packed side has KSlackBytes of room.
    void (*Gather)(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount, uint8_t* APacked);
    void (*Scatter)(const TWindowLayout& ALayout, const uint8_t* APacked, int ACount,
                    uint8_t* ARun);
    // Strided 3-byte run to 32-bit values and back (store rule), KSlackBytes of room past them.
    void (*Gather24)(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount,
                     int32_t* AValues);
    void (*Scatter24)(const TWindowLayout& ALayout, const int32_t* AValues, int ACount,
                      uint8_t* ARun);
    void (*MapBytes)(const TBytePlanes& ATable, const uint8_t* ABytes, int ACount, uint8_t* AOut);
    // Widen16To32 and Narrow32To16 over contiguous runs.
    void (*Widen16)(const int16_t* ASource, int32_t* ADest, int ACount);
    void (*Narrow32)(const int32_t* ASource, int16_t* ADest, int ACount);

    // float conversions
    // float(x) * AFactor, both steps rounded in the current rounding mode, over contiguous runs.
    void (*ScaleToFloats)(const int32_t* ASource, float* ADest, int ACount, float AFactor);
    // 16-bit samples to floats in -1 ... 1 by the unit form x * AScale + x * ACorrection (see
    // ippiConvert_16s32f_C1RSfs), which the fused form from AVX2 on rounds to the same bytes.
    void (*UnitFloats16)(const int16_t* ASource, float* ADest, int ACount, float AScale,
                         float ACorrection);
    // x * AFactor in single precision, rounded in the current rounding mode to a 64-bit integer
    // whose low 32 bits are stored (NaN and magnitudes from 2^63 give 0), every ADestStep-th
    // element of ADest (any step of at least 1; the kernels have fast forms for 1 and 2).
    void (*RoundFloats)(const float* ASource, int32_t* ADest, int ADestStep, int ACount,
                        float AFactor);
    // AFrames[2 i] from ALeft[i], AFrames[2 i + 1] from ARight[i]: x * AFactor (in the current
    // rounding mode) rounded to nearest with ties to even whatever that mode, saturated to the
    // 32-bit range, NaN giving 0.
    void (*SaturateFloatPairs)(const float* ALeft, const float* ARight, int32_t* AFrames,
                               int ACount, float AFactor);
    // RoundWithin(x * AFactor, ALow, AHigh) over a contiguous run: floats to integer widths;
    // RoundFloatsTo16 the same within the 16-bit range, stored as 16-bit samples.
    void (*RoundFloatsWithin)(const float* ASource, int32_t* ADest, int ACount, float AFactor,
                              float ALow, float AHigh);
    void (*RoundFloatsTo16)(const float* ASource, int16_t* ADest, int ACount, float AFactor);

    // float effects
    // SVBiquadFloat.
    void (*Biquad)(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad* ASections,
                   size_t ASectionCount, TSVBiquadState* AStates);
};

// AValue rounded to nearest with ties to even, whatever the rounding mode, and clamped to ALow
// ... AHigh (whole numbers a float holds exactly, so that clamping first gives the same
// integers); NaN gives 0.
inline int32_t RoundWithin(float AValue, float ALow, float AHigh) {
    return std::isnan(AValue) ? 0
                              : static_cast<int32_t>(roundevenf(std::clamp(AValue, ALow, AHigh)));
}

// Biquad delays below this are flushed to zero at the end of a run: a decaying tail would
// otherwise reach subnormal numbers, which cost a hundred times a normal one.
inline double FlushedBiquadDelay(double AValue) {
    return std::fabs(AValue) < 1e-30 ? 0.0 : AValue;
}

// How the vector biquad kernels split a cascade: up to VChunk channels at a time, and sections
// two at a time, the second KBiquadLag frames behind the first so that their recurrences
// overlap. The second section reads frames the first finished that long ago, as it would after
// a whole pass of the first, and so writes the same bytes. AFilter(first section, sections,
// first channel, channels).
constexpr size_t KBiquadLag = 8;

template <size_t VChunk, class TFilter>
void ForBiquadChunks(size_t AChannels, size_t ASectionCount, TFilter AFilter) {
    for (size_t k = 0; k < ASectionCount; k += 2)
        for (size_t c = 0; c < AChannels; c += VChunk)
            AFilter(k, std::min<size_t>(2, ASectionCount - k), c, std::min(VChunk, AChannels - c));
}

// The delays of AChannels channels (states one apart) as lanes, zero past the last channel, and
// back, flushed.
inline void BiquadDelaysToLanes(const TSVBiquadState* AStates, size_t AChannels, double* AZ1,
                                double* AZ2) {
    for (size_t c = 0; c < AChannels; ++c) {
        AZ1[c] = AStates[c].Z1;
        AZ2[c] = AStates[c].Z2;
    }
}

inline void BiquadDelaysFromLanes(const double* AZ1, const double* AZ2, size_t AChannels,
                                  TSVBiquadState* AStates) {
    for (size_t c = 0; c < AChannels; ++c)
        AStates[c] = {FlushedBiquadDelay(AZ1[c]), FlushedBiquadDelay(AZ2[c])};
}

// The kernels of each instruction set; a level without a kernel of its own uses the best of a
// lower level.
namespace portable {
void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount);
void Unpack24High(const uint8_t* ASource, int32_t* ADest, int ACount);
void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount);
void PackHigh24(const int32_t* ASource, uint8_t* ADest, int ACount);
void Pack16To24(const int16_t* ASource, uint8_t* ADest, int ACount);
void Unpack24To16(const uint8_t* ASource, int16_t* ADest, int ACount);
void Round24To16(const uint8_t* ASource, int16_t* ADest, int ACount);
void Gather(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount, uint8_t* APacked);
void Scatter(const TWindowLayout& ALayout, const uint8_t* APacked, int ACount, uint8_t* ARun);
void Gather24(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount, int32_t* AValues);
void Scatter24(const TWindowLayout& ALayout, const int32_t* AValues, int ACount, uint8_t* ARun);
void MapBytes(const TBytePlanes& ATable, const uint8_t* ABytes, int ACount, uint8_t* AOut);
void Widen16(const int16_t* ASource, int32_t* ADest, int ACount);
void Narrow32(const int32_t* ASource, int16_t* ADest, int ACount);

// float conversions
void ScaleToFloats(const int32_t* ASource, float* ADest, int ACount, float AFactor);
void UnitFloats16(const int16_t* ASource, float* ADest, int ACount, float AScale,
                  float ACorrection);
void RoundFloats(const float* ASource, int32_t* ADest, int ADestStep, int ACount, float AFactor);
void SaturateFloatPairs(const float* ALeft, const float* ARight, int32_t* AFrames, int ACount,
                        float AFactor);
void RoundFloatsWithin(const float* ASource, int32_t* ADest, int ACount, float AFactor, float ALow,
                       float AHigh);
void RoundFloatsTo16(const float* ASource, int16_t* ADest, int ACount, float AFactor);

// float effects (SVFloatKernels{,Avx2,Avx512}.cpp)
void Biquad(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad* ASections,
            size_t ASectionCount, TSVBiquadState* AStates);
} // namespace portable

#ifdef SONVERA_X86_KERNELS
namespace avx2 {
void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount);
void Unpack24High(const uint8_t* ASource, int32_t* ADest, int ACount);
void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount);
void PackHigh24(const int32_t* ASource, uint8_t* ADest, int ACount);
void Pack16To24(const int16_t* ASource, uint8_t* ADest, int ACount);
void Unpack24To16(const uint8_t* ASource, int16_t* ADest, int ACount);
void Round24To16(const uint8_t* ASource, int16_t* ADest, int ACount);
void Widen16(const int16_t* ASource, int32_t* ADest, int ACount);
void Narrow32(const int32_t* ASource, int16_t* ADest, int ACount);

// float conversions
void ScaleToFloats(const int32_t* ASource, float* ADest, int ACount, float AFactor);
void UnitFloats16(const int16_t* ASource, float* ADest, int ACount, float AScale,
                  float ACorrection);
void RoundFloats(const float* ASource, int32_t* ADest, int ADestStep, int ACount, float AFactor);
void SaturateFloatPairs(const float* ALeft, const float* ARight, int32_t* AFrames, int ACount,
                        float AFactor);
void RoundFloatsWithin(const float* ASource, int32_t* ADest, int ACount, float AFactor, float ALow,
                       float AHigh);
void RoundFloatsTo16(const float* ASource, int16_t* ADest, int ACount, float AFactor);

// float effects
// The channels of one vector of doubles.
constexpr size_t KBiquadChannels = 4;
void Biquad(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad* ASections,
            size_t ASectionCount, TSVBiquadState* AStates);
} // namespace avx2

namespace avx512 {
void Widen16(const int16_t* ASource, int32_t* ADest, int ACount);
void Narrow32(const int32_t* ASource, int16_t* ADest, int ACount);

// float conversions
void ScaleToFloats(const int32_t* ASource, float* ADest, int ACount, float AFactor);
void UnitFloats16(const int16_t* ASource, float* ADest, int ACount, float AScale,
                  float ACorrection);
void RoundFloats(const float* ASource, int32_t* ADest, int ADestStep, int ACount, float AFactor);
void SaturateFloatPairs(const float* ALeft, const float* ARight, int32_t* AFrames, int ACount,
                        float AFactor);
void RoundFloatsWithin(const float* ASource, int32_t* ADest, int ACount, float AFactor, float ALow,
                       float AHigh);
void RoundFloatsTo16(const float* ASource, int16_t* ADest, int ACount, float AFactor);

// float effects
void Biquad(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad* ASections,
            size_t ASectionCount, TSVBiquadState* AStates);
} // namespace avx512

namespace avx512vbmi {
void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount);
void Unpack24High(const uint8_t* ASource, int32_t* ADest, int ACount);
void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount);
void PackHigh24(const int32_t* ASource, uint8_t* ADest, int ACount);
void Pack16To24(const int16_t* ASource, uint8_t* ADest, int ACount);
void Unpack24To16(const uint8_t* ASource, int16_t* ADest, int ACount);
void Round24To16(const uint8_t* ASource, int16_t* ADest, int ACount);
void Gather(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount, uint8_t* APacked);
void Scatter(const TWindowLayout& ALayout, const uint8_t* APacked, int ACount, uint8_t* ARun);
void Gather24(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount, int32_t* AValues);
void Scatter24(const TWindowLayout& ALayout, const int32_t* AValues, int ACount, uint8_t* ARun);
void MapBytes(const TBytePlanes& ATable, const uint8_t* ABytes, int ACount, uint8_t* AOut);
} // namespace avx512vbmi
#endif

const TSimdKernels& SimdKernels(TKernelLevel ALevel);

inline const TSimdKernels& ActiveSimdKernels() {
    return SimdKernels(ActiveKernelLevel());
}

// A run kernel over ACount elements, in pieces its int count can hold: AKernel(first, count).
template <class TKernel> void InKernelPieces(int64_t ACount, TKernel AKernel) {
    constexpr int64_t KPiece = int64_t(1) << 30;
    for (int64_t done = 0; done < ACount; done += KPiece)
        AKernel(done, int(std::min(KPiece, ACount - done)));
}

// Whether the active level moves strided runs and byte tables faster than the plain walk.
inline bool HasBytePermutes() {
    return ActiveKernelLevel() >= klAvx512Vbmi;
}

// Moves the elements of a strided run to and from a packed run through the active level's
// window kernels.
class TStrideShuffle {
public:
    // Worth it when the level has byte permutes and at least two elements fit one window.
    static bool Usable(ptrdiff_t AStep, int ASize);

    TStrideShuffle(ptrdiff_t AStep, int ASize);
    void Gather(const uint8_t* ARun, int ACount, uint8_t* APacked) const {
        FKernels.Gather(FLayout, ARun, ACount, APacked);
    }
    void Scatter(const uint8_t* APacked, int ACount, uint8_t* ARun) const {
        FKernels.Scatter(FLayout, APacked, ACount, ARun);
    }
    void Gather24(const uint8_t* ARun, int ACount, int32_t* AValues) const {
        FKernels.Gather24(FLayout, ARun, ACount, AValues);
    }
    void Scatter24(const int32_t* AValues, int ACount, uint8_t* ARun) const {
        FKernels.Scatter24(FLayout, AValues, ACount, ARun);
    }

private:
    TWindowLayout FLayout;
    const TSimdKernels& FKernels;
};

// Every unary operation on 8-bit samples as a few table look-ups per 64 bytes: its results are
// the operation's own by construction.
class TByteTable {
public:
    // Worth it when the level has byte permutes.
    static bool Usable() { return HasBytePermutes(); }

    // AEntries holds the 256 results, ASize bytes each, in the order of the byte they map.
    TByteTable(const uint8_t* AEntries, int ASize);
    void Map(const uint8_t* ABytes, int ACount, uint8_t* AOut) const {
        FKernels.MapBytes(FPlanes, ABytes, ACount, AOut);
    }

private:
    TBytePlanes FPlanes;
    const TSimdKernels& FKernels;
};

} // namespace sonvera::runs
