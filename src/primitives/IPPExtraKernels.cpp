// The SIMD kernels of the extra primitives' engine, each chosen once per process by what the
// processor offers, each beside the plain loop it replaces.
//
// - Contiguous packed 24-bit runs to and from 32-bit values: sixteen elements per step through
//   AVX-512 byte permutes, or eight through AVX2 byte shuffles.
// - Strided runs to and from packed runs: every element a 64-byte window holds, per step,
//   through byte permutes.
// - Byte tables: 64 bytes per step, each looked up in four registers of table.
// Byte-masked loads and stores keep every kernel inside its run: nothing outside the elements
// is written and nothing past the run's last element is read.
#include "primitives/IPPExtraKernels.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define SONVERA_HAVE_X86_KERNELS 1
#endif

namespace sonvera::extra {

namespace {

void Unpack24Plain(const uint8_t* ASource, int32_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        ADest[i] = Load24(ASource + 3 * i);
}

void Pack24Plain(const int32_t* ASource, uint8_t* ADest, int ACount) {
    for (int i = 0; i < ACount; ++i)
        Store24(ADest + 3 * i, ASource[i]);
}

#ifdef SONVERA_HAVE_X86_KERNELS

// Elements 0-3 come from the 16 bytes at the start, elements 4-7 from the 16 bytes at offset 8,
// so the two loads cover exactly the 24 bytes of the group. Each element's three bytes go to
// the top of its lane and an arithmetic shift brings them down sign-extended.
__attribute__((target("avx2"))) void Unpack24Avx2(const uint8_t* ASource, int32_t* ADest,
                                                  int ACount) {
    const __m256i spread =
        _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 4, 5, 6, -1, 7,
                         8, 9, -1, 10, 11, 12, -1, 13, 14, 15);
    int i = 0;
    for (; i + 8 <= ACount; i += 8) {
        const uint8_t* group = ASource + 3 * i;
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(group + 8));
        __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        v = _mm256_srai_epi32(_mm256_shuffle_epi8(v, spread), 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(ADest + i), v);
    }
    Unpack24Plain(ASource + 3 * i, ADest + i, ACount - i);
}

// The store rule is applied to eight values at once, each lane's four elements are squeezed
// into its low 12 bytes, the two halves are joined into 24 contiguous bytes and written with
// one 16-byte and one 8-byte store.
__attribute__((target("avx2"))) void Pack24Avx2(const int32_t* ASource, uint8_t* ADest,
                                                int ACount) {
    const __m256i squeeze =
        _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2, 4, 5, 6,
                         8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m256i join = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7);
    const __m256i low24 = _mm256_set1_epi32(0xFFFFFF);
    const __m256i sign = _mm256_set1_epi32(0x800000);
    int i = 0;
    for (; i + 8 <= ACount; i += 8) {
        __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(ASource + i));
        v = _mm256_or_si256(_mm256_and_si256(v, low24),
                            _mm256_and_si256(_mm256_srli_epi32(v, 8), sign));
        v = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(v, squeeze), join);
        uint8_t* group = ADest + 3 * i;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(group), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(group + 16), _mm256_extracti128_si256(v, 1));
    }
    Pack24Plain(ASource + i, ADest + 3 * i, ACount - i);
}

// A mask of the low ABits bits of a 64-byte window.
uint64_t LowBits(int ABits) {
    return ABits >= 64 ? ~uint64_t(0) : (uint64_t(1) << ABits) - 1;
}

#define SONVERA_TARGET_BYTE_PERMUTES __attribute__((target("avx512f,avx512bw,avx512vbmi")))

// The zero-masking forms of the permute and the shifts: the plain forms start from an
// undefined register, which the compiler reports as an uninitialised read.
SONVERA_TARGET_BYTE_PERMUTES inline __m512i Permute(__m512i AIndex, __m512i ABytes) {
    return _mm512_maskz_permutexvar_epi8(~__mmask64(0), AIndex, ABytes);
}
SONVERA_TARGET_BYTE_PERMUTES inline __m512i ShiftRightSigned(__m512i AValues, unsigned ABits) {
    return _mm512_maskz_srai_epi32(~__mmask16(0), AValues, ABits);
}
SONVERA_TARGET_BYTE_PERMUTES inline __m512i ShiftRight(__m512i AValues, unsigned ABits) {
    return _mm512_maskz_srli_epi32(~__mmask16(0), AValues, ABits);
}

