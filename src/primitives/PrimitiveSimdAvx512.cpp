// The AVX-512 byte-permute kernels: packed 24-bit runs sixteen elements per step (thirty-two
// from and to 16-bit samples), strided runs a 64-byte window per step, byte tables 64 bytes per
// step. Byte-masked loads and stores keep every kernel inside its run. And the plain AVX-512
// kernels: 16-bit samples to 32 bits and back, thirty-two per step;
// floats to every other 32-bit element, thirty-two per step; two planes of floats into frames,
// sixteen per step; floats rounded into the integer widths, sixteen per step.
#include "primitives/PrimitiveSimd.h"

#ifdef SONVERA_X86_KERNELS
// GCC 12's AVX-512 intrinsics pass an undefined vector as the merge source of their unmasked
// forms, which -Wmaybe-uninitialized mistakes for a read of an uninitialised value.
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <algorithm>
#include <array>

namespace sonvera::runs {

namespace {

// How many of ACount elements of ASize bytes precede the first 64-byte boundary of AData: a
// vector that straddles two cache lines costs two accesses, so the kernels do those first
// elements one by one and then touch whole lines on their busier side.
int ToLineStart(const void* AData, int ASize, int ACount) {
    const auto misalignment = int(reinterpret_cast<uintptr_t>(AData) & 63);
    return std::min((64 - misalignment) % 64 / ASize, ACount);
}

} // namespace

} // namespace sonvera::runs

namespace sonvera::runs::avx512vbmi {

namespace {

// A mask of the low ABits bits of a 64-byte window.
uint64_t LowBits(int ABits) {
    return ABits >= 64 ? ~uint64_t(0) : (uint64_t(1) << ABits) - 1;
}

// The zero-masking forms of the permute and the shifts: the plain forms start from an
// undefined register, which the compiler reports as an uninitialised read.
SONVERA_TARGET_AVX512VBMI inline __m512i Permute(__m512i AIndex, __m512i ABytes) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64(0), AIndex, ABytes);
}
SONVERA_TARGET_AVX512VBMI inline __m512i ShiftRightSigned(__m512i AValues, unsigned ABits) {
    return _mm512_maskz_srai_epi32(~__mmask16(0), AValues, ABits);
}
SONVERA_TARGET_AVX512VBMI inline __m512i ShiftRight(__m512i AValues, unsigned ABits) {
    return _mm512_maskz_srli_epi32(~__mmask16(0), AValues, ABits);
}

SONVERA_TARGET_AVX512VBMI __m512i LoadIndex(const uint8_t* AIndex) {
    return _mm512_loadu_si512(AIndex);
}

// Sixteen values made 24-bit ones and squeezed into the low 48 bytes. AHigh: rounded from
// left-justified samples (the arithmetic shift by 8, plus bit 7 brought to the top and shifted
// down as -1, and the one value that would round past the range capped). Else by the store
// rule, which needs only bit 23 set from bit 31 (the top byte is dropped by the squeeze).
template <bool AHigh>
SONVERA_TARGET_AVX512VBMI __m512i Squeeze24(__m512i AIndex, const int32_t* AValues,
                                            __mmask16 ALanes) {
    const __m512i values = _mm512_maskz_loadu_epi32(ALanes, AValues);
    if constexpr (AHigh) {
        const __m512i halfBit =
            ShiftRightSigned(_mm512_maskz_slli_epi32(~__mmask16(0), values, 24), 31);
        return Permute(AIndex, _mm512_min_epi32(_mm512_sub_epi32(ShiftRightSigned(values, 8),
                                                                 halfBit),
                                                _mm512_set1_epi32(0x7FFFFF)));
    }
    const __m512i sign = _mm512_set1_epi32(0x800000);
    return Permute(AIndex, _mm512_or_si512(values, _mm512_and_si512(ShiftRight(values, 8), sign)));
}

