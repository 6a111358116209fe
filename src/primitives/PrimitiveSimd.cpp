// The table of kernels by level, and the layouts the window and byte-table kernels work from.
#include "primitives/PrimitiveSimd.h"

namespace sonvera::runs {

namespace {

constexpr TSimdKernels KPortableKernels = {
    portable::Unpack24,
    portable::Pack24,
    // 24-bit widths
    portable::Pack16To24,
    portable::Unpack24To16,
    portable::Gather,
    portable::Scatter,
    portable::Gather24,
    portable::Scatter24,
    portable::MapBytes,
    portable::Widen16,
    portable::Narrow32,
};

#ifdef SONVERA_X86_KERNELS
constexpr TSimdKernels KAvx2Kernels = {
    avx2::Unpack24,
    avx2::Pack24,
    // 24-bit widths
    avx2::Pack16To24,
    avx2::Unpack24To16,
    portable::Gather,
    portable::Scatter,
    portable::Gather24,
    portable::Scatter24,
    portable::MapBytes,
    avx2::Widen16,
    avx2::Narrow32,
};

// AVX-512 without byte permutes: the AVX2 kernels but for the 16/32-bit widths.
constexpr TSimdKernels KAvx512Kernels = [] {
    TSimdKernels kernels = KAvx2Kernels;
    kernels.Widen16 = avx512::Widen16;
    kernels.Narrow32 = avx512::Narrow32;
    return kernels;
}();

constexpr TSimdKernels KBytePermuteKernels = {
    avx512vbmi::Unpack24,
    avx512vbmi::Pack24,
    // 24-bit widths
    avx512vbmi::Pack16To24,
    avx512vbmi::Unpack24To16,
    avx512vbmi::Gather,
    avx512vbmi::Scatter,
    avx512vbmi::Gather24,
    avx512vbmi::Scatter24,
    avx512vbmi::MapBytes,
    avx512::Widen16,
    avx512::Narrow32,
};

constexpr const TSimdKernels* KKernelsByLevel[KKernelLevelCount] = {
    &KPortableKernels, &KAvx2Kernels, &KAvx512Kernels, &KBytePermuteKernels};
#else
constexpr const TSimdKernels* KKernelsByLevel[KKernelLevelCount] = {
    &KPortableKernels, &KPortableKernels, &KPortableKernels, &KPortableKernels};
#endif

} // namespace

const TSimdKernels& SimdKernels(TKernelLevel ALevel) {
    return *KKernelsByLevel[ALevel];
}

bool TStrideShuffle::Usable(ptrdiff_t AStep, int ASize) {
    return AStep > ASize && AStep <= 64 - ASize && HasBytePermutes();
}

TStrideShuffle::TStrideShuffle(ptrdiff_t AStep, int ASize)
    : FLayout{}, FKernels(ActiveSimdKernels()) {
    TWindowLayout& layout = FLayout;
    layout.PerWindow = (64 - ASize) / int(AStep) + 1;
    layout.Step = int(AStep);
    layout.Size = ASize;
    for (int c = 0; c < 64; ++c)
        layout.GatherIndex[c] =
            c < layout.PerWindow * ASize ? uint8_t(c / ASize * layout.Step + c % ASize) : 0;
    for (int b = 0; b < 64; ++b) {
        const int element = b / layout.Step;
        const int offset = b % layout.Step;
        const bool inside = offset < ASize && element < layout.PerWindow;
        layout.ScatterIndex[b] = inside ? uint8_t(element * ASize + offset) : 0;
        layout.ScatterMask |= uint64_t(inside) << b;
        // A 32-bit lane's low three bytes are the element's; gathering puts them in lane bytes
        // 1-3 for the sign-extending shift.
        layout.ScatterLanesIndex[b] = inside ? uint8_t(4 * element + offset) : 0;
        const int lane = b / 4;
        const int laneByte = b % 4;
        layout.GatherLanesIndex[b] =
            lane < layout.PerWindow
                ? uint8_t(lane * layout.Step + (laneByte == 0 ? 0 : laneByte - 1))
                : 0;
    }
}

// Output byte m of vector j is byte (64 j + m) mod size of element (64 j + m) / size; in a
// two-register permute, index bit 6 picks the second register (the odd plane).
TByteTable::TByteTable(const uint8_t* AEntries, int ASize)
    : FPlanes{}, FKernels(ActiveSimdKernels()) {
    FPlanes.Size = ASize;
    for (int b = 0; b < 256; ++b) {
        for (int k = 0; k < 4; ++k)
            FPlanes.Planes[k][b] = k < ASize ? AEntries[b * ASize + k] : 0;
    }
    for (int j = 0; j < 4; ++j) {
        for (int m = 0; m < 64; ++m) {
            const int element = (64 * j + m) / ASize % 64;
            const int plane = (64 * j + m) % ASize;
            const uint8_t index = uint8_t(element | (plane & 1) << 6);
            FPlanes.LowPlanes[j][m] = index;
            FPlanes.HighPlanes[j][m] = index;
            FPlanes.FromHighPlanes[j] |= uint64_t(plane >= 2) << m;
        }
    }
}

} // namespace sonvera::runs