SONVERA_TARGET_BYTE_PERMUTES __m512i LoadIndex(const uint8_t* AIndex) {
    return _mm512_loadu_si512(AIndex);
}

// Element i's three bytes go to bytes 1-3 of lane i; an arithmetic shift brings them down
// sign-extended.
SONVERA_TARGET_BYTE_PERMUTES void Unpack24Permute(const uint8_t* ASource, int32_t* ADest,
                                                  int ACount) {
    alignas(64) uint8_t spread[64];
    for (int b = 0; b < 64; ++b)
        spread[b] = uint8_t(3 * (b / 4) + (b % 4 == 0 ? 0 : b % 4 - 1));
    const __m512i index = LoadIndex(spread);
    int first = 0;
    // Whole 64-byte loads while they stay inside the run, masked loads for the rest.
    for (; 3 * first + 64 <= 3 * ACount; first += 16) {
        const __m512i bytes = _mm512_loadu_si512(ASource + 3 * first);
        _mm512_storeu_si512(ADest + first, ShiftRightSigned(Permute(index, bytes), 8));
    }
    for (; first < ACount; first += 16) {
        const int count = std::min(16, ACount - first);
        const __m512i bytes = _mm512_maskz_loadu_epi8(LowBits(3 * count), ASource + 3 * first);
        const __m512i values = ShiftRightSigned(Permute(index, bytes), 8);
        _mm512_mask_storeu_epi32(ADest + first, __mmask16(LowBits(count)), values);
    }
}

// The store rule needs only bit 23 set from bit 31 (the top byte is dropped by the squeeze).
SONVERA_TARGET_BYTE_PERMUTES __m512i Squeeze24(__m512i AIndex, const int32_t* AValues,
                                               __mmask16 ALanes) {
    const __m512i values = _mm512_maskz_loadu_epi32(ALanes, AValues);
    const __m512i sign = _mm512_set1_epi32(0x800000);
    return Permute(AIndex, _mm512_or_si512(values, _mm512_and_si512(ShiftRight(values, 8), sign)));
}

// Sixty-four values make 192 bytes, three whole vectors: each sixteen are squeezed into 48
// bytes, and neighbouring squeezes are joined with two-register permutes. Shorter rests go out
// sixteen at a time through masked stores.
SONVERA_TARGET_BYTE_PERMUTES void Pack24Permute(const int32_t* ASource, uint8_t* ADest,
                                                int ACount) {
    alignas(64) uint8_t squeeze[64];
    alignas(64) uint8_t join[3][64];
    for (int b = 0; b < 64; ++b) {
        squeeze[b] = uint8_t(b < 48 ? 4 * (b / 3) + b % 3 : 0);
        for (int j = 0; j < 3; ++j) {
            // Output vector j holds bytes 64 j .. 64 j + 63 of the 192, squeeze j covering bytes
            // 48 j .. 48 j + 47 and squeeze j + 1 the ones after.
            const int offset = 64 * j + b - 48 * j;
            join[j][b] = uint8_t(offset < 48 ? offset : 64 + offset - 48);
        }
    }
    const __m512i index = LoadIndex(squeeze);
    int first = 0;
    for (; first + 64 <= ACount; first += 64) {
        __m512i squeezed[4];
        for (int q = 0; q < 4; ++q)
            squeezed[q] = Squeeze24(index, ASource + first + 16 * q, __mmask16(0xFFFF));
        for (int j = 0; j < 3; ++j) {
            const __m512i bytes =
                _mm512_permutex2var_epi8(squeezed[j], LoadIndex(join[j]), squeezed[j + 1]);
            _mm512_storeu_si512(ADest + 3 * first + 64 * j, bytes);
        }
    }
    for (; first < ACount; first += 16) {
        const int count = std::min(16, ACount - first);
        const __m512i bytes = Squeeze24(index, ASource + first, __mmask16(LowBits(count)));
        _mm512_mask_storeu_epi8(ADest + 3 * first, LowBits(3 * count), bytes);
    }
}

// Byte i of the result is byte AIndex[i] of the 256-byte table in ATable[0..3].
SONVERA_TARGET_BYTE_PERMUTES __m512i LookUp(const __m512i* ATable, __m512i AIndex) {
    const __m512i low = _mm512_permutex2var_epi8(ATable[0], AIndex, ATable[1]);
    const __m512i high = _mm512_permutex2var_epi8(ATable[2], AIndex, ATable[3]);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(AIndex), low, high);
}