// Byte i of the result is byte AIndex[i] of the 256-byte table in ATable[0..3].
SONVERA_TARGET_AVX512VBMI __m512i LookUp(const __m512i* ATable, __m512i AIndex) {
    const __m512i low = _mm512_permutex2var_epi8(ATable[0], AIndex, ATable[1]);
    const __m512i high = _mm512_permutex2var_epi8(ATable[2], AIndex, ATable[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(AIndex), low, high);
}

// Looks each input byte up in every plane, then interleaves the planes into whole results. The
// result size is a template argument so that the table and the planes stay in registers.
template <int ASize>
SONVERA_TARGET_AVX512VBMI void MapThroughPlanes(const TBytePlanes& ATable, const uint8_t* ABytes,
                                                int ACount, uint8_t* AOut) {
    __m512i table[ASize][4];
    __m512i low[ASize];
    __m512i high[ASize];
    for (int k = 0; k < ASize; ++k) {
        for (int q = 0; q < 4; ++q)
            table[k][q] = _mm512_loadu_si512(ATable.Planes[k] + 64 * q);
        low[k] = LoadIndex(ATable.LowPlanes[k]);
        high[k] = LoadIndex(ATable.HighPlanes[k]);
    }
    for (int first = 0; first < ACount; first += 64) {
        const int count = std::min(64, ACount - first);
        const __m512i index = count == 64 ? _mm512_loadu_si512(ABytes + first)
                                          : _mm512_maskz_loadu_epi8(LowBits(count), ABytes + first);
        __m512i planes[ASize];
        for (int k = 0; k < ASize; ++k)
            planes[k] = LookUp(table[k], index);
        for (int j = 0; j < ASize; ++j) {
            const int bytes = count * ASize - 64 * j;
            if (bytes <= 0)
                break;
            __m512i out = _mm512_permutex2var_epi8(planes[0], low[j], planes[ASize > 1 ? 1 : 0]);
            if constexpr (ASize > 2) {
                const __m512i upper =
                    _mm512_permutex2var_epi8(planes[2], high[j], planes[ASize > 3 ? 3 : 2]);
                out = _mm512_mask_blend_epi8(ATable.FromHighPlanes[j], out, upper);
            }
            if (bytes >= 64)
                _mm512_storeu_si512(AOut + first * ASize + 64 * j, out);
            else
                _mm512_mask_storeu_epi8(AOut + first * ASize + 64 * j, LowBits(bytes), out);
        }
    }
}

// The scalars of a scattering window layout, read once: a kernel's stores through byte pointers
// could otherwise alias the layout and force them to be read again for every window. (The
// gathers keep theirs in locals.)
struct TWindows {
    int PerWindow;
    int Step;
    int Size;
    uint64_t ScatterMask;

    explicit TWindows(const TWindowLayout& ALayout)
        : PerWindow(ALayout.PerWindow), Step(ALayout.Step), Size(ALayout.Size),
          ScatterMask(ALayout.ScatterMask) {}

    // The bytes of the window at element AFirst that belong to elements of the run.
    uint64_t Reach(int ACount, int AFirst) const {
        const int count = std::min(PerWindow, ACount - AFirst);
        return LowBits((count - 1) * Step + Size);
    }
};

// The window of two registers at byte AOffset of a run of AReach bytes, joined by a
// two-register permute through AIndex: whole loads while the window lies inside the run, loads
// masked at the run's last byte at its end.
SONVERA_TARGET_AVX512VBMI inline __m512i PermutePair(__m512i AIndex, const uint8_t* ARun,
                                                     ptrdiff_t AReach, ptrdiff_t AOffset) {
    const uint8_t* start = ARun + AOffset;
    if (AOffset + 128 <= AReach)
        return _mm512_permutex2var_epi8(_mm512_loadu_si512(start), AIndex,
                                        _mm512_loadu_si512(start + 64));
    const int left = int(AReach - AOffset);
    return _mm512_permutex2var_epi8(
        _mm512_maskz_loadu_epi8(LowBits(std::min(left, 64)), start), AIndex,
        _mm512_maskz_loadu_epi8(LowBits(std::max(left - 64, 0)), start + 64));
}

} // namespace

// Element i's three bytes go to bytes 1-3 of lane i, byte 0 cleared for the left-justified
// form; an arithmetic shift brings them down sign-extended.
template <bool ALeftJustified>
SONVERA_TARGET_AVX512VBMI inline __m512i SpreadLanes24(__m512i AIndex, __m512i ABytes) {
    if constexpr (ALeftJustified)
        return _mm512_maskz_permutexvar_epi8(__mmask64(0xEEEEEEEEEEEEEEEEull), AIndex, ABytes);
    else
        return ShiftRightSigned(Permute(AIndex, ABytes), 8);
}

template <bool ALeftJustified>
SONVERA_TARGET_AVX512VBMI inline void UnpackLanes24(const uint8_t* ASource, int32_t* ADest,
                                                    int ACount) {
    alignas(64) uint8_t spread[64];
    for (int b = 0; b < 64; ++b)
        spread[b] = uint8_t(3 * (b / 4) + (b % 4 == 0 ? 0 : b % 4 - 1));
    const __m512i index = LoadIndex(spread);
    int first = 0;
    // Whole 64-byte loads while they stay inside the run, masked loads for the rest.
    for (; 3 * first + 64 <= 3 * ACount; first += 16) {
        const __m512i bytes = _mm512_loadu_si512(ASource + 3 * first);
        _mm512_storeu_si512(ADest + first, SpreadLanes24<ALeftJustified>(index, bytes));
    }
    for (; first < ACount; first += 16) {
        const int count = std::min(16, ACount - first);
        const __m512i bytes = _mm512_maskz_loadu_epi8(LowBits(3 * count), ASource + 3 * first);
        _mm512_mask_storeu_epi32(ADest + first, __mmask16(LowBits(count)),
                                 SpreadLanes24<ALeftJustified>(index, bytes));
    }
}

SONVERA_TARGET_AVX512VBMI void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount) {
    UnpackLanes24<false>(ASource, ADest, ACount);
}

SONVERA_TARGET_AVX512VBMI void Unpack24High(const uint8_t* ASource, int32_t* ADest, int ACount) {
    UnpackLanes24<true>(ASource, ADest, ACount);
}

// Sixty-four values make 192 bytes, three whole vectors: each sixteen are squeezed into 48
// bytes, and neighbouring squeezes are joined with two-register permutes. Shorter rests go out
// sixteen at a time through masked stores.
namespace {

struct TPack24Index {
    uint8_t Squeeze[64];
    uint8_t Join[3][64];
};
alignas(64) constexpr TPack24Index KPack24Index = [] {
    TPack24Index index{};
    for (int b = 0; b < 64; ++b) {
        index.Squeeze[b] = uint8_t(b < 48 ? 4 * (b / 3) + b % 3 : 0);
        for (int j = 0; j < 3; ++j) {
            // Output vector j holds bytes 64 j .. 64 j + 63 of the 192, squeeze j covering bytes
            // 48 j .. 48 j + 47 and squeeze j + 1 the ones after.
            const int offset = 64 * j + b - 48 * j;
            index.Join[j][b] = uint8_t(offset < 48 ? offset : 64 + offset - 48);
        }
    }
    return index;
}();

} // namespace

