// How the primitives read and write their elements: each encoding reads an element at a byte
// address into a value of its natural type (a byte, a 16- or 32-bit integer, a float) and
// writes a value back in its own width, and moves whole runs of values between a contiguous
// run and an array. Values keep their natural type so that byte arithmetic runs on byte lanes.
#pragma once

#include <cstdint>
#include <cstring>

#include "primitives/PrimitiveSimd.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera::runs {

// ---- Packed 24-bit samples -----------------------------------------------------------------

// The low 24 bits of AValue, with bit 23 forced on when AValue is negative: in-range values
// round-trip, out-of-range negatives keep their low 23 bits and stay negative.
inline uint32_t Packed24Bits(uint32_t AValue) {
    return (AValue & 0xFFFFFFu) | ((AValue >> 8) & 0x800000u);
}

// A primitive's result as a packed sample, the sign kept (see Packed24Bits).
inline void Store24(uint8_t* AData, int32_t AValue) {
    TSVSampleTraits<24>::Store(AData,
                               static_cast<int32_t>(Packed24Bits(static_cast<uint32_t>(AValue))));
}

// ---- Encodings -----------------------------------------------------------------------------

// Elements moved between a run and an array at a time: a fixed trip count lets the compiler
// vectorise the loops over it at every optimisation level.
constexpr int KBlock = 256;

template <class TSelf, class TValueType, int ASize> struct TEncoding {
    using TValue = TValueType;
    static constexpr int KSize = ASize;
    // Whether a value has exactly the bytes of an element, so that an array of values is a
    // packed run.
    static constexpr bool KNative = sizeof(TValue) == ASize;

    // Up to KBlock elements between a contiguous run and an array.
    static void LoadPacked(const uint8_t* AData, int ACount, TValue* AOut) {
        if (ACount == KBlock) {
            for (int i = 0; i < KBlock; ++i)
                AOut[i] = TSelf::Load(AData + i * KSize);
        } else {
            for (int i = 0; i < ACount; ++i)
                AOut[i] = TSelf::Load(AData + i * KSize);
        }
    }
    static void StorePacked(uint8_t* AData, int ACount, const TValue* AIn) {
        if (ACount == KBlock) {
            for (int i = 0; i < KBlock; ++i)
                TSelf::Store(AData + i * KSize, AIn[i]);
        } else {
            for (int i = 0; i < ACount; ++i)
                TSelf::Store(AData + i * KSize, AIn[i]);
        }
    }
};

// An element whose bytes are a C++ value (unsigned bytes are the biased 8-bit samples and raw
// bytes; writes keep the low bits of what they are given).
template <class T> struct TNative : TEncoding<TNative<T>, T, sizeof(T)> {
    static T Load(const uint8_t* AData) {
        T value;
        std::memcpy(&value, AData, sizeof value);
        return value;
    }
    static void Store(uint8_t* AData, T AValue) { std::memcpy(AData, &AValue, sizeof AValue); }
};

using TByte = TNative<uint8_t>;
using TSignedByte = TNative<int8_t>;
using TInt16 = TNative<int16_t>;
using TUInt16 = TNative<uint16_t>;
using TInt32 = TNative<int32_t>;
using TFloat32 = TNative<float>;

// Packed 24-bit samples, held as 32-bit values; contiguous runs go through the active level's
// pack and unpack kernels.
struct TInt24 : TEncoding<TInt24, int32_t, 3> {
    static int32_t Load(const uint8_t* AData) { return TSVSampleTraits<24>::Load(AData); }
    static void Store(uint8_t* AData, int32_t AValue) { Store24(AData, AValue); }
    static void LoadPacked(const uint8_t* AData, int ACount, int32_t* AOut) {
        ActiveSimdKernels().Unpack24(AData, AOut, ACount);
    }
    static void StorePacked(uint8_t* AData, int ACount, const int32_t* AIn) {
        ActiveSimdKernels().Pack24(AIn, AData, ACount);
    }
};

} // namespace sonvera::runs