// Looks each input byte up in every plane of the table (plane k holds byte k of the results),
// then interleaves the planes into whole elements: output vector j takes its bytes from planes
// 0 and 1 through one two-register permute and, for 3- and 4-byte elements, from planes 2 and 3
// through a second, blended in by AFromHighPlanes[j]. The element size is a template argument
// so that the table and the planes stay in registers.
template <int ASize>
SONVERA_TARGET_BYTE_PERMUTES void
MapThroughPlanes(const uint8_t (*APlanes)[256], const uint8_t (*ALowPlanes)[64],
                 const uint8_t (*AHighPlanes)[64], const uint64_t* AFromHighPlanes,
                 const uint8_t* ABytes, int ACount, uint8_t* AOut) {
    __m512i table[ASize][4];
    __m512i low[ASize];
    __m512i high[ASize];
    for (int k = 0; k < ASize; ++k) {
        for (int q = 0; q < 4; ++q)
            table[k][q] = _mm512_loadu_si512(APlanes[k] + 64 * q);
        low[k] = LoadIndex(ALowPlanes[k]);
        high[k] = LoadIndex(AHighPlanes[k]);
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
                out = _mm512_mask_blend_epi8(AFromHighPlanes[j], out, upper);
            }
            if (bytes >= 64)
                _mm512_storeu_si512(AOut + first * ASize + 64 * j, out);
            else
                _mm512_mask_storeu_epi8(AOut + first * ASize + 64 * j, LowBits(bytes), out);
        }
    }
}

using TPlanesKernel = void (*)(const uint8_t (*)[256], const uint8_t (*)[64], const uint8_t (*)[64],
                               const uint64_t*, const uint8_t*, int, uint8_t*);

TPlanesKernel PlanesKernel(int ASize) {
    static const TPlanesKernel kernels[4] = {MapThroughPlanes<1>, MapThroughPlanes<2>,
                                             MapThroughPlanes<3>, MapThroughPlanes<4>};
    return kernels[ASize - 1];
}

SONVERA_TARGET_BYTE_PERMUTES void GatherWindows(const uint8_t* ARun, int ACount, uint8_t* APacked,
                                                const uint8_t* AIndex, int APerWindow, int AStep,
                                                int ASize) {
    const __m512i index = _mm512_load_si512(AIndex);
    // Whole 64-byte loads while the window lies inside the run, masked ones at its end.
    const ptrdiff_t runReach = ptrdiff_t(ACount - 1) * AStep + ASize;
    for (int first = 0; first < ACount; first += APerWindow) {
        const int count = std::min(APerWindow, ACount - first);
        const int reach = (count - 1) * AStep + ASize;
        const uint8_t* start = ARun + ptrdiff_t(first) * AStep;
        const __m512i window = ptrdiff_t(first) * AStep + 64 <= runReach
                                   ? _mm512_loadu_si512(start)
                                   : _mm512_maskz_loadu_epi8(LowBits(reach), start);
        _mm512_storeu_si512(APacked + first * ASize, Permute(index, window));
    }
}

SONVERA_TARGET_BYTE_PERMUTES void ScatterWindows(const uint8_t* APacked, int ACount, uint8_t* ARun,
                                                 const uint8_t* AIndex, uint64_t AMask,
                                                 int APerWindow, int AStep, int ASize) {
    const __m512i index = _mm512_load_si512(AIndex);
    for (int first = 0; first < ACount; first += APerWindow) {
        const int count = std::min(APerWindow, ACount - first);
        const int reach = (count - 1) * AStep + ASize;
        const __m512i packed = _mm512_loadu_si512(APacked + first * ASize);
        _mm512_mask_storeu_epi8(ARun + ptrdiff_t(first) * AStep, AMask & LowBits(reach),
                                Permute(index, packed));
    }
}

// Window to 32-bit lanes: lane i takes element i's three bytes into its bytes 1-3, and an
// arithmetic shift sign-extends them.
SONVERA_TARGET_BYTE_PERMUTES void GatherWindows24(const uint8_t* ARun, int ACount, int32_t* AValues,
                                                  const uint8_t* AIndex, int APerWindow,
                                                  int AStep) {
    const __m512i index = _mm512_load_si512(AIndex);
    const ptrdiff_t runReach = ptrdiff_t(ACount - 1) * AStep + 3;
    for (int first = 0; first < ACount; first += APerWindow) {
        const int count = std::min(APerWindow, ACount - first);
        const int reach = (count - 1) * AStep + 3;
        const uint8_t* start = ARun + ptrdiff_t(first) * AStep;
        const __m512i window = ptrdiff_t(first) * AStep + 64 <= runReach
                                   ? _mm512_loadu_si512(start)
                                   : _mm512_maskz_loadu_epi8(LowBits(reach), start);
        _mm512_storeu_si512(AValues + first, ShiftRightSigned(Permute(index, window), 8));
    }
}