template <bool AHigh>
SONVERA_TARGET_AVX512VBMI void PackLanes24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    const __m512i index = LoadIndex(KPack24Index.Squeeze);
    int first = 0;
    for (; first + 64 <= ACount; first += 64) {
        __m512i squeezed[4];
        for (int q = 0; q < 4; ++q)
            squeezed[q] = Squeeze24<AHigh>(index, ASource + first + 16 * q, __mmask16(0xFFFF));
        for (int j = 0; j < 3; ++j) {
            const __m512i bytes = _mm512_permutex2var_epi8(
                squeezed[j], LoadIndex(KPack24Index.Join[j]), squeezed[j + 1]);
            _mm512_storeu_si512(ADest + 3 * first + 64 * j, bytes);
        }
    }
    for (; first < ACount; first += 16) {
        const int count = std::min(16, ACount - first);
        const __m512i bytes = Squeeze24<AHigh>(index, ASource + first, __mmask16(LowBits(count)));
        _mm512_mask_storeu_epi8(ADest + 3 * first, LowBits(3 * count), bytes);
    }
}

SONVERA_TARGET_AVX512VBMI void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    PackLanes24<false>(ASource, ADest, ACount);
}

SONVERA_TARGET_AVX512VBMI void PackHigh24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    PackLanes24<true>(ASource, ADest, ACount);
}

// 24-bit widths

namespace {

// The permutes of the 24-bit width kernels, built by the compiler: the kernels run on blocks of
// a few hundred samples, too short to build them on every call.
//
// Widening: output byte n of a step's 96 is byte n mod 3 of sample n / 3, the fraction's low
// byte, then the high half's two bytes (index bit 6 selects the high halves).
alignas(64) constexpr auto KWiden24Index = [] {
    std::array<std::array<uint8_t, 64>, 2> index{};
    for (int n = 0; n < 128; ++n) {
        const int sample = n / 3 % 32;
        const int part = n % 3;
        index[n / 64][n % 64] = uint8_t(part == 0 ? 2 * sample : 64 + 2 * sample + part - 1);
    }
    return index;
}();

// Narrowing: 16-bit lane j of a half takes bytes 3 j + 1 and 3 j + 2 (its high half) and byte
// 3 j (its low byte); the second half of sixty-four samples starts 32 bytes into the second
// load.
struct TNarrow24Index {
    uint8_t High[2][64];
    uint8_t Low[2][64];
};
alignas(64) constexpr TNarrow24Index KNarrow24Index = [] {
    TNarrow24Index index{};
    for (int half = 0; half < 2; ++half) {
        for (int b = 0; b < 64; ++b) {
            index.High[half][b] = uint8_t(32 * half + 3 * (b / 2) + 1 + b % 2);
            index.Low[half][b] = uint8_t(32 * half + 3 * (b / 2));
        }
    }
    return index;
}();

// Narrow24To16 of 32 samples from their high halves H and low bytes: with the sign mask m,
// bitwise ternaries give the fraction's argument and 255 less the low byte as the portable rule
// takes it, whose difference d from the fraction, less m, is negative where the rule's
// condition holds; the quotient is H - (K ^ m) with K the sign bit of d (H less K for s >= 0,
// plus K + 1 for s < 0). Inlined, its constants stay in registers.
SONVERA_TARGET_AVX512VBMI inline __m512i Narrow24Quotients(__m512i AHigh, __m512i ALow) {
    // Bitwise ternaries on (a, b, c): ~(a ^ b) & c, and a ^ b ^ c.
    constexpr int KXnorAnd = 0x82;
    constexpr int KXor3 = 0x96;
    const __m512i mask = _mm512_srai_epi16(AHigh, 15);
    const __m512i rest = _mm512_ternarylogic_epi32(ALow, mask, _mm512_set1_epi16(0xFF), KXnorAnd);
    const __m512i u = _mm512_ternarylogic_epi32(AHigh, mask, _mm512_set1_epi16(0x7FFF), KXor3);
    const __m512i fraction = _mm512_srli_epi16(_mm512_mulhi_epu16(u, _mm512_set1_epi16(32641)), 6);
    const __m512i d = _mm512_sub_epi16(_mm512_sub_epi16(fraction, rest), mask);
    return _mm512_sub_epi16(AHigh, _mm512_xor_si512(_mm512_srli_epi16(d, 15), mask));
}

} // namespace

// Widen16To24 in 16-bit lanes, as the AVX2 kernel (see there), the sign put on the fraction
// under a mask; two two-register permutes (KWiden24Index) interleave the fractions' low bytes
// and the high halves into the step's 96 bytes.
SONVERA_TARGET_AVX512VBMI void Pack16To24(const int16_t* ASource, uint8_t* ADest, int ACount) {
    const __m512i first = LoadIndex(KWiden24Index[0].data());
    const __m512i second = LoadIndex(KWiden24Index[1].data());
    const __m512i magnitudeBits = _mm512_set1_epi16(0x7FFF);
    const __m512i factor = _mm512_set1_epi16(32641);
    const __m512i zero = _mm512_setzero_si512();
    int i = 0;
    for (; i + 32 <= ACount; i += 32) {
        const __m512i s = _mm512_loadu_si512(ASource + i);
        const __m512i magnitude = _mm512_and_si512(_mm512_abs_epi16(s), magnitudeBits);
        const __m512i fraction = _mm512_srli_epi16(_mm512_mulhi_epu16(magnitude, factor), 6);
        const __m512i t = _mm512_mask_sub_epi16(fraction, _mm512_movepi16_mask(s), zero, fraction);
        const __m512i high = _mm512_add_epi16(s, _mm512_srai_epi16(t, 15));
        uint8_t* group = ADest + 3 * i;
        _mm512_storeu_si512(group, _mm512_permutex2var_epi8(t, first, high));
        _mm512_mask_storeu_epi8(group + 64, LowBits(32), _mm512_permutex2var_epi8(t, second, high));
    }
    portable::Pack16To24(ASource + i, ADest + 3 * i, ACount - i);
}

