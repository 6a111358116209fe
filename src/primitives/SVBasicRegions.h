// The regions of the dispatch table's portable primitives: cy rows of cx elements, row r
// starting r * step bytes after the base pointer, walked as runs by the primitives' one run
// walker. Rows whose steps equal their length in bytes are one long run, and a region one
// element wide is one strided run, so that neither pays a per-row cost.
#pragma once

#include <cstddef>
#include <cstdint>

#include "primitives/PrimitiveWalkers.h"
#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera::svbasic {

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
    bool IsColumn() const { return Width == 1; }
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

// Calls ARun(source, sourceStep, dest, destStep, count) for each run of the region: the
// column, or each row.
template <class TSrc, class TDst, class TRun>
void ForEachRun(const void* ASrc, void* ADst, const TRegion& ARegion, TRun ARun) {
    if (ARegion.IsColumn())
        return ARun(ASrc, ARegion.SrcStep, ADst, ARegion.DstStep, ARegion.Height);
    for (ptrdiff_t row = 0; row < ARegion.Height; ++row)
        ARun(ARegion.SrcRow(ASrc, row), ptrdiff_t(sizeof(TSrc)), ARegion.DstRow(ADst, row),
             ptrdiff_t(sizeof(TDst)), ARegion.Width);
}

// Every destination element = AFn(its source element).
template <class TSrc, class TDst, class TFn>
void MapRegion(const void* ASrc, void* ADst, const TRegion& ARegion, const TFn& AFn) {
    ForEachRun<TSrc, TDst>(
        ASrc, ADst, ARegion, [&](const void* S, ptrdiff_t SS, void* D, ptrdiff_t DS, int64_t N) {
            runs::Map<runs::TNative<TSrc>, runs::TNative<TDst>>(S, SS, D, DS, N, AFn);
        });
}

// Every destination element = AFn(itself, its source element).
template <class T, class TFn>
void CombineRegion(const void* ASrc, void* ASrcDst, const TRegion& ARegion, const TFn& AFn) {
    ForEachRun<T, T>(ASrc, ASrcDst, ARegion,
                     [&](const void* S, ptrdiff_t SS, void* D, ptrdiff_t DS, int64_t N) {
                         runs::Combine<runs::TNative<T>>(S, SS, D, DS, N, AFn);
                     });
}

// Every destination element = AValue.
template <class T> void FillRegion(void* ADst, const TRegion& ARegion, T AValue) {
    ForEachRun<T, T>(ADst, ADst, ARegion,
                     [&](const void*, ptrdiff_t, void* D, ptrdiff_t DS, int64_t N) {
                         runs::Fill<runs::TNative<T>>(D, DS, N, AValue);
                     });
}

// Every destination element = its source element.
template <class T> void CopyRegion(const void* ASrc, void* ADst, const TRegion& ARegion) {
    ForEachRun<T, T>(ASrc, ADst, ARegion,
                     [&](const void* S, ptrdiff_t SS, void* D, ptrdiff_t DS, int64_t N) {
                         runs::Copy<runs::TNative<T>>(S, SS, D, DS, N);
                     });
}

// True when any element of the region is zero.
template <class T> bool AnyZero(const void* ASrc, const TRegion& ARegion) {
    if (ARegion.IsColumn())
        return runs::AnyZero<runs::TNative<T>>(ASrc, ARegion.SrcStep, ARegion.Height);
    for (ptrdiff_t row = 0; row < ARegion.Height; ++row)
        if (runs::AnyZero<runs::TNative<T>>(ARegion.SrcRow(ASrc, row), ptrdiff_t(sizeof(T)),
                                            ARegion.Width))
            return true;
    return false;
}

} // namespace sonvera::svbasic