// 32-bit lanes to the window: the store rule sets bit 23 from bit 31, then each element's
// three bytes go to their place in the window.
SONVERA_TARGET_BYTE_PERMUTES void ScatterWindows24(const int32_t* AValues, int ACount,
                                                   uint8_t* ARun, const uint8_t* AIndex,
                                                   uint64_t AMask, int APerWindow, int AStep) {
    const __m512i index = _mm512_load_si512(AIndex);
    const __m512i sign = _mm512_set1_epi32(0x800000);
    for (int first = 0; first < ACount; first += APerWindow) {
        const int count = std::min(APerWindow, ACount - first);
        const int reach = (count - 1) * AStep + 3;
        const __m512i values = _mm512_loadu_si512(AValues + first);
        const __m512i ruled =
            _mm512_or_si512(values, _mm512_and_si512(ShiftRight(values, 8), sign));
        _mm512_mask_storeu_epi8(ARun + ptrdiff_t(first) * AStep, AMask & LowBits(reach),
                                Permute(index, ruled));
    }
}
#endif

struct TPacked24Kernels {
    void (*Unpack)(const uint8_t*, int32_t*, int);
    void (*Pack)(const int32_t*, uint8_t*, int);
};

struct TProcessor {
    bool HasAvx2 = false;
    bool HasBytePermutes = false;
};

TProcessor Examine() {
    TProcessor processor;
#ifdef SONVERA_HAVE_X86_KERNELS
    __builtin_cpu_init();
    processor.HasAvx2 = __builtin_cpu_supports("avx2");
    processor.HasBytePermutes = __builtin_cpu_supports("avx512f") &&
                                __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("avx512vbmi");
#endif
    return processor;
}

const TProcessor& Processor() {
    static const TProcessor processor = Examine();
    return processor;
}

TPacked24Kernels Packed24Kernels(TKernelLevel ALevel) {
#ifdef SONVERA_HAVE_X86_KERNELS
    if (ALevel == klBytePermutes)
        return {Unpack24Permute, Pack24Permute};
    if (ALevel == klAvx2)
        return {Unpack24Avx2, Pack24Avx2};
#endif
    (void)ALevel;
    return {Unpack24Plain, Pack24Plain};
}

TKernelLevel BestLevel() {
    if (Processor().HasBytePermutes)
        return klBytePermutes;
    return Processor().HasAvx2 ? klAvx2 : klPlain;
}

const TPacked24Kernels& BestPacked24Kernels() {
    static const TPacked24Kernels kernels = Packed24Kernels(BestLevel());
    return kernels;
}

} // namespace

bool KernelLevelAvailable(TKernelLevel ALevel) {
    switch (ALevel) {
    case klBytePermutes:
        return Processor().HasBytePermutes;
    case klAvx2:
        return Processor().HasAvx2;
    default:
        return true;
    }
}

void Unpack24(const uint8_t* ASource, int32_t* ADest, int ACount) {
    BestPacked24Kernels().Unpack(ASource, ADest, ACount);
}

void Pack24(const int32_t* ASource, uint8_t* ADest, int ACount) {
    BestPacked24Kernels().Pack(ASource, ADest, ACount);
}

void Unpack24With(TKernelLevel ALevel, const uint8_t* ASource, int32_t* ADest, int ACount) {
    Packed24Kernels(ALevel).Unpack(ASource, ADest, ACount);
}

void Pack24With(TKernelLevel ALevel, const int32_t* ASource, uint8_t* ADest, int ACount) {
    Packed24Kernels(ALevel).Pack(ASource, ADest, ACount);
}

bool TStrideShuffle::Usable(ptrdiff_t AStep, int ASize) {
    return AStep > ASize && AStep <= 64 - ASize && Processor().HasBytePermutes;
}