// Thirty-two samples narrowed from their high halves and low bytes: ARound, bit 7 of the low
// byte added to the high half, saturating at the top; else by Narrow24To16.
template <bool ARound>
SONVERA_TARGET_AVX512VBMI inline __m512i Narrowed24(__m512i AHigh, __m512i ALow) {
    if constexpr (ARound)
        return _mm512_adds_epi16(AHigh, _mm512_srli_epi16(ALow, 7));
    else
        return Narrow24Quotients(AHigh, ALow);
}

// Packed 24-bit samples to 16 bits in 16-bit lanes, as the AVX2 kernels (see there):
// two-register permutes split the samples into high halves (bytes 1-2) and low bytes (byte 0,
// the other byte of each lane zeroed by the mask). Sixty-four samples are three whole 64-byte
// loads, the second one shared by both halves (its indices are those of the first half moved on
// by 32 bytes); a rest of 32 takes a 32-byte masked load. Whole output lines, the first samples
// one by one (see ToLineStart).
template <bool ARound>
SONVERA_TARGET_AVX512VBMI void NarrowLanes24To16(const uint8_t* ASource, int16_t* ADest,
                                                 int ACount) {
    const auto rest = ARound ? portable::Round24To16 : portable::Unpack24To16;
    const __m512i highs = LoadIndex(KNarrow24Index.High[0]);
    const __m512i lows = LoadIndex(KNarrow24Index.Low[0]);
    const __m512i secondHighs = LoadIndex(KNarrow24Index.High[1]);
    const __m512i secondLows = LoadIndex(KNarrow24Index.Low[1]);
    constexpr __mmask64 KEvenBytes = 0x5555555555555555;
    int i = ToLineStart(ADest, 2, ACount);
    rest(ASource, ADest, i);
    for (; i + 64 <= ACount; i += 64) {
        const uint8_t* group = ASource + 3 * i;
        const __m512i a = _mm512_loadu_si512(group);
        const __m512i b = _mm512_loadu_si512(group + 64);
        const __m512i c = _mm512_loadu_si512(group + 128);
        _mm512_storeu_si512(ADest + i, Narrowed24<ARound>(
                                           _mm512_permutex2var_epi8(a, highs, b),
                                           _mm512_maskz_permutex2var_epi8(KEvenBytes, a, lows, b)));
        _mm512_storeu_si512(ADest + i + 32,
                            Narrowed24<ARound>(
                                _mm512_permutex2var_epi8(b, secondHighs, c),
                                _mm512_maskz_permutex2var_epi8(KEvenBytes, b, secondLows, c)));
    }
    if (i + 32 <= ACount) {
        const uint8_t* group = ASource + 3 * i;
        const __m512i a = _mm512_loadu_si512(group);
        const __m512i b = _mm512_maskz_loadu_epi8(LowBits(32), group + 64);
        _mm512_storeu_si512(ADest + i, Narrowed24<ARound>(
                                           _mm512_permutex2var_epi8(a, highs, b),
                                           _mm512_maskz_permutex2var_epi8(KEvenBytes, a, lows, b)));
        i += 32;
    }
    rest(ASource + 3 * i, ADest + i, ACount - i);
}

SONVERA_TARGET_AVX512VBMI void Unpack24To16(const uint8_t* ASource, int16_t* ADest, int ACount) {
    NarrowLanes24To16<false>(ASource, ADest, ACount);
}

SONVERA_TARGET_AVX512VBMI void Round24To16(const uint8_t* ASource, int16_t* ADest, int ACount) {
    NarrowLanes24To16<true>(ASource, ADest, ACount);
}

// Windows of two registers: at the stereo steps (twice the element size) one permute packs 64
// bytes, twice what a one-register window holds.
SONVERA_TARGET_AVX512VBMI void Gather(const TWindowLayout& ALayout, const uint8_t* ARun, int ACount,
                                      uint8_t* APacked) {
    const int perPair = ALayout.PerPair;
    const int size = ALayout.Size;
    const ptrdiff_t step = ALayout.Step;
    const ptrdiff_t reach = ptrdiff_t(ACount - 1) * step + size;
    const __m512i index = _mm512_load_si512(ALayout.GatherPairIndex);
    for (int first = 0; first < ACount; first += perPair)
        _mm512_storeu_si512(APacked + first * size,
                            PermutePair(index, ARun, reach, ptrdiff_t(first) * step));
}

SONVERA_TARGET_AVX512VBMI void Scatter(const TWindowLayout& ALayout, const uint8_t* APacked,
                                       int ACount, uint8_t* ARun) {
    const TWindows windows(ALayout);
    const __m512i index = _mm512_load_si512(ALayout.ScatterIndex);
    for (int first = 0; first < ACount; first += windows.PerWindow) {
        const __m512i packed = _mm512_loadu_si512(APacked + first * windows.Size);
        _mm512_mask_storeu_epi8(ARun + ptrdiff_t(first) * windows.Step,
                                windows.ScatterMask & windows.Reach(ACount, first),
                                Permute(index, packed));
    }
}

