// The one way the primitives walk their elements: an element operation applied along one or
// two strided runs, at the active instruction-set level. A run is ACount elements AStep bytes
// apart; the portable primitives' regions are rows of such runs, the extra primitives' regions
// one run each.
//
// How a run moves depends on its shape, the result never does:
// - Contiguous runs of elements whose bytes are their values go straight through the operation
//   in short blocks, computed before they are stored (so a run may be its own source).
// - One channel of stereo frames (steps of two elements) at the AVX-512 levels goes through
//   masked vector loads and stores, which neither read nor write the other channel.
// - Otherwise the run is gathered into blocks of values (contiguous packed 24-bit runs through
//   the pack kernels, strided runs whose elements lie close together through the window
//   shuffle), the operation runs over the block, and the results are scattered back; a long run
//   of bytes maps through a byte table instead.
// - The plain element-by-element walk remains for runs no kernel moves faster, and for runs
//   whose overlap a block would reorder; it is the order every other path reproduces.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "internal/KernelLevel.h"
#include "primitives/PrimitiveBlocks.h"
#include "primitives/PrimitiveEncodings.h"
#include "primitives/PrimitiveSimd.h"

namespace sonvera::runs {

// ---- Run shapes ----------------------------------------------------------------------------

// Byte range [Low, High) covered by ACount elements of ASize bytes, AStep bytes apart.
struct TSpan {
    uintptr_t Low;
    uintptr_t High;
};

inline TSpan SpanOf(const void* AData, ptrdiff_t AStep, int64_t ACount, int ASize) {
    const uintptr_t first = reinterpret_cast<uintptr_t>(AData);
    const uintptr_t last = first + uintptr_t(AStep * (ACount - 1));
    return AStep >= 0 ? TSpan{first, last + uintptr_t(ASize)}
                      : TSpan{last, first + uintptr_t(ASize)};
}

inline bool Disjoint(TSpan A, TSpan B) {
    return A.High <= B.Low || B.High <= A.Low;
}

// A block reads its elements before writing any, which matches the element-by-element walk
// when the written elements do not overlap each other and every read run is either the
// written run itself or apart from it.
inline bool BlockSafe(const void* ASource, ptrdiff_t ASourceStep, int ASourceSize, void* ADest,
                      ptrdiff_t ADestStep, int ADestSize, int64_t ACount) {
    if (ADestStep < ADestSize && -ADestStep < ADestSize)
        return false;
    if (ASource == ADest && ASourceStep == ADestStep && ASourceSize == ADestSize)
        return true;
    return Disjoint(SpanOf(ASource, ASourceStep, ACount, ASourceSize),
                    SpanOf(ADest, ADestStep, ACount, ADestSize));
}

template <class TElem> bool IsContiguous(ptrdiff_t AStep) {
    return AStep == TElem::KSize;
}

// Elements the contiguous and stereo paths compute before storing them: a whole number of the
// widest vectors.
constexpr ptrdiff_t KLaneBlock = 64;

// Whether AOp has a block form of its own (for the block paths), and whether it is plain
// integer work on each element: such an operation costs less than the bytes it moves, and runs
// fastest on whole vectors even when half their lanes are masked off, while costlier ones
// (real arithmetic, block forms) repay gathering their elements first.
template <class TOp, class TIn, class TOut>
constexpr bool HasBlockForm = requires(const TOp& AOp, const typename TIn::TValue* AIn,
                                       typename TOut::TValue* AOut) {
    AOp.Block(AIn, AOut);
};

template <class TOp, class TIn, class TOut>
constexpr bool IsIntegerWork =
    std::is_integral_v<typename TIn::TValue>&& std::is_integral_v<typename TOut::TValue> &&
    !HasBlockForm<TOp, TIn, TOut>;

// One channel of stereo frames, long enough for whole blocks of masked vectors: a path of the
// AVX-512 levels for integer work on elements whose bytes are their values.
template <TKernelLevel ALevel, class TOp, class TIn, class TOut>
bool IsStereoChannel(ptrdiff_t ASourceStep, ptrdiff_t ADestStep, int64_t ACount) {
    if constexpr (ALevel >= klAvx512 && TIn::KNative && TOut::KNative &&
                  IsIntegerWork<TOp, TIn, TOut>)
        return ASourceStep == 2 * TIn::KSize && ADestStep == 2 * TOut::KSize &&
               ACount >= KLaneBlock;
    return false;
}

// How a run is moved in blocks of values: as a contiguous run, through the window shuffle, or
// element by element.
enum TRunAccess { raContiguous, raShuffled, raEach };

inline TRunAccess AccessOf(ptrdiff_t AStep, int ASize) {
    if (AStep == ASize)
        return raContiguous;
    return TStrideShuffle::Usable(AStep, ASize) ? raShuffled : raEach;
}

// Blocks pay when at least one run moves through a kernel.
inline bool WorthBlocks(TRunAccess ASource, TRunAccess ADest) {
    return ASource != raEach || ADest != raEach;
}

// Room past a block of values, in values.
template <class TElem> constexpr int SlackOf() {
    return KSlackBytes / int(sizeof(typename TElem::TValue));
}

// Reads blocks of a run into arrays of values, or as the elements' bytes.
template <class TElem> class TRunReader {
public:
    TRunReader(const uint8_t* AData, ptrdiff_t AStep)
        : FData(AData), FStep(AStep), FAccess(AccessOf(AStep, TElem::KSize)) {
        if (FAccess == raShuffled)
            FShuffle.emplace(AStep, TElem::KSize);
    }

    TRunAccess Access() const { return FAccess; }

    void Read(int64_t AFirst, int ACount, typename TElem::TValue* AOut) const {
        const uint8_t* data = FData + AFirst * FStep;
        if (FAccess == raContiguous) {
            TElem::LoadPacked(data, ACount, AOut);
        } else if (FAccess == raShuffled) {
            if constexpr (TElem::KNative) {
                FShuffle->Gather(data, ACount, reinterpret_cast<uint8_t*>(AOut));
            } else {
                static_assert(TElem::KSize == 3);
                FShuffle->Gather24(data, ACount, AOut);
            }
        } else {
            for (int i = 0; i < ACount; ++i)
                AOut[i] = TElem::Load(data + i * FStep);
        }
    }

    // A block of KBlock values from AFirst on: read in place when the run is contiguous and its
    // elements are aligned values, else read into ABuffer.
    const typename TElem::TValue* BlockValues(int64_t AFirst, int ACount,
                                              typename TElem::TValue* ABuffer) const {
        using TValue = typename TElem::TValue;
        const uint8_t* data = FData + AFirst * FStep;
        if constexpr (TElem::KNative) {
            if (FAccess == raContiguous && ACount == KBlock &&
                reinterpret_cast<uintptr_t>(data) % alignof(TValue) == 0)
                return reinterpret_cast<const TValue*>(data);
        }
        Read(AFirst, ACount, ABuffer);
        return ABuffer;
    }

    // The packed bytes of ACount elements: in place when the run is contiguous, else gathered
    // into ABuffer.
    const uint8_t* Bytes(int64_t AFirst, int ACount, uint8_t* ABuffer) const {
        const uint8_t* data = FData + AFirst * FStep;
        if (FAccess == raContiguous)
            return data;
        if (FAccess == raShuffled) {
            FShuffle->Gather(data, ACount, ABuffer);
        } else {
            for (int i = 0; i < ACount; ++i)
                std::memcpy(ABuffer + i * TElem::KSize, data + i * FStep, TElem::KSize);
        }
        return ABuffer;
    }

private:
    const uint8_t* FData;
    ptrdiff_t FStep;
    TRunAccess FAccess;
    std::optional<TStrideShuffle> FShuffle;
};

// Writes blocks of values, or of the elements' bytes, into a run.
template <class TElem> class TRunWriter {
public:
    TRunWriter(uint8_t* AData, ptrdiff_t AStep)
        : FData(AData), FStep(AStep), FAccess(AccessOf(AStep, TElem::KSize)) {
        if (FAccess == raShuffled)
            FShuffle.emplace(AStep, TElem::KSize);
    }

    TRunAccess Access() const { return FAccess; }

    void Write(int64_t AFirst, int ACount, const typename TElem::TValue* AIn) const {
        uint8_t* data = FData + AFirst * FStep;
        if (FAccess == raContiguous) {
            TElem::StorePacked(data, ACount, AIn);
        } else if (FAccess == raShuffled) {
            if constexpr (TElem::KNative) {
                FShuffle->Scatter(reinterpret_cast<const uint8_t*>(AIn), ACount, data);
            } else {
                static_assert(TElem::KSize == 3);
                FShuffle->Scatter24(AIn, ACount, data);
            }
        } else {
            for (int i = 0; i < ACount; ++i)
                TElem::Store(data + i * FStep, AIn[i]);
        }
    }

    // Where the packed bytes of elements from AFirst on are to be put: the run itself when it
    // is contiguous, else ABuffer, which Commit then spreads over the run.
    uint8_t* Target(int64_t AFirst, uint8_t* ABuffer) const {
        return FAccess == raContiguous ? FData + AFirst * FStep : ABuffer;
    }
    void Commit(int64_t AFirst, int ACount, const uint8_t* ABuffer) const {
        uint8_t* data = FData + AFirst * FStep;
        if (FAccess == raShuffled) {
            FShuffle->Scatter(ABuffer, ACount, data);
        } else if (FAccess == raEach) {
            for (int i = 0; i < ACount; ++i)
                std::memcpy(data + i * FStep, ABuffer + i * TElem::KSize, TElem::KSize);
        }
    }

private:
    uint8_t* FData;
    ptrdiff_t FStep;
    TRunAccess FAccess;
    std::optional<TStrideShuffle> FShuffle;
};

// A function object that ignores its element.
template <class T> struct TConstantOf {
    T Value;
    T operator()(T) const { return Value; }
};

// The identity.
template <class T> struct TSameAs {
    T operator()(T AX) const { return AX; }
};

// ---- dest[k] = AOp(source[k]) --------------------------------------------------------------

// The reference order, and the fastest way for runs that no kernel moves.
template <class TIn, class TOut, class TOp>
void MapEach(const uint8_t* ASource, ptrdiff_t ASourceStep, uint8_t* ADest, ptrdiff_t ADestStep,
             int64_t ACount, TOp AOp) {
    for (int64_t k = 0; k < ACount; ++k) {
        const auto value = AOp(TIn::Load(ASource + k * ASourceStep));
        TOut::Store(ADest + k * ADestStep, static_cast<typename TOut::TValue>(value));
    }
}

// Contiguous runs of native elements, one element after the other straight from source to
// destination: the walker lets a run through here only when it is its own source or lies apart
// from it, so the loops need neither a working block nor a run-time overlap check to vectorise.
template <class TIn, class TOut, class TOp>
void MapApart(const uint8_t* __restrict ASource, uint8_t* __restrict ADest, int64_t ACount,
              TOp AOp) {
    for (int64_t i = 0; i < ACount; ++i)
        TOut::Store(ADest + i * TOut::KSize,
                    static_cast<typename TOut::TValue>(AOp(TIn::Load(ASource + i * TIn::KSize))));
}

template <class TElem, class TOp> void MapInPlace(uint8_t* AData, int64_t ACount, TOp AOp) {
    for (int64_t i = 0; i < ACount; ++i)
        TElem::Store(AData + i * TElem::KSize, static_cast<typename TElem::TValue>(
                                                   AOp(TElem::Load(AData + i * TElem::KSize))));
}

template <class TIn, class TOut, class TOp>
void MapContiguous(const uint8_t* ASource, uint8_t* ADest, int64_t ACount, TOp AOp) {
    if constexpr (std::is_same_v<TIn, TOut>)
        if (ASource == ADest)
            return MapInPlace<TOut>(ADest, ACount, AOp);
    MapApart<TIn, TOut>(ASource, ADest, ACount, AOp);
}

// Which lanes of a block of a stereo run belong to the channel; a constant pattern lets the
// compiler load the store mask instead of computing it.
template <class T> struct TEvenLanes {
    static constexpr auto Mask = [] {
        std::array<T, KLaneBlock> lanes{};
        for (ptrdiff_t j = 0; j < KLaneBlock; j += 2)
            lanes[j] = 1;
        return lanes;
    }();
};

// The even elements of the run from the first frame's element to the last one's, which holds
// 2 * frames - 1 elements: whole blocks in masked vectors, then the rest one by one.
template <class TIn, class TOut, class TOp>
void MapStereo(const uint8_t* ASource, uint8_t* ADest, int64_t AFrames, TOp AOp) {
    using TValue = typename TOut::TValue;
    const int64_t span = 2 * AFrames - 1;
    int64_t i = 0;
    for (; i + KLaneBlock <= span; i += KLaneBlock)
        for (ptrdiff_t j = 0; j < KLaneBlock; ++j)
            if (TEvenLanes<TValue>::Mask[j] != 0)
                TOut::Store(ADest + (i + j) * TOut::KSize,
                            static_cast<TValue>(AOp(TIn::Load(ASource + (i + j) * TIn::KSize))));
    MapEach<TIn, TOut>(ASource + i * TIn::KSize, 2 * TIn::KSize, ADest + i * TOut::KSize,
                       2 * TOut::KSize, (span - i + 1) / 2, AOp);
}

template <class TIn, class TOut, class TOp>
void MapBlocks(const TRunReader<TIn>& ASource, const TRunWriter<TOut>& ADest, int64_t ACount,
               TOp AOp) {
    typename TIn::TValue in[KBlock + SlackOf<TIn>()] = {};
    typename TOut::TValue out[KBlock + SlackOf<TOut>()];
    for (int64_t k = 0; k < ACount; k += KBlock) {
        const int count = int(std::min<int64_t>(KBlock, ACount - k));
        // The results go through out even in place: a block that wrote over its own source
        // would need the compiler's overlap check, which falls back to scalar code.
        ApplyBlock(AOp, ASource.BlockValues(k, count, in), out);
        ADest.Write(k, count, out);
    }
}

// Runs long enough to repay building a byte table (256 evaluations of the operation).
constexpr int64_t KByteTableMinimum = 2048;

template <class TIn, class TOut, class TOp> TByteTable ByteTableOf(const TOp& AOp) {
    uint8_t entries[256 * TOut::KSize];
    for (int b = 0; b < 256; ++b) {
        const uint8_t byte = uint8_t(b);
        const auto value = AOp(TIn::Load(&byte));
        TOut::Store(entries + b * TOut::KSize, static_cast<typename TOut::TValue>(value));
    }
    return TByteTable(entries, TOut::KSize);
}

// The table of an operation that carries no value is the same on every call, so it is built
// once (a reference to it comes back); an operation with a constant gets its own table per call.
// Only integer results are kept: a float result could depend on the rounding mode in force. A
// kept table keeps the kernels of the level it was built at, the only level that uses tables.
template <class TIn, class TOut, class TOp> decltype(auto) TableFor(const TOp& AOp) {
    if constexpr (std::is_empty_v<TOp> && std::is_default_constructible_v<TOp> &&
                  std::is_integral_v<typename TOut::TValue>) {
        static const TByteTable table = ByteTableOf<TIn, TOut>(TOp{});
        return (table);
    } else {
        return ByteTableOf<TIn, TOut>(AOp);
    }
}

template <class TIn, class TOut>
void MapThroughTable(const TRunReader<TIn>& ASource, const TRunWriter<TOut>& ADest, int64_t ACount,
                     const TByteTable& ATable) {
    constexpr int KRun = 1024;
    uint8_t in[KRun + KSlackBytes];
    uint8_t out[KRun * TOut::KSize + KSlackBytes];
    for (int64_t k = 0; k < ACount; k += KRun) {
        const int count = int(std::min<int64_t>(KRun, ACount - k));
        uint8_t* target = ADest.Target(k, out);
        ATable.Map(ASource.Bytes(k, count, in), count, target);
        ADest.Commit(k, count, target);
    }
}

// What Map and Combine share: nothing for an empty run, the element-by-element walk AEach when
// a block would reorder overlapping elements, else APaths at the active level. Both bodies take
// the run's bytes (source, destination) and are inlined into the level's compiled function.
template <class TIn, class TOut, class TEach, class TPaths>
void Walk(const void* ASource, ptrdiff_t ASourceStep, void* ADest, ptrdiff_t ADestStep,
          int64_t ACount, TEach AEach, TPaths APaths) {
    if (ACount < 1)
        return;
    const auto* source = static_cast<const uint8_t*>(ASource);
    auto* dest = static_cast<uint8_t*>(ADest);
    const bool blockSafe =
        BlockSafe(source, ASourceStep, TIn::KSize, dest, ADestStep, TOut::KSize, ACount);
    RunAtKernelLevel([=]<TKernelLevel ALevel>() {
        if (!blockSafe)
            return AEach(source, dest);
        APaths.template operator()<ALevel>(source, dest);
    });
}

template <class TIn, class TOut, class TOp>
void Map(const void* ASource, ptrdiff_t ASourceStep, void* ADest, ptrdiff_t ADestStep,
         int64_t ACount, const TOp& AOp) {
    const auto each = [=](const uint8_t* source, uint8_t* dest) {
        MapEach<TIn, TOut>(source, ASourceStep, dest, ADestStep, ACount, AOp);
    };
    Walk<TIn, TOut>(
        ASource, ASourceStep, ADest, ADestStep, ACount, each,
        [=]<TKernelLevel ALevel>(const uint8_t* source, uint8_t* dest) {
            if (IsStereoChannel<ALevel, TOp, TIn, TOut>(ASourceStep, ADestStep, ACount))
                return MapStereo<TIn, TOut>(source, dest, ACount, AOp);
            // A table makes any operation on bytes a few look-ups, however much it computes.
            if constexpr (TIn::KSize == 1 && !std::is_same_v<TOp, TSameAs<typename TIn::TValue>>)
                if (ACount >= KByteTableMinimum && TByteTable::Usable())
                    return MapThroughTable(TRunReader<TIn>(source, ASourceStep),
                                           TRunWriter<TOut>(dest, ADestStep), ACount,
                                           TableFor<TIn, TOut>(AOp));
            if constexpr (TIn::KNative && TOut::KNative && !HasBlockForm<TOp, TIn, TOut>)
                if (IsContiguous<TIn>(ASourceStep) && IsContiguous<TOut>(ADestStep))
                    return MapContiguous<TIn, TOut>(source, dest, ACount, AOp);
            const TRunReader<TIn> reader(source, ASourceStep);
            const TRunWriter<TOut> writer(dest, ADestStep);
            if (WorthBlocks(reader.Access(), writer.Access()))
                return MapBlocks<TIn, TOut>(reader, writer, ACount, AOp);
            each(source, dest);
        });
}

// ---- dest[k] = AOp(dest[k], source[k]) -----------------------------------------------------

template <class TElem, class TOp>
void CombineEach(const uint8_t* ASource, ptrdiff_t ASourceStep, uint8_t* ADest, ptrdiff_t ADestStep,
                 int64_t ACount, TOp AOp) {
    for (int64_t k = 0; k < ACount; ++k) {
        uint8_t* element = ADest + k * ADestStep;
        const auto value = AOp(TElem::Load(element), TElem::Load(ASource + k * ASourceStep));
        TElem::Store(element, static_cast<typename TElem::TValue>(value));
    }
}

template <class TElem, class TOp>
void CombineContiguous(const uint8_t* ASource, uint8_t* ADest, int64_t ACount, TOp AOp) {
    using TValue = typename TElem::TValue;
    constexpr int KSize = TElem::KSize;
    int64_t i = 0;
    for (; i + KLaneBlock <= ACount; i += KLaneBlock) {
        TValue block[KLaneBlock];
        for (ptrdiff_t j = 0; j < KLaneBlock; ++j)
            block[j] = static_cast<TValue>(
                AOp(TElem::Load(ADest + (i + j) * KSize), TElem::Load(ASource + (i + j) * KSize)));
        std::memcpy(ADest + i * KSize, block, sizeof block);
    }
    CombineEach<TElem>(ASource + i * KSize, KSize, ADest + i * KSize, KSize, ACount - i, AOp);
}

template <class TElem, class TOp>
void CombineStereo(const uint8_t* ASource, uint8_t* ADest, int64_t AFrames, TOp AOp) {
    using TValue = typename TElem::TValue;
    constexpr int KSize = TElem::KSize;
    const int64_t span = 2 * AFrames - 1;
    int64_t i = 0;
    for (; i + KLaneBlock <= span; i += KLaneBlock)
        for (ptrdiff_t j = 0; j < KLaneBlock; ++j)
            if (TEvenLanes<TValue>::Mask[j] != 0)
                TElem::Store(ADest + (i + j) * KSize,
                             static_cast<TValue>(AOp(TElem::Load(ADest + (i + j) * KSize),
                                                     TElem::Load(ASource + (i + j) * KSize))));
    CombineEach<TElem>(ASource + i * KSize, 2 * KSize, ADest + i * KSize, 2 * KSize,
                       (span - i + 1) / 2, AOp);
}

template <class TElem, class TOp>
void CombineBlocks(const TRunReader<TElem>& ASource, const TRunReader<TElem>& ADestIn,
                   const TRunWriter<TElem>& ADest, int64_t ACount, TOp AOp) {
    typename TElem::TValue source[KBlock + SlackOf<TElem>()] = {};
    typename TElem::TValue dest[KBlock + SlackOf<TElem>()] = {};
    typename TElem::TValue out[KBlock + SlackOf<TElem>()];
    for (int64_t k = 0; k < ACount; k += KBlock) {
        const int count = int(std::min<int64_t>(KBlock, ACount - k));
        ASource.Read(k, count, source);
        ADestIn.Read(k, count, dest);
        ApplyBlock2(AOp, dest, source, out);
        ADest.Write(k, count, out);
    }
}

template <class TElem, class TOp>
void Combine(const void* ASource, ptrdiff_t ASourceStep, void* ADest, ptrdiff_t ADestStep,
             int64_t ACount, const TOp& AOp) {
    const auto each = [=](const uint8_t* source, uint8_t* dest) {
        CombineEach<TElem>(source, ASourceStep, dest, ADestStep, ACount, AOp);
    };
    Walk<TElem, TElem>(
        ASource, ASourceStep, ADest, ADestStep, ACount, each,
        [=]<TKernelLevel ALevel>(const uint8_t* source, uint8_t* dest) {
            if (IsStereoChannel<ALevel, TOp, TElem, TElem>(ASourceStep, ADestStep, ACount))
                return CombineStereo<TElem>(source, dest, ACount, AOp);
            if constexpr (TElem::KNative)
                if (IsContiguous<TElem>(ASourceStep) && IsContiguous<TElem>(ADestStep))
                    return CombineContiguous<TElem>(source, dest, ACount, AOp);
            const TRunReader<TElem> sourceReader(source, ASourceStep);
            const TRunWriter<TElem> writer(dest, ADestStep);
            if (!WorthBlocks(sourceReader.Access(), writer.Access()))
                return each(source, dest);
            CombineBlocks<TElem>(sourceReader, TRunReader<TElem>(dest, ADestStep), writer, ACount,
                                 AOp);
        });
}

// ---- dest[k] = AValue, dest[k] = source[k], any source[k] zero -----------------------------

// Every element set to AValue by its encoding's store. Elements that overlap each other (a
// step below their size) are written in order.
template <class TElem>
void Fill(void* ADest, ptrdiff_t AStep, int64_t ACount, typename TElem::TValue AValue) {
    if (ACount < 1)
        return;
    auto* dest = static_cast<uint8_t*>(ADest);
    RunAtKernelLevel([=]<TKernelLevel ALevel>() {
        using TValue = typename TElem::TValue;
        const TConstantOf<TValue> constant{AValue};
        if (AStep < TElem::KSize && -AStep < TElem::KSize)
            return MapEach<TElem, TElem>(dest, AStep, dest, AStep, ACount, constant);
        if (IsStereoChannel<ALevel, TConstantOf<TValue>, TElem, TElem>(AStep, AStep, ACount))
            return MapStereo<TElem, TElem>(dest, dest, ACount, constant);
        // A block of ready-made elements: copied for a contiguous run, spread by the writer
        // otherwise.
        std::array<TValue, KBlock + SlackOf<TElem>()> values;
        values.fill(AValue);
        if (IsContiguous<TElem>(AStep)) {
            std::array<uint8_t, KBlock * TElem::KSize> pattern;
            TElem::StorePacked(pattern.data(), KBlock, values.data());
            int64_t k = 0;
            for (; k + KBlock <= ACount; k += KBlock)
                std::memcpy(dest + k * TElem::KSize, pattern.data(), pattern.size());
            std::memcpy(dest + k * TElem::KSize, pattern.data(),
                        size_t((ACount - k) * TElem::KSize));
            return;
        }
        const TRunWriter<TElem> writer(dest, AStep);
        if (writer.Access() == raEach)
            return MapEach<TElem, TElem>(dest, AStep, dest, AStep, ACount, constant);
        for (int64_t k = 0; k < ACount; k += KBlock)
            writer.Write(k, int(std::min<int64_t>(KBlock, ACount - k)), values.data());
    });
}

// Every element copied. Contiguous runs move as bytes, overlapping ones as if through a
// temporary; other runs in the element order of Map.
template <class TElem>
void Copy(const void* ASource, ptrdiff_t ASourceStep, void* ADest, ptrdiff_t ADestStep,
          int64_t ACount) {
    if (ACount > 0 && IsContiguous<TElem>(ASourceStep) && IsContiguous<TElem>(ADestStep)) {
        std::memmove(ADest, ASource, size_t(ACount * TElem::KSize));
        return;
    }
    Map<TElem, TElem>(ASource, ASourceStep, ADest, ADestStep, ACount,
                      TSameAs<typename TElem::TValue>{});
}

template <class TElem> bool AnyZero(const void* ASource, ptrdiff_t AStep, int64_t ACount) {
    const auto* source = static_cast<const uint8_t*>(ASource);
    return RunAtKernelLevel([=]<TKernelLevel>() {
        bool found = false;
        for (int64_t k = 0; k < ACount; ++k)
            found |= TElem::Load(source + k * AStep) == 0;
        return found;
    });
}

// The element count of a region: its width times its height, in 64 bits.
inline int64_t CountOf(int32_t AWidth, int32_t AHeight) {
    return int64_t(AWidth) * AHeight;
}

} // namespace sonvera::runs
