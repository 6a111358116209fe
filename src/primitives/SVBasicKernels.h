// Region walking shared by the portable primitives of the dispatch table. A region is cy rows
// of cx elements, row r starting r * step bytes after the base pointer. Rows whose steps equal
// their length in bytes are walked as one long row, and a region one element wide as a
// strided column, so that neither pays a per-row cost.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "internal/KernelLevel.h"
#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera::svbasic {

// Elements are moved through memcpy so that a row may start at any byte step, whatever the
// element's alignment; the compiler turns these into plain (vector) loads and stores.
template <class T> inline T LoadAt(const char* ABase, ptrdiff_t AIndex) {
    T value;
    std::memcpy(&value, ABase + AIndex * static_cast<ptrdiff_t>(sizeof(T)), sizeof(T));
    return value;
}

template <class T> inline void StoreAt(char* ABase, ptrdiff_t AIndex, T AValue) {
    std::memcpy(ABase + AIndex * static_cast<ptrdiff_t>(sizeof(T)), &AValue, sizeof(T));
}

// Argument tests shared by the primitives (the statuses are theirs to return).
inline bool IsEmpty(IppiSize ASize) {
    return ASize.cx < 1 || ASize.cy < 1;
}
inline bool IsBadStep(int32_t AStep) {
    return AStep < 1;
}

// Sizes and steps widened, so that no offset computed from them can overflow.
struct TRegion {
    ptrdiff_t Width;
    ptrdiff_t Height;
    ptrdiff_t SrcStep;
    ptrdiff_t DstStep;

    const char* SrcRow(const void* ABase, ptrdiff_t ARow) const {
        return static_cast<const char*>(ABase) + ARow * SrcStep;
    }
    char* DstRow(void* ABase, ptrdiff_t ARow) const {
        return static_cast<char*>(ABase) + ARow * DstStep;
    }
};

// The region of a primitive with a source and a destination, as one row when both are
// contiguous.
template <class TSrc, class TDst>
inline TRegion MakeRegion(IppiSize ASize, int32_t ASrcStep, int32_t ADstStep) {
    TRegion region{ASize.cx, ASize.cy, ASrcStep, ADstStep};
    if (region.SrcStep == region.Width * static_cast<ptrdiff_t>(sizeof(TSrc)) &&
        region.DstStep == region.Width * static_cast<ptrdiff_t>(sizeof(TDst))) {
        region.Width *= region.Height;
        region.Height = 1;
    }
    return region;
}

// The region of a primitive that only writes.
template <class TDst> inline TRegion MakeRegion(IppiSize ASize, int32_t ADstStep) {
    return MakeRegion<TDst, TDst>(ASize, ADstStep, ADstStep);
}

// A one-dimensional primitive's run of ALength elements.
inline TRegion MakeRun(int32_t ALength) {
    return TRegion{ALength, 1, 0, 0};
}

// Elements per block of the row loops: a fixed trip count lets the compiler vectorise the
// block at every optimisation level, and 64 is a whole number of the widest vectors.
constexpr ptrdiff_t KBlock = 64;

// ADst[i] = AFn(ASrc[i]) for ACount elements. A block is computed before it is stored, so
// the source may be the destination itself.
template <class TSrc, class TDst, class TFn>
inline __attribute__((always_inline)) void MapRow(const char* ASrc, char* ADst, ptrdiff_t ACount,
                                                  const TFn& AFn) {
    ptrdiff_t i = 0;
    for (; i + KBlock <= ACount; i += KBlock) {
        TDst block[KBlock];
        for (ptrdiff_t j = 0; j < KBlock; ++j)
            block[j] = AFn(LoadAt<TSrc>(ASrc, i + j));
        std::memcpy(ADst + i * static_cast<ptrdiff_t>(sizeof(TDst)), block, sizeof block);
    }
    for (; i < ACount; ++i)
        StoreAt<TDst>(ADst, i, AFn(LoadAt<TSrc>(ASrc, i)));
}