// Window to 32-bit lanes: lane i takes element i's three bytes into its bytes 1-3, and an
// arithmetic shift sign-extends them. Windows of two registers: sixteen elements, one per lane,
// at steps up to 8 (a one-register window holds eleven at the stereo step of 6), and about twice
// as many as one register holds at longer steps.
SONVERA_TARGET_AVX512VBMI void Gather24(const TWindowLayout& ALayout, const uint8_t* ARun,
                                        int ACount, int32_t* AValues) {
    const int perPair = ALayout.LanesPerPair;
    const ptrdiff_t step = ALayout.Step;
    const ptrdiff_t reach = ptrdiff_t(ACount - 1) * step + 3;
    const __m512i index = _mm512_load_si512(ALayout.GatherPairLanesIndex);
    for (int first = 0; first < ACount; first += perPair)
        _mm512_storeu_si512(
            AValues + first,
            ShiftRightSigned(PermutePair(index, ARun, reach, ptrdiff_t(first) * step), 8));
}

// 32-bit lanes to the window: the store rule sets bit 23 from bit 31, then each element's
// three bytes go to their place in the window.
SONVERA_TARGET_AVX512VBMI void Scatter24(const TWindowLayout& ALayout, const int32_t* AValues,
                                         int ACount, uint8_t* ARun) {
    const TWindows windows(ALayout);
    const __m512i index = _mm512_load_si512(ALayout.ScatterLanesIndex);
    const __m512i sign = _mm512_set1_epi32(0x800000);
    for (int first = 0; first < ACount; first += windows.PerWindow) {
        const __m512i values = _mm512_loadu_si512(AValues + first);
        const __m512i ruled =
            _mm512_or_si512(values, _mm512_and_si512(ShiftRight(values, 8), sign));
        _mm512_mask_storeu_epi8(ARun + ptrdiff_t(first) * windows.Step,
                                windows.ScatterMask & windows.Reach(ACount, first),
                                Permute(index, ruled));
    }
}

void MapBytes(const TBytePlanes& ATable, const uint8_t* ABytes, int ACount, uint8_t* AOut) {
    using TKernel = void (*)(const TBytePlanes&, const uint8_t*, int, uint8_t*);
    static constexpr TKernel KBySize[4] = {MapThroughPlanes<1>, MapThroughPlanes<2>,
                                           MapThroughPlanes<3>, MapThroughPlanes<4>};
    KBySize[ATable.Size - 1](ATable, ABytes, ACount, AOut);
}

} // namespace sonvera::runs::avx512vbmi

namespace sonvera::runs::avx512 {

// As the AVX2 kernel (see there), the corrections of the low halves through compare masks. The
// quadword order 0, 4, 1, 5, 2, 6, 3, 7 makes the in-lane interleaves write samples 0-15 and
// 16-31.
SONVERA_TARGET_AVX512 void Widen16(const int16_t* ASource, int32_t* ADest, int ACount) {
    const __m512i order = _mm512_setr_epi64(0, 4, 1, 5, 2, 6, 3, 7);
    const __m512i one = _mm512_set1_epi16(1);
    const __m512i top = _mm512_set1_epi16(32767);
    const __m512i bottom = _mm512_set1_epi16(-32767);
    int i = ToLineStart(ADest, 4, ACount);
    portable::Widen16(ASource, ADest, i);
    for (; i + 32 <= ACount; i += 32) {
        const __m512i s =
            _mm512_maskz_permutexvar_epi64(__mmask8(0xFF), order, _mm512_loadu_si512(ASource + i));
        const __m512i high = _mm512_adds_epi16(s, _mm512_srai_epi16(s, 15));
        __m512i low = _mm512_add_epi16(s, s);
        low = _mm512_mask_add_epi16(low, _mm512_cmpeq_epi16_mask(s, top), low, one);
        low = _mm512_mask_sub_epi16(low, _mm512_cmpeq_epi16_mask(s, bottom), low, one);
        _mm512_storeu_si512(ADest + i, _mm512_unpacklo_epi16(low, high));
        _mm512_storeu_si512(ADest + i + 16, _mm512_unpackhi_epi16(low, high));
    }
    portable::Widen16(ASource + i, ADest + i, ACount - i);
}

// As the AVX2 kernel (see there): each 128-bit lane sorted into its four low halves and four high
// halves by a byte shuffle, and the quadwords of two such registers gathered into sixteen low and
// sixteen high halves in order. (Word permutes across two registers would do it in one step, at
// three times the cost here.) With z = H + n + [L > 2H + n] (the last term added under a compare
// mask) the quotient is z for s < 0 (never above 0) and z - 1 for s >= 0, where unsigned
// saturation gives s = 0 its 0. Whole input lines, the first samples one by one: the input side
// moves twice the bytes, and every 64-byte load that straddles two lines costs two.
SONVERA_TARGET_AVX512 void Narrow32(const int32_t* ASource, int16_t* ADest, int ACount) {
    const __m512i split = _mm512_maskz_broadcast_i32x4(
        __mmask16(0xFFFF), _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15));
    const __m512i lows = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
    const __m512i highs = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    const __m512i one = _mm512_set1_epi16(1);
    int i = ToLineStart(ASource, 4, ACount);
    portable::Narrow32(ASource, ADest, i);
    for (; i + 32 <= ACount; i += 32) {
        const __m512i a = _mm512_shuffle_epi8(_mm512_loadu_si512(ASource + i), split);
        const __m512i b = _mm512_shuffle_epi8(_mm512_loadu_si512(ASource + i + 16), split);
        const __m512i low = _mm512_permutex2var_epi64(a, lows, b);
        const __m512i high = _mm512_permutex2var_epi64(a, highs, b);
        const __m512i n = _mm512_srli_epi16(high, 15);
        const __m512i shifted = _mm512_add_epi16(high, n);     // H + n
        const __m512i bound = _mm512_add_epi16(high, shifted); // 2H + n
        const __m512i z =
            _mm512_mask_add_epi16(shifted, _mm512_cmpgt_epu16_mask(low, bound), shifted, one);
        _mm512_storeu_si512(ADest + i, _mm512_subs_epu16(z, _mm512_xor_si512(n, one)));
    }
    portable::Narrow32(ASource + i, ADest + i, ACount - i);
}

