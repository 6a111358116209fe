// The table of kernels by level, and the layouts the window and byte-table kernels work from.
#include "primitives/PrimitiveSimd.h"

#include <algorithm>

namespace sonvera::runs {

namespace {

constexpr TSimdKernels KPortableKernels = {
    portable::Unpack24,
    portable::Unpack24High,
    portable::Pack24,
    portable::PackHigh24,
    // 24-bit widths
    portable::Pack16To24,
    portable::Unpack24To16,
    portable::Round24To16,
    portable::Gather,
    portable::Scatter,
    portable::Gather24,
    portable::Scatter24,
    portable::MapBytes,
    portable::Widen16,
    portable::Narrow32,
    // float conversions
    portable::ScaleToFloats,
    portable::UnitFloats16,
    portable::RoundFloats,
    portable::SaturateFloatPairs,
    portable::RoundFloatsWithin,
    portable::RoundFloatsTo16,
    // float effects
    portable::Biquad,
};

#ifdef SONVERA_X86_KERNELS
constexpr TSimdKernels KAvx2Kernels = {
    avx2::Unpack24,
    avx2::Unpack24High,
    avx2::Pack24,
    avx2::PackHigh24,
    // 24-bit widths
    avx2::Pack16To24,
    avx2::Unpack24To16,
    avx2::Round24To16,
    portable::Gather,
    portable::Scatter,
    portable::Gather24,
    portable::Scatter24,
    portable::MapBytes,
    avx2::Widen16,
    avx2::Narrow32,
    // float conversions
    avx2::ScaleToFloats,
    avx2::UnitFloats16,
    avx2::RoundFloats,
    avx2::SaturateFloatPairs,
    avx2::RoundFloatsWithin,
    avx2::RoundFloatsTo16,
    // float effects
    avx2::Biquad,
};

// AVX-512 without byte permutes: the AVX2 kernels but for the 16/32-bit widths and the floats.
constexpr TSimdKernels KAvx512Kernels = [] {
    TSimdKernels kernels = KAvx2Kernels;
    kernels.Widen16 = avx512::Widen16;
    kernels.Narrow32 = avx512::Narrow32;
    kernels.ScaleToFloats = avx512::ScaleToFloats;
    kernels.UnitFloats16 = avx512::UnitFloats16;
    kernels.RoundFloats = avx512::RoundFloats;
    kernels.SaturateFloatPairs = avx512::SaturateFloatPairs;
    kernels.RoundFloatsWithin = avx512::RoundFloatsWithin;
    kernels.RoundFloatsTo16 = avx512::RoundFloatsTo16;
    kernels.Biquad = avx512::Biquad;
    return kernels;
}();

constexpr TSimdKernels KBytePermuteKernels = {
    avx512vbmi::Unpack24,
    avx512vbmi::Unpack24High,
    avx512vbmi::Pack24,
    avx512vbmi::PackHigh24,
    // 24-bit widths
    avx512vbmi::Pack16To24,
    avx512vbmi::Unpack24To16,
    avx512vbmi::Round24To16,
    avx512vbmi::Gather,
    avx512vbmi::Scatter,
    avx512vbmi::Gather24,
    avx512vbmi::Scatter24,
    avx512vbmi::MapBytes,
    avx512::Widen16,
    avx512::Narrow32,
    // float conversions
    avx512::ScaleToFloats,
    avx512::UnitFloats16,
    avx512::RoundFloats,
    avx512::SaturateFloatPairs,
    avx512::RoundFloatsWithin,
    avx512::RoundFloatsTo16,
    // float effects
    avx512::Biquad,
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

// Built element by element, with no division per byte: a layout is built for every strided run,
// and a run is often a single buffer's channel of a few hundred samples.
TStrideShuffle::TStrideShuffle(ptrdiff_t AStep, int ASize)
    : FLayout{}, FKernels(ActiveSimdKernels()) {
    TWindowLayout& layout = FLayout;
    layout.Step = int(AStep);
    layout.Size = ASize;
    layout.PerWindow = (64 - ASize) / layout.Step + 1;
    for (int element = 0; element < layout.PerWindow; ++element) {
        for (int offset = 0; offset < ASize; ++offset) {
            const int window = element * layout.Step + offset;
            layout.ScatterIndex[window] = uint8_t(element * ASize + offset);
            layout.ScatterMask |= uint64_t(1) << window;
            layout.ScatterLanesIndex[window] = uint8_t(4 * element + offset);
        }
    }
    const int perPairWindow = (128 - ASize) / layout.Step + 1;
    layout.PerPair = std::min(perPairWindow, 64 / ASize);
    for (int element = 0; element < layout.PerPair; ++element) {
        for (int offset = 0; offset < ASize; ++offset)
            layout.GatherPairIndex[element * ASize + offset] =
                uint8_t(element * layout.Step + offset);
    }
    // A 32-bit lane's low three bytes are the element's; gathering puts them in lane bytes 1-3
    // for the sign-extending shift.
    layout.LanesPerPair = std::min(perPairWindow, 16);
    for (int lane = 0; lane < layout.LanesPerPair; ++lane) {
        for (int laneByte = 0; laneByte < 4; ++laneByte)
            layout.GatherPairLanesIndex[4 * lane + laneByte] =
                uint8_t(lane * layout.Step + (laneByte == 0 ? 0 : laneByte - 1));
    }
}

// Output byte n = 64 j + m is byte n mod size of element n / size, counted along rather than
// divided out; in a two-register permute, index bit 6 picks the second register (the odd plane).
TByteTable::TByteTable(const uint8_t* AEntries, int ASize)
    : FPlanes{}, FKernels(ActiveSimdKernels()) {
    FPlanes.Size = ASize;
    for (int b = 0; b < 256; ++b) {
        for (int k = 0; k < ASize; ++k)
            FPlanes.Planes[k][b] = AEntries[b * ASize + k];
    }
    int element = 0;
    int plane = 0;
    for (int n = 0; n < 256; ++n) {
        const uint8_t index = uint8_t((element & 63) | (plane & 1) << 6);
        FPlanes.LowPlanes[n / 64][n % 64] = index;
        FPlanes.HighPlanes[n / 64][n % 64] = index;
        FPlanes.FromHighPlanes[n / 64] |= uint64_t(plane >= 2) << (n % 64);
        if (++plane == ASize) {
            plane = 0;
            ++element;
        }
    }
}

} // namespace sonvera::runs
