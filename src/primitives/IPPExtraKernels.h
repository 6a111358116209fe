// The engine behind the extra primitives: element encodings, the exact element arithmetic they
// share, and the loops that walk strided runs.
//
// Every primitive is one element operation applied along one or two strided runs. A run is
// processed in blocks of kBlock elements: the block is gathered into a local array of 32-bit
// values, the operation runs over the whole array in a loop of fixed length that the compiler
// vectorises, and the results are scattered back. Contiguous packed 24-bit runs move through
// byte-shuffle kernels; strided runs whose elements lie close together move through 64-byte
// windows with byte permutes and byte-masked stores, which never write the bytes between the
// elements. The element operation is the same C++ expression on every path, so a block gives
// exactly the result of the plain element-by-element walk; that walk is kept for runs no
// kernel moves faster and for runs whose overlap a block would reorder.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <type_traits>

#include "internal/KernelLevel.h"
#include "primitives/IPPExtraSimd.h"

namespace sonvera::extra {

constexpr int kBlock = 256;

// ---- Packed 24-bit samples -----------------------------------------------------------------

// Three little-endian bytes, sign-extended from bit 23 (read as one 16-bit and one 8-bit load).
inline int32_t Load24(const uint8_t* AData) {
    uint16_t low;
    std::memcpy(&low, AData, sizeof low);
    const uint32_t raw = uint32_t(low) << 8 | uint32_t(AData[2]) << 24;
    return static_cast<int32_t>(raw) >> 8;
}

// The low 24 bits of AValue, with bit 23 forced on when AValue is negative: in-range values
// round-trip, out-of-range negatives keep their low 23 bits and stay negative.
inline uint32_t Packed24Bits(uint32_t AValue) {
    return (AValue & 0xFFFFFFu) | ((AValue >> 8) & 0x800000u);
}

inline void Store24(uint8_t* AData, int32_t AValue) {
    const uint32_t bits = Packed24Bits(static_cast<uint32_t>(AValue));
    const uint16_t low = uint16_t(bits);
    std::memcpy(AData, &low, sizeof low);
    AData[2] = uint8_t(bits >> 16);
}

// ---- Element encodings ---------------------------------------------------------------------

// Each encoding reads an element at a byte address into a value of its natural type (a byte,
// a 16-bit or 32-bit integer, a float) and writes a value back in its own width; blocks hold
// values of that type, so that byte arithmetic runs on byte lanes. LoadPacked/StorePacked move
// up to kBlock elements between a contiguous run and an array.
template <class TSelf, class TValueType, int ASize> struct TEncoding {
    using TValue = TValueType;
    static constexpr int kSize = ASize;
    // Whether an array of values has the bytes of a packed run.
    static constexpr bool kValueIsPacked = sizeof(TValue) == ASize;

    static void LoadPacked(const uint8_t* AData, int ACount, TValue* AOut) {
        if (ACount == kBlock) {
            for (int i = 0; i < kBlock; ++i)
                AOut[i] = TSelf::Load(AData + i * kSize);
        } else {
            for (int i = 0; i < ACount; ++i)
                AOut[i] = TSelf::Load(AData + i * kSize);
        }
    }
    static void StorePacked(uint8_t* AData, int ACount, const TValue* AIn) {
        if (ACount == kBlock) {
            for (int i = 0; i < kBlock; ++i)
                TSelf::Store(AData + i * kSize, AIn[i]);
        } else {
            for (int i = 0; i < ACount; ++i)
                TSelf::Store(AData + i * kSize, AIn[i]);
        }
    }
};

// One unsigned byte (the biased 8-bit samples, and raw bytes); writes keep the low 8 bits.
struct TByte : TEncoding<TByte, uint8_t, 1> {
    static uint8_t Load(const uint8_t* AData) { return *AData; }
    static void Store(uint8_t* AData, uint8_t AValue) { *AData = AValue; }
};

// One two's-complement byte.
struct TSignedByte : TEncoding<TSignedByte, int8_t, 1> {
    static int8_t Load(const uint8_t* AData) { return static_cast<int8_t>(*AData); }
};

struct TInt16 : TEncoding<TInt16, int16_t, 2> {
    static int16_t Load(const uint8_t* AData) {
        int16_t value;
        std::memcpy(&value, AData, sizeof value);
        return value;
    }
    static void Store(uint8_t* AData, int16_t AValue) {
        std::memcpy(AData, &AValue, sizeof AValue);
    }
};

struct TInt24 : TEncoding<TInt24, int32_t, 3> {
    static int32_t Load(const uint8_t* AData) { return Load24(AData); }
    static void Store(uint8_t* AData, int32_t AValue) { Store24(AData, AValue); }
    static void LoadPacked(const uint8_t* AData, int ACount, int32_t* AOut) {
        ActiveSimdKernels().Unpack24(AData, AOut, ACount);
    }
    static void StorePacked(uint8_t* AData, int ACount, const int32_t* AIn) {
        ActiveSimdKernels().Pack24(AIn, AData, ACount);
    }
};

struct TInt32 : TEncoding<TInt32, int32_t, 4> {
    static int32_t Load(const uint8_t* AData) {
        int32_t value;
        std::memcpy(&value, AData, sizeof value);
        return value;
    }
    static void Store(uint8_t* AData, int32_t AValue) {
        std::memcpy(AData, &AValue, sizeof AValue);
    }
};

struct TFloat32 : TEncoding<TFloat32, float, 4> {
    static float Load(const uint8_t* AData) {
        float value;
        std::memcpy(&value, AData, sizeof value);
        return value;
    }
    static void Store(uint8_t* AData, float AValue) { std::memcpy(AData, &AValue, sizeof AValue); }
};

// ---- Exact element arithmetic --------------------------------------------------------------

// Results wrap: arithmetic runs on the unsigned 32-bit patterns and converts back.
inline int32_t Wrap(uint32_t AValue) {
    return static_cast<int32_t>(AValue);
}
// (Function objects rather than functions, so that a walker inlines them into its loops.)
inline constexpr auto WrapAdd = [](int32_t A, int32_t B) {
    return Wrap(uint32_t(A) + uint32_t(B));
};
inline constexpr auto WrapSub = [](int32_t A, int32_t B) {
    return Wrap(uint32_t(A) - uint32_t(B));
};
inline constexpr auto WrapMul = [](int32_t A, int32_t B) {
    return Wrap(uint32_t(A) * uint32_t(B));
};

// A quotient truncated toward zero. Double division is exact here: both operands convert
// exactly, a non-integer quotient a/b lies at least 1/|b| from every integer while the
// division's rounding error is below |a/b| * 2^-53 <= 2^-22 / |b|. It vectorises, where the
// integer division does not. The caller keeps ADivisor nonzero and the quotient in range.
inline int32_t TruncDiv(int32_t ADividend, int32_t ADivisor) {
    return static_cast<int32_t>(double(ADividend) / double(ADivisor));
}

// The 32-bit quotient with the two inputs that have none given a value: a zero divisor gives 0
// and -2^31 / -1 wraps to -2^31. The special cases are folded in with masks rather than
// conditions: a condition around the division would keep the compiler from vectorising it.
inline constexpr auto WrapDiv = [](int32_t ADividend, int32_t ADivisor) {
    const int32_t zero = -int32_t(ADivisor == 0);
    const int32_t overflow = -int32_t(ADivisor == -1 && ADividend == INT32_MIN);
    const int32_t quotient = TruncDiv(ADividend & ~overflow, ADivisor | (zero & 1));
    return (quotient & ~zero) | (overflow & INT32_MIN);
};

// Round half to even to a 64-bit integer (the processor's default rounding mode). NaN and
// magnitudes of 2^63 and more give -2^63, the value the processor's own conversion yields,
// whose low 32 bits are 0.
inline int64_t RoundToInt64(double AValue) {
    if (!(AValue >= -9223372036854775808.0 && AValue < 9223372036854775808.0))
        return INT64_MIN;
    return static_cast<int64_t>(std::nearbyint(AValue));
}

inline int32_t RoundToLow32(double AValue) {
    return Wrap(static_cast<uint32_t>(static_cast<uint64_t>(RoundToInt64(AValue))));
}

// ---- Block operations ----------------------------------------------------------------------

// Runs AOp over a whole block; operations with a faster exact block form provide Block().
template <class TOp, class TIn, class TOut>
inline void ApplyBlock(const TOp& AOp, const TIn* AIn, TOut* AOut) {
    if constexpr (requires { AOp.Block(AIn, AOut); }) {
        AOp.Block(AIn, AOut);
    } else {
        for (int i = 0; i < kBlock; ++i)
            AOut[i] = static_cast<TOut>(AOp(AIn[i]));
    }
}

template <class TOp, class TValue, class TOut>
inline void ApplyBlock2(const TOp& AOp, const TValue* ADest, const TValue* ASource, TOut* AOut) {
    for (int i = 0; i < kBlock; ++i)
        AOut[i] = static_cast<TOut>(AOp(ADest[i], ASource[i]));
}

// Rounds a block of real values to integers, keeping the low 32 bits. Values within the
// 32-bit range take the processor's vector conversion; a block holding anything else (large
// values, infinities, NaN) is redone element by element with the exact rule.
template <class TReal> inline void RoundBlockToLow32(const TReal* AValues, int32_t* AOut) {
    constexpr TReal kLimit =
        std::is_same_v<TReal, float> ? TReal(2147483648.0) : TReal(2147483647.0);
    int outside = 0;
    for (int i = 0; i < kBlock; ++i) {
        const bool inside = std::fabs(AValues[i]) < kLimit;
        AOut[i] = static_cast<int32_t>(std::rint(inside ? AValues[i] : TReal(0)));
        outside |= !inside;
    }
    if (outside) {
        for (int i = 0; i < kBlock; ++i)
            AOut[i] = RoundToLow32(AValues[i]);
    }
}

// ---- Run walkers ---------------------------------------------------------------------------

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

// A block reads kBlock elements before writing any, which matches the element-by-element walk
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

// How a run is moved in blocks: as a contiguous run, through the stride shuffle, or element
// by element.
enum TRunAccess { raContiguous, raShuffled, raEach };

inline TRunAccess AccessOf(ptrdiff_t AStep, int ASize) {
    if (AStep == ASize)
        return raContiguous;
    return TStrideShuffle::Usable(AStep, ASize) ? raShuffled : raEach;
}

// Room past a block of values, in values.
template <class TElem> constexpr int SlackOf() {
    return kSlackBytes / int(sizeof(typename TElem::TValue));
}

// Reads blocks of a run into arrays of values, or as the elements' bytes.
template <class TElem> class TRunReader {
public:
    TRunReader(const uint8_t* AData, ptrdiff_t AStep)
        : FData(AData), FStep(AStep), FAccess(AccessOf(AStep, TElem::kSize)) {
        if (FAccess == raShuffled)
            FShuffle.emplace(AStep, TElem::kSize);
    }

    TRunAccess Access() const { return FAccess; }

    void Read(int64_t AFirst, int ACount, typename TElem::TValue* AOut) const {
        const uint8_t* data = FData + AFirst * FStep;
        if (FAccess == raContiguous) {
            TElem::LoadPacked(data, ACount, AOut);
        } else if (FAccess == raShuffled) {
            if constexpr (TElem::kValueIsPacked) {
                FShuffle->Gather(data, ACount, reinterpret_cast<uint8_t*>(AOut));
            } else {
                static_assert(TElem::kSize == 3);
                FShuffle->Gather24(data, ACount, AOut);
            }
        } else {
            for (int i = 0; i < ACount; ++i)
                AOut[i] = TElem::Load(data + i * FStep);
        }
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
                std::memcpy(ABuffer + i * TElem::kSize, data + i * FStep, TElem::kSize);
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
        : FData(AData), FStep(AStep), FAccess(AccessOf(AStep, TElem::kSize)) {
        if (FAccess == raShuffled)
            FShuffle.emplace(AStep, TElem::kSize);
    }

    TRunAccess Access() const { return FAccess; }

    void Write(int64_t AFirst, int ACount, const typename TElem::TValue* AIn) const {
        uint8_t* data = FData + AFirst * FStep;
        if (FAccess == raContiguous) {
            TElem::StorePacked(data, ACount, AIn);
        } else if (FAccess == raShuffled) {
            if constexpr (TElem::kValueIsPacked) {
                FShuffle->Scatter(reinterpret_cast<const uint8_t*>(AIn), ACount, data);
            } else {
                static_assert(TElem::kSize == 3);
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
                std::memcpy(data + i * FStep, ABuffer + i * TElem::kSize, TElem::kSize);
        }
    }

private:
    uint8_t* FData;
    ptrdiff_t FStep;
    TRunAccess FAccess;
    std::optional<TStrideShuffle> FShuffle;
};

template <class TIn, class TOut, class TOp>
void MapBlocks(const TRunReader<TIn>& ASource, const TRunWriter<TOut>& ADest, int64_t ACount,
               TOp AOp) {
    typename TIn::TValue in[kBlock + SlackOf<TIn>()] = {};
    typename TOut::TValue out[kBlock + SlackOf<TOut>()];
    for (int64_t k = 0; k < ACount; k += kBlock) {
        const int count = int(std::min<int64_t>(kBlock, ACount - k));
        ASource.Read(k, count, in);
        ApplyBlock(AOp, in, out);
        ADest.Write(k, count, out);
    }
}

// The plain walk, in one pass: the reference order, and the faster way for runs that no
// kernel moves.
template <class TIn, class TOut, class TOp>
void MapEach(const uint8_t* ASource, ptrdiff_t ASourceStep, uint8_t* ADest, ptrdiff_t ADestStep,
             int64_t ACount, TOp AOp) {
    for (int64_t k = 0; k < ACount; ++k) {
        const auto value = AOp(TIn::Load(ASource + k * ASourceStep));
        TOut::Store(ADest + k * ADestStep, static_cast<typename TOut::TValue>(value));
    }
}

// Blocks pay when at least one run moves through a kernel.
inline bool WorthBlocks(TRunAccess ASource, TRunAccess ADest) {
    return ASource != raEach || ADest != raEach;
}

// dest[k] = AOp(source[k]) for k = 0 .. ACount - 1, in that order.
// Runs long enough to repay building a byte table (256 evaluations of the operation).
constexpr int64_t kByteTableMinimum = 2048;

template <class TIn, class TOut, class TOp> TByteTable ByteTableOf(const TOp& AOp) {
    uint8_t entries[256 * TOut::kSize];
    for (int b = 0; b < 256; ++b) {
        const uint8_t byte = uint8_t(b);
        const auto value = AOp(TIn::Load(&byte));
        TOut::Store(entries + b * TOut::kSize, static_cast<typename TOut::TValue>(value));
    }
    return TByteTable(entries, TOut::kSize);
}

template <class TIn, class TOut>
void MapThroughTable(const TRunReader<TIn>& ASource, const TRunWriter<TOut>& ADest, int64_t ACount,
                     const TByteTable& ATable) {
    constexpr int kRun = 1024;
    uint8_t in[kRun + kSlackBytes];
    uint8_t out[kRun * TOut::kSize + kSlackBytes];
    for (int64_t k = 0; k < ACount; k += kRun) {
        const int count = int(std::min<int64_t>(kRun, ACount - k));
        uint8_t* target = ADest.Target(k, out);
        ATable.Map(ASource.Bytes(k, count, in), count, target);
        ADest.Commit(k, count, target);
    }
}

template <class TIn, class TOut, class TOp>
void Map(const void* ASource, ptrdiff_t ASourceStep, void* ADest, ptrdiff_t ADestStep,
         int64_t ACount, const TOp& AOp) {
    if (ACount < 1)
        return;
    const auto* source = static_cast<const uint8_t*>(ASource);
    auto* dest = static_cast<uint8_t*>(ADest);
    if (!BlockSafe(source, ASourceStep, TIn::kSize, dest, ADestStep, TOut::kSize, ACount)) {
        RunAtKernelLevel([&]<TKernelLevel>() {
            MapEach<TIn, TOut, TOp>(source, ASourceStep, dest, ADestStep, ACount, AOp);
        });
        return;
    }
    RunAtKernelLevel([&]<TKernelLevel>() {
        const TRunReader<TIn> reader(source, ASourceStep);
        const TRunWriter<TOut> writer(dest, ADestStep);
        if constexpr (TIn::kSize == 1) {
            if (ACount >= kByteTableMinimum && TByteTable::Usable()) {
                MapThroughTable(reader, writer, ACount, ByteTableOf<TIn, TOut>(AOp));
                return;
            }
        }
        if (WorthBlocks(reader.Access(), writer.Access()))
            MapBlocks<TIn, TOut, TOp>(reader, writer, ACount, AOp);
        else
            MapEach<TIn, TOut, TOp>(source, ASourceStep, dest, ADestStep, ACount, AOp);
    });
}

template <class TElem, class TOp>
void CombineBlocks(const TRunReader<TElem>& ASource, const TRunReader<TElem>& ADestIn,
                   const TRunWriter<TElem>& ADest, int64_t ACount, TOp AOp) {
    typename TElem::TValue source[kBlock + SlackOf<TElem>()] = {};
    typename TElem::TValue dest[kBlock + SlackOf<TElem>()] = {};
    typename TElem::TValue out[kBlock + SlackOf<TElem>()];
    for (int64_t k = 0; k < ACount; k += kBlock) {
        const int count = int(std::min<int64_t>(kBlock, ACount - k));
        ASource.Read(k, count, source);
        ADestIn.Read(k, count, dest);
        ApplyBlock2(AOp, dest, source, out);
        ADest.Write(k, count, out);
    }
}

template <class TElem, class TOp>
void CombineEach(const uint8_t* ASource, ptrdiff_t ASourceStep, uint8_t* ADest, ptrdiff_t ADestStep,
                 int64_t ACount, TOp AOp) {
    for (int64_t k = 0; k < ACount; ++k) {
        uint8_t* element = ADest + k * ADestStep;
        const auto value = AOp(TElem::Load(element), TElem::Load(ASource + k * ASourceStep));
        TElem::Store(element, static_cast<typename TElem::TValue>(value));
    }
}

// dest[k] = AOp(dest[k], source[k]) for k = 0 .. ACount - 1, in that order.
template <class TElem, class TOp>
void Combine(const void* ASource, ptrdiff_t ASourceStep, void* ADest, ptrdiff_t ADestStep,
             int64_t ACount, const TOp& AOp) {
    if (ACount < 1)
        return;
    const auto* source = static_cast<const uint8_t*>(ASource);
    auto* dest = static_cast<uint8_t*>(ADest);
    RunAtKernelLevel([&]<TKernelLevel>() {
        const TRunReader<TElem> sourceReader(source, ASourceStep);
        const TRunReader<TElem> destReader(dest, ADestStep);
        const TRunWriter<TElem> writer(dest, ADestStep);
        if (WorthBlocks(sourceReader.Access(), writer.Access()) &&
            BlockSafe(source, ASourceStep, TElem::kSize, dest, ADestStep, TElem::kSize, ACount))
            CombineBlocks<TElem, TOp>(sourceReader, destReader, writer, ACount, AOp);
        else
            CombineEach<TElem, TOp>(source, ASourceStep, dest, ADestStep, ACount, AOp);
    });
}

// The element count of a region: its width times its height, in 64 bits.
inline int64_t CountOf(int32_t AWidth, int32_t AHeight) {
    return int64_t(AWidth) * AHeight;
}

} // namespace sonvera::extra