// float conversions

// Sixteen per step, the stores from the first element that starts a cache line on. When the
// source sits elsewhere in its lines, every 64-byte load would straddle two of them; instead
// whole lines are loaded and each step's sixteen values joined from two neighbouring ones by a
// permute. The lines read start at or after the run's first element and end at or before its
// last.
SONVERA_TARGET_AVX512 inline __m512 Scaled(__m512i AValues, __m512 AFactor) {
    return _mm512_mul_ps(_mm512_maskz_cvtepi32_ps(__mmask16(0xFFFF), AValues), AFactor);
}

SONVERA_TARGET_AVX512 void ScaleToFloats(const int32_t* ASource, float* ADest, int ACount,
                                         float AFactor) {
    const __m512 factor = _mm512_set1_ps(AFactor);
    int i = ToLineStart(ADest, 4, ACount);
    portable::ScaleToFloats(ASource, ADest, i, AFactor);
    const auto offset = int(reinterpret_cast<uintptr_t>(ASource + i) & 63);
    const int shift = offset / 4;
    // The line of the first joined step must not start before the run.
    if (offset % 4 == 0 && shift != 0 && i < shift && i + 16 <= ACount) {
        _mm512_storeu_ps(ADest + i, Scaled(_mm512_loadu_si512(ASource + i), factor));
        i += 16;
    }
    if (offset % 4 == 0 && shift != 0 && i >= shift && i + 32 <= ACount) {
        const __m512i index = _mm512_add_epi32(
            _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
            _mm512_set1_epi32(shift));
        const int32_t* line = ASource + i - shift;
        __m512i current = _mm512_load_si512(line);
        for (; i + 32 <= ACount; i += 16) {
            line += 16;
            const __m512i next = _mm512_load_si512(line);
            _mm512_storeu_ps(ADest + i,
                             Scaled(_mm512_permutex2var_epi32(current, index, next), factor));
            current = next;
        }
    }
    for (; i + 16 <= ACount; i += 16)
        _mm512_storeu_ps(ADest + i, Scaled(_mm512_loadu_si512(ASource + i), factor));
    portable::ScaleToFloats(ASource + i, ADest + i, ACount - i, AFactor);
}

SONVERA_TARGET_AVX512 inline __m512 UnitScaled(__m256i ASamples, __m512 AScale,
                                               __m512 ACorrection) {
    const __m512 x = _mm512_maskz_cvtepi32_ps(
        __mmask16(0xFFFF), _mm512_maskz_cvtepi16_epi32(__mmask16(0xFFFF), ASamples));
    return _mm512_fmadd_ps(x, ACorrection, _mm512_mul_ps(x, AScale));
}

// As ScaleToFloats: whole output lines, and whole input lines joined by a permute where the
// samples sit elsewhere in theirs (at any even byte offset; 32 samples per line, two output
// lines per step).
SONVERA_TARGET_AVX512 void UnitFloats16(const int16_t* ASource, float* ADest, int ACount,
                                        float AScale, float ACorrection) {
    const __m512 scale = _mm512_set1_ps(AScale);
    const __m512 correction = _mm512_set1_ps(ACorrection);
    int i = ToLineStart(ADest, 4, ACount);
    portable::UnitFloats16(ASource, ADest, i, AScale, ACorrection);
    const auto offset = int(reinterpret_cast<uintptr_t>(ASource + i) & 63);
    // The line of the first joined step must not start before the run: one plain step first.
    if (offset % 4 == 0 && offset != 0 && 2 * i < offset && i + 32 <= ACount) {
        for (int k = 0; k < 32; k += 16)
            _mm512_storeu_ps(
                ADest + i + k,
                UnitScaled(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i + k)),
                           scale, correction));
        i += 32;
    }
    if (offset % 4 == 0 && offset != 0 && 2 * i >= offset && i + 64 <= ACount) {
        const __m512i index = _mm512_add_epi32(
            _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
            _mm512_set1_epi32(offset / 4));
        const int16_t* line = ASource + i - offset / 2;
        __m512i current = _mm512_load_si512(line);
        for (; i + 64 <= ACount; i += 32) {
            line += 32;
            const __m512i next = _mm512_load_si512(line);
            const __m512i samples = _mm512_permutex2var_epi32(current, index, next);
            current = next;
            _mm512_storeu_ps(ADest + i,
                             UnitScaled(_mm512_maskz_extracti64x4_epi64(__mmask8(0xF), samples, 0),
                                        scale, correction));
            _mm512_storeu_ps(ADest + i + 16,
                             UnitScaled(_mm512_maskz_extracti64x4_epi64(__mmask8(0xF), samples, 1),
                                        scale, correction));
        }
    }
    for (; i + 16 <= ACount; i += 16)
        _mm512_storeu_ps(
            ADest + i, UnitScaled(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i)),
                                  scale, correction));
    portable::UnitFloats16(ASource + i, ADest + i, ACount - i, AScale, ACorrection);
}