// ADst[i] = AFn(ADst[i], ASrc[i]) for ACount elements.
template <class T, class TFn>
inline __attribute__((always_inline)) void CombineRow(const char* ASrc, char* ASrcDst,
                                                      ptrdiff_t ACount, const TFn& AFn) {
    ptrdiff_t i = 0;
    for (; i + KBlock <= ACount; i += KBlock) {
        T block[KBlock];
        for (ptrdiff_t j = 0; j < KBlock; ++j)
            block[j] = AFn(LoadAt<T>(ASrcDst, i + j), LoadAt<T>(ASrc, i + j));
        std::memcpy(ASrcDst + i * static_cast<ptrdiff_t>(sizeof(T)), block, sizeof block);
    }
    for (; i < ACount; ++i)
        StoreAt<T>(ASrcDst, i, AFn(LoadAt<T>(ASrcDst, i), LoadAt<T>(ASrc, i)));
}

// One channel of stereo frames (a region one element wide whose steps are two elements) is
// walked with masked vector loads and stores at the AVX-512 levels, so that the other
// channel's bytes are neither read nor written. Elsewhere a column is walked element by
// element.
template <TKernelLevel ALevel, class TSrc, class TDst>
inline bool IsStereoColumn(const TRegion& ARegion) {
    return ALevel >= klAvx512 && ARegion.SrcStep == 2 * static_cast<ptrdiff_t>(sizeof(TSrc)) &&
           ARegion.DstStep == 2 * static_cast<ptrdiff_t>(sizeof(TDst)) && ARegion.Height >= KBlock;
}

// Which lanes of a block belong to the channel; a constant pattern lets the compiler load the
// store mask instead of computing it.
template <class T> struct TEvenLanes {
    static constexpr auto Mask = [] {
        std::array<T, KBlock> lanes{};
        for (ptrdiff_t j = 0; j < KBlock; j += 2)
            lanes[j] = 1;
        return lanes;
    }();
};

// The even elements of the run from the first frame's element to the last one's, which holds
// 2 * frames - 1 elements; whole blocks in masked vectors, then the rest one by one.
template <class TSrc, class TDst, class TFn>
inline void MapStereoColumn(const char* ASrc, char* ADst, ptrdiff_t AFrames, const TFn& AFn) {
    const ptrdiff_t span = 2 * AFrames - 1;
    ptrdiff_t i = 0;
    for (; i + KBlock <= span; i += KBlock)
        for (ptrdiff_t j = 0; j < KBlock; ++j)
            if (TEvenLanes<TDst>::Mask[j] != 0)
                StoreAt<TDst>(ADst, i + j, AFn(LoadAt<TSrc>(ASrc, i + j)));
    for (; i < span; i += 2)
        StoreAt<TDst>(ADst, i, AFn(LoadAt<TSrc>(ASrc, i)));
}

template <class T, class TFn>
inline void CombineStereoColumn(const char* ASrc, char* ASrcDst, ptrdiff_t AFrames,
                                const TFn& AFn) {
    const ptrdiff_t span = 2 * AFrames - 1;
    ptrdiff_t i = 0;
    for (; i + KBlock <= span; i += KBlock)
        for (ptrdiff_t j = 0; j < KBlock; ++j)
            if (TEvenLanes<T>::Mask[j] != 0)
                StoreAt<T>(ASrcDst, i + j, AFn(LoadAt<T>(ASrcDst, i + j), LoadAt<T>(ASrc, i + j)));
    for (; i < span; i += 2)
        StoreAt<T>(ASrcDst, i, AFn(LoadAt<T>(ASrcDst, i), LoadAt<T>(ASrc, i)));
}

template <TKernelLevel ALevel, class TSrc, class TDst, class TFn>
inline void MapColumn(const void* ASrc, void* ADst, const TRegion& ARegion, const TFn& AFn) {
    if (IsStereoColumn<ALevel, TSrc, TDst>(ARegion))
        return MapStereoColumn<TSrc, TDst>(static_cast<const char*>(ASrc), static_cast<char*>(ADst),
                                           ARegion.Height, AFn);
    for (ptrdiff_t row = 0; row < ARegion.Height; ++row)
        StoreAt<TDst>(ARegion.DstRow(ADst, row), 0,
                      AFn(LoadAt<TSrc>(ARegion.SrcRow(ASrc, row), 0)));
}

// A functor that ignores its element, for filling a stereo column (the compiler drops the
// loads).
template <class T> struct TConstantOf {
    T Value;
    T operator()(T) const { return Value; }
};

// The identity, for copying.
template <class T> struct TSameAs {
    T operator()(T AX) const { return AX; }
};

// Every walker runs at the active instruction-set level.