// Packed byte c holds byte c mod size of element c / size; window byte b belongs to element
// b / step when b mod step < size.
TStrideShuffle::TStrideShuffle(ptrdiff_t AStep, int ASize)
    : FScatterMask(0), FPerWindow((64 - ASize) / int(AStep) + 1), FStep(int(AStep)), FSize(ASize) {
    for (int c = 0; c < 64; ++c)
        FGatherIndex[c] = c < FPerWindow * FSize ? uint8_t(c / FSize * FStep + c % FSize) : 0;
    for (int b = 0; b < 64; ++b) {
        const int element = b / FStep;
        const int offset = b % FStep;
        const bool inside = offset < FSize && element < FPerWindow;
        FScatterIndex[b] = inside ? uint8_t(element * FSize + offset) : 0;
        FScatterMask |= uint64_t(inside) << b;
        // 32-bit lanes of 3-byte elements (up to 16 per window): a value's low three bytes
        // are the element's; gathering puts them in lane bytes 1-3 for the sign-extending shift.
        FScatterLanesIndex[b] = inside ? uint8_t(4 * element + offset) : 0;
        const int lane = b / 4;
        const int laneByte = b % 4;
        FGatherLanesIndex[b] =
            lane < FPerWindow ? uint8_t(lane * FStep + (laneByte == 0 ? 0 : laneByte - 1)) : 0;
    }
}

void TStrideShuffle::Gather(const uint8_t* ARun, int ACount, uint8_t* APacked) const {
#ifdef SONVERA_HAVE_X86_KERNELS
    GatherWindows(ARun, ACount, APacked, FGatherIndex, FPerWindow, FStep, FSize);
#else
    for (int i = 0; i < ACount; ++i)
        std::memcpy(APacked + i * FSize, ARun + ptrdiff_t(i) * FStep, size_t(FSize));
#endif
}

void TStrideShuffle::Gather24(const uint8_t* ARun, int ACount, int32_t* AValues) const {
#ifdef SONVERA_HAVE_X86_KERNELS
    GatherWindows24(ARun, ACount, AValues, FGatherLanesIndex, FPerWindow, FStep);
#else
    for (int i = 0; i < ACount; ++i)
        AValues[i] = Load24(ARun + ptrdiff_t(i) * FStep);
#endif
}

void TStrideShuffle::Scatter24(const int32_t* AValues, int ACount, uint8_t* ARun) const {
#ifdef SONVERA_HAVE_X86_KERNELS
    ScatterWindows24(AValues, ACount, ARun, FScatterLanesIndex, FScatterMask, FPerWindow, FStep);
#else
    for (int i = 0; i < ACount; ++i)
        Store24(ARun + ptrdiff_t(i) * FStep, AValues[i]);
#endif
}

void TStrideShuffle::Scatter(const uint8_t* APacked, int ACount, uint8_t* ARun) const {
#ifdef SONVERA_HAVE_X86_KERNELS
    ScatterWindows(APacked, ACount, ARun, FScatterIndex, FScatterMask, FPerWindow, FStep, FSize);
#else
    for (int i = 0; i < ACount; ++i)
        std::memcpy(ARun + ptrdiff_t(i) * FStep, APacked + i * FSize, size_t(FSize));
#endif
}

bool TByteTable::Usable() {
    return Processor().HasBytePermutes;
}

// Output byte m of vector j is byte (64 j + m) mod size of element (64 j + m) / size; in a
// two-register permute, index bit 6 picks the second register (the odd plane).
TByteTable::TByteTable(const uint8_t* AEntries, int ASize) : FFromHighPlanes{}, FSize(ASize) {
    for (int b = 0; b < 256; ++b) {
        for (int k = 0; k < 4; ++k)
            FPlanes[k][b] = k < ASize ? AEntries[b * ASize + k] : 0;
    }
    for (int j = 0; j < 4; ++j) {
        for (int m = 0; m < 64; ++m) {
            const int element = (64 * j + m) / ASize % 64;
            const int plane = (64 * j + m) % ASize;
            const uint8_t index = uint8_t(element | (plane & 1) << 6);
            FLowPlanes[j][m] = index;
            FHighPlanes[j][m] = index;
            FFromHighPlanes[j] |= uint64_t(plane >= 2) << m;
        }
    }
}

void TByteTable::Map(const uint8_t* ABytes, int ACount, uint8_t* AOut) const {
#ifdef SONVERA_HAVE_X86_KERNELS
    PlanesKernel(FSize)(FPlanes, FLowPlanes, FHighPlanes, FFromHighPlanes, ABytes, ACount, AOut);
#else
    for (int i = 0; i < ACount; ++i) {
        for (int k = 0; k < FSize; ++k)
            AOut[i * FSize + k] = FPlanes[k][ABytes[i]];
    }
#endif
}

} // namespace sonvera::extra