namespace {

// The even lanes of two vectors, which hold sixteen elements every other one apart.
struct TEvenLaneSpread {
    __m512i Low;
    __m512i High;
};

SONVERA_TARGET_AVX512 TEvenLaneSpread EvenLaneSpread() {
    return {_mm512_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7),
            _mm512_setr_epi32(8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15)};
}

// Up to sixteen floats rounded into every other element, the lanes past ACount neither read
// nor written (masked loads and stores do not touch memory under a cleared lane). False, with
// nothing stored, where a lane holds the conversion's out-of-range value: the exact rule
// redoes those. A vector loop's first and last few elements go through here, so that a run of
// a chain's buffer length does not spend a tenth of its time in the scalar rule.
SONVERA_TARGET_AVX512 bool RoundToEvenLanes(const float* ASource, int32_t* ADest, int ACount,
                                            __m512 AFactor, const TEvenLaneSpread& ASpread) {
    const auto taken = __mmask16((1u << ACount) - 1u);
    const __m512i values = _mm512_maskz_cvtps_epi32(
        taken, _mm512_mul_ps(_mm512_maskz_loadu_ps(taken, ASource), AFactor));
    if (_mm512_mask_cmpeq_epi32_mask(taken, values, _mm512_set1_epi32(INT32_MIN)) != 0)
        return false;
    const uint32_t lanes = _pdep_u32(taken, 0x55555555u);
    _mm512_mask_storeu_epi32(
        ADest, __mmask16(lanes),
        _mm512_maskz_permutexvar_epi32(__mmask16(0xFFFF), ASpread.Low, values));
    // Past eight elements only: below that, ADest + 16 may lie beyond the run's end.
    if (ACount > 8)
        _mm512_mask_storeu_epi32(
            ADest + 16, __mmask16(lanes >> 16),
            _mm512_maskz_permutexvar_epi32(__mmask16(0xFFFF), ASpread.High, values));
    return true;
}

SONVERA_TARGET_AVX512 void RoundEdgeToEvenLanes(const float* ASource, int32_t* ADest, int ACount,
                                                float AFactor, const TEvenLaneSpread& ASpread) {
    for (int i = 0; i < ACount; i += 16) {
        const int count = std::min(16, ACount - i);
        if (!RoundToEvenLanes(ASource + i, ADest + 2 * i, count, _mm512_set1_ps(AFactor), ASpread))
            portable::RoundFloats(ASource + i, ADest + 2 * i, 2, count, AFactor);
    }
}

} // namespace

// Every other element: thirty-two floats rounded at once (redone by the exact rule where any
// lane holds the conversion's out-of-range value), spread over the even lanes of four vectors and
// stored under a mask that leaves the odd elements alone, from the first pair that starts a
// cache line on; the pairs before it and the last ones under narrower masks. Contiguous runs go
// through the AVX2 kernel, whose 32-byte stores are as fast as whole-register ones here.
SONVERA_TARGET_AVX512 void RoundFloats(const float* ASource, int32_t* ADest, int ADestStep,
                                       int ACount, float AFactor) {
    if (ADestStep != 2)
        return avx2::RoundFloats(ASource, ADest, ADestStep, ACount, AFactor);
    const __m512 factor = _mm512_set1_ps(AFactor);
    const TEvenLaneSpread spread = EvenLaneSpread();
    const __mmask16 all = 0xFFFF;
    // Lines counted from the frame the element is in, so that the second channel's stores keep
    // their written lanes inside a line as well. They are also stored from the frame's start,
    // under the odd lanes: a store whose address is not the line's start costs half as much
    // again, even where the lanes it writes lie inside one line.
    const uintptr_t frameStart = uintptr_t(ADest) & ~uintptr_t(7);
    const bool secondOfFrame = uintptr_t(ADest) - frameStart == 4;
    const __mmask16 lanes = secondOfFrame ? 0xAAAA : 0x5555;
    int i = ToLineStart(reinterpret_cast<const void*>(frameStart), 8, ACount);
    RoundEdgeToEvenLanes(ASource, ADest, i, AFactor, spread);
    for (; i + 32 <= ACount; i += 32) {
        __m512i values[2];
        __mmask16 outside = 0;
        for (int k = 0; k < 2; ++k) {
            values[k] = _mm512_maskz_cvtps_epi32(
                all, _mm512_mul_ps(_mm512_loadu_ps(ASource + i + 16 * k), factor));
            outside |= _mm512_cmpeq_epi32_mask(values[k], _mm512_set1_epi32(INT32_MIN));
        }
        if (outside != 0) {
            portable::RoundFloats(ASource + i, ADest + 2 * ptrdiff_t(i), 2, 32, AFactor);
            continue;
        }
        // The spread puts element j in lanes 2j and 2j + 1; the mask picks the element's own.
        auto* frames = reinterpret_cast<int32_t*>((secondOfFrame ? frameStart : uintptr_t(ADest)) +
                                                  8 * uintptr_t(i));
        // The four lines a step ahead of the next: a run of a few thousand frames leaves the
        // cache between the two channels' calls, and a masked store waits for its whole line.
        for (int k = 0; k < 4; ++k)
            _mm_prefetch(reinterpret_cast<const char*>(uintptr_t(frames) + 1024 + 64 * k),
                         _MM_HINT_T0);
        for (int k = 0; k < 2; ++k) {
            _mm512_mask_storeu_epi32(frames + 32 * k, lanes,
                                     _mm512_maskz_permutexvar_epi32(all, spread.Low, values[k]));
            _mm512_mask_storeu_epi32(frames + 32 * k + 16, lanes,
                                     _mm512_maskz_permutexvar_epi32(all, spread.High, values[k]));
        }
    }
    RoundEdgeToEvenLanes(ASource + i, ADest + 2 * ptrdiff_t(i), ACount - i, AFactor, spread);
}