// Every destination element = AFn(its source element).
template <class TSrc, class TDst, class TFn>
void MapRegion(const void* ASrc, void* ADst, const TRegion& ARegion, const TFn& AFn) {
    RunAtKernelLevel([&]<TKernelLevel ALevel>() {
        if (ARegion.Width == 1)
            return MapColumn<ALevel, TSrc, TDst>(ASrc, ADst, ARegion, AFn);
        for (ptrdiff_t row = 0; row < ARegion.Height; ++row)
            MapRow<TSrc, TDst>(ARegion.SrcRow(ASrc, row), ARegion.DstRow(ADst, row), ARegion.Width,
                               AFn);
    });
}

// Every destination element = AFn(itself, its source element); source steps by SrcStep, the
// destination by DstStep.
template <class T, class TFn>
void CombineRegion(const void* ASrc, void* ASrcDst, const TRegion& ARegion, const TFn& AFn) {
    RunAtKernelLevel([&]<TKernelLevel ALevel>() {
        if (ARegion.Width == 1) {
            if (IsStereoColumn<ALevel, T, T>(ARegion))
                return CombineStereoColumn<T>(static_cast<const char*>(ASrc),
                                              static_cast<char*>(ASrcDst), ARegion.Height, AFn);
            for (ptrdiff_t row = 0; row < ARegion.Height; ++row) {
                char* target = ARegion.DstRow(ASrcDst, row);
                StoreAt<T>(target, 0,
                           AFn(LoadAt<T>(target, 0), LoadAt<T>(ARegion.SrcRow(ASrc, row), 0)));
            }
            return;
        }
        for (ptrdiff_t row = 0; row < ARegion.Height; ++row)
            CombineRow<T>(ARegion.SrcRow(ASrc, row), ARegion.DstRow(ASrcDst, row), ARegion.Width,
                          AFn);
    });
}

// Every destination element = AValue.
template <class T> void FillRegion(void* ADst, const TRegion& ARegion, T AValue) {
    RunAtKernelLevel([&]<TKernelLevel ALevel>() {
        if (ARegion.Width == 1) {
            TRegion column = ARegion;
            column.SrcStep = column.DstStep;
            if (IsStereoColumn<ALevel, T, T>(column))
                return MapStereoColumn<T, T>(static_cast<const char*>(ADst),
                                             static_cast<char*>(ADst), column.Height,
                                             TConstantOf<T>{AValue});
            for (ptrdiff_t row = 0; row < column.Height; ++row)
                StoreAt<T>(column.DstRow(ADst, row), 0, AValue);
            return;
        }
        T block[KBlock];
        for (ptrdiff_t j = 0; j < KBlock; ++j)
            block[j] = AValue;
        for (ptrdiff_t row = 0; row < ARegion.Height; ++row) {
            char* target = ARegion.DstRow(ADst, row);
            ptrdiff_t i = 0;
            for (; i + KBlock <= ARegion.Width; i += KBlock)
                std::memcpy(target + i * static_cast<ptrdiff_t>(sizeof(T)), block, sizeof block);
            std::memcpy(target + i * static_cast<ptrdiff_t>(sizeof(T)), block,
                        static_cast<size_t>(ARegion.Width - i) * sizeof(T));
        }
    });
}

// Every destination element = its source element.
template <class T> void CopyRegion(const void* ASrc, void* ADst, const TRegion& ARegion) {
    if (ARegion.Width != 1) {
        for (ptrdiff_t row = 0; row < ARegion.Height; ++row)
            std::memmove(ARegion.DstRow(ADst, row), ARegion.SrcRow(ASrc, row),
                         static_cast<size_t>(ARegion.Width) * sizeof(T));
        return;
    }
    RunAtKernelLevel(
        [&]<TKernelLevel ALevel>() { MapColumn<ALevel, T, T>(ASrc, ADst, ARegion, TSameAs<T>{}); });
}

// True when any element of the region is zero.
template <class T> bool AnyZero(const void* ASrc, const TRegion& ARegion) {
    bool found = false;
    RunAtKernelLevel([&]<TKernelLevel>() {
        for (ptrdiff_t row = 0; row < ARegion.Height && !found; ++row) {
            const char* source = ARegion.SrcRow(ASrc, row);
            for (ptrdiff_t i = 0; i < ARegion.Width; ++i)
                found |= LoadAt<T>(source, i) == 0;
        }
    });
    return found;
}

} // namespace sonvera::svbasic