// The conversion rounds to nearest, ties to even, by its own rounding field; it gives the most
// negative 32-bit value for anything outside the range and for NaN, so a step where any lane
// holds it is redone by the exact rule (which -2^31 itself also meets). Frames from the first
// that starts a cache line on: two whole-line stores per step, where the AVX2 kernel's four
// stores split lines whenever the frames do not start one.
SONVERA_TARGET_AVX512 void SaturateFloatPairs(const float* ALeft, const float* ARight,
                                              int32_t* AFrames, int ACount, float AFactor) {
    constexpr int KNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    const __m512 factor = _mm512_set1_ps(AFactor);
    const __m512i first = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
    const __m512i second =
        _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    const __m512i outsideValue = _mm512_set1_epi32(INT32_MIN);
    int i = ToLineStart(AFrames, 8, ACount);
    portable::SaturateFloatPairs(ALeft, ARight, AFrames, i, AFactor);
    for (; i + 16 <= ACount; i += 16) {
        const __m512i left = _mm512_maskz_cvt_roundps_epi32(
            __mmask16(0xFFFF), _mm512_mul_ps(_mm512_loadu_ps(ALeft + i), factor), KNearest);
        const __m512i right = _mm512_maskz_cvt_roundps_epi32(
            __mmask16(0xFFFF), _mm512_mul_ps(_mm512_loadu_ps(ARight + i), factor), KNearest);
        int32_t* frames = AFrames + 2 * ptrdiff_t(i);
        if ((_mm512_cmpeq_epi32_mask(left, outsideValue) |
             _mm512_cmpeq_epi32_mask(right, outsideValue)) != 0) {
            portable::SaturateFloatPairs(ALeft + i, ARight + i, frames, 16, AFactor);
            continue;
        }
        _mm512_storeu_si512(frames, _mm512_permutex2var_epi32(left, first, right));
        _mm512_storeu_si512(frames + 16, _mm512_permutex2var_epi32(left, second, right));
    }
    portable::SaturateFloatPairs(ALeft + i, ARight + i, AFrames + 2 * ptrdiff_t(i), ACount - i,
                                 AFactor);
}

// The first ARemaining of sixteen lanes.
SONVERA_TARGET_AVX512 inline __mmask16 LeadingLanes(int ARemaining) {
    return ARemaining >= 16 ? __mmask16(0xFFFF) : __mmask16((1u << ARemaining) - 1);
}

// ALanes of the floats at ASource times AFactor, at most AHigh, rounded to nearest with ties to
// even: what lies below the 32-bit range converts to its lowest value, and NaN lanes, which fail
// the ordered comparison, to 0.
SONVERA_TARGET_AVX512 inline __m512i RoundedLanes(const float* ASource, __mmask16 ALanes,
                                                  __m512 AFactor, __m512 AHigh) {
    constexpr int KNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    const __m512 scaled = _mm512_mul_ps(_mm512_maskz_loadu_ps(ALanes, ASource), AFactor);
    const __mmask16 ordered = _mm512_cmp_ps_mask(scaled, scaled, _CMP_ORD_Q);
    return _mm512_maskz_cvt_roundps_epi32(ordered, _mm512_min_ps(scaled, AHigh), KNearest);
}

// The low bound is applied to the integers: ALow is a whole number, and NaN's 0 lies above it.
SONVERA_TARGET_AVX512 void RoundFloatsWithin(const float* ASource, int32_t* ADest, int ACount,
                                             float AFactor, float ALow, float AHigh) {
    const __m512 factor = _mm512_set1_ps(AFactor);
    const __m512 high = _mm512_set1_ps(AHigh);
    const __m512i low = _mm512_set1_epi32(static_cast<int32_t>(ALow));
    for (int i = 0; i < ACount; i += 16) {
        const __mmask16 lanes = LeadingLanes(ACount - i);
        const __m512i rounded = RoundedLanes(ASource + i, lanes, factor, high);
        _mm512_mask_storeu_epi32(ADest + i, lanes, _mm512_max_epi32(rounded, low));
    }
}

// The saturating narrowing store takes the low side.
SONVERA_TARGET_AVX512 void RoundFloatsTo16(const float* ASource, int16_t* ADest, int ACount,
                                           float AFactor) {
    const __m512 factor = _mm512_set1_ps(AFactor);
    const __m512 high = _mm512_set1_ps(INT16_MAX);
    for (int i = 0; i < ACount; i += 16) {
        const __mmask16 lanes = LeadingLanes(ACount - i);
        _mm512_mask_cvtsepi32_storeu_epi16(ADest + i, lanes,
                                           RoundedLanes(ASource + i, lanes, factor, high));
    }
}

} // namespace sonvera::runs::avx512
#endif
