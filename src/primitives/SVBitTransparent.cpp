#include "sonvera/primitives/SVBitTransparent.h"

#include <algorithm>

#include "internal/KernelLevel.h"
#include "primitives/PrimitiveArithmetic.h"
#include "primitives/PrimitiveSimd.h"
#include "sonvera/primitives/SVSampleTraits.h"

namespace sonvera {

namespace {

// Samples as signed numbers, 8-bit ones about their midpoint 128 as files store them.
template <int ABits> int32_t Load(const uint8_t* AData) {
    return TSVSampleTraits<ABits>::LoadSigned(AData);
}

template <int ABits> void Store(uint8_t* AData, int32_t AValue) {
    TSVSampleTraits<ABits>::StoreSigned(AData, AValue);
}

// Contiguous runs without dither: a block at a time into 32-bit values (packed 24-bit samples by
// the level's unpack kernel), shifted, or rounded by (x >> n) + bit n - 1 (the carry of adding the
// half, which never overflows) and capped, then stored (24-bit ones by the level's pack kernel,
// whose store rule keeps in-range values as they are), the loops vectorised at the level.
template <int AFrom, int ATo>
void ConvertRun(const uint8_t* ASrc, uint8_t* ADst, int64_t ACount) {
    constexpr int KBlock = 256;
    const runs::TSimdKernels& kernels = runs::ActiveSimdKernels();
    // A decoded 24-bit file written at 16 bits, in one pass (into 16-bit samples in place).
    if constexpr (AFrom == 24 && ATo == 16)
        if (reinterpret_cast<uintptr_t>(ADst) % alignof(int16_t) == 0) {
            runs::InKernelPieces(ACount, [&](int64_t AFirst, int ACountOfPiece) {
                kernels.Round24To16(ASrc + 3 * AFirst, reinterpret_cast<int16_t*>(ADst) + AFirst,
                                    ACountOfPiece);
            });
            return;
        }
    alignas(64) int32_t values[KBlock];
    for (int64_t done = 0; done < ACount; done += KBlock) {
        const int count = static_cast<int>(std::min<int64_t>(KBlock, ACount - done));
        const uint8_t* source = ASrc + done * (AFrom / 8);
        uint8_t* target = ADst + done * (ATo / 8);
        int32_t* block = values;
        if constexpr (AFrom == 24)
            kernels.Unpack24(source, block, count);
        RunAtKernelLevel([=]<TKernelLevel>() {
            for (int i = 0; i < count; ++i) {
                int32_t value = AFrom == 24 ? block[i] : Load<AFrom>(source + i * (AFrom / 8));
                if constexpr (ATo >= AFrom)
                    value = static_cast<int32_t>(static_cast<uint32_t>(value) << (ATo - AFrom));
                else
                    value = std::min(runs::ShiftRounded<AFrom - ATo>(value), (1 << (ATo - 1)) - 1);
                if constexpr (ATo == 24)
                    block[i] = value;
                else
                    Store<ATo>(target + i * (ATo / 8), value);
            }
        });
        if constexpr (ATo == 24)
            kernels.Pack24(block, target, count);
    }
}

template <int AFrom, int ATo>
void Convert(const uint8_t* ASrc, int32_t ASrcStep, uint8_t* ADst, int32_t ADstStep,
             int64_t ACount, TSVDitherState* ADither) {
    if (!ADither && ASrcStep == AFrom / 8 && ADstStep == ATo / 8)
        return ConvertRun<AFrom, ATo>(ASrc, ADst, ACount);
    if constexpr (ATo >= AFrom) {
        for (int64_t i = 0; i < ACount; ++i)
            Store<ATo>(ADst + i * ADstStep,
                       static_cast<int32_t>(static_cast<uint32_t>(Load<AFrom>(ASrc + i * ASrcStep))
                                            << (ATo - AFrom)));
    } else {
        constexpr int KShift = AFrom - ATo;
        constexpr int64_t KStep = int64_t{1} << KShift;
        constexpr int64_t KLowest = -(int64_t{1} << (ATo - 1));
        constexpr int64_t KHighest = (int64_t{1} << (ATo - 1)) - 1;
        for (int64_t i = 0; i < ACount; ++i) {
            int64_t value = Load<AFrom>(ASrc + i * ASrcStep);
            if (ADither) // two uniform draws of one step each: triangular over (-step, step)
                value += int64_t{runs::NextNoise(ADither->Seed) & (KStep - 1)} +
                         int64_t{runs::NextNoise(ADither->Seed) & (KStep - 1)} - (KStep - 1);
            const int64_t rounded = (value + KStep / 2) >> KShift;
            Store<ATo>(ADst + i * ADstStep,
                       static_cast<int32_t>(std::clamp(rounded, KLowest, KHighest)));
        }
    }
}

using TConvert = void (*)(const uint8_t*, int32_t, uint8_t*, int32_t, int64_t, TSVDitherState*);

template <int AFrom> TConvert ConvertTo(int32_t ATo) {
    switch (ATo) {
    case 8: return Convert<AFrom, 8>;
    case 16: return Convert<AFrom, 16>;
    case 24: return Convert<AFrom, 24>;
    case 32: return Convert<AFrom, 32>;
    default: return nullptr;
    }
}

TConvert ConvertOf(int32_t AFrom, int32_t ATo) {
    switch (AFrom) {
    case 8: return ConvertTo<8>(ATo);
    case 16: return ConvertTo<16>(ATo);
    case 24: return ConvertTo<24>(ATo);
    case 32: return ConvertTo<32>(ATo);
    default: return nullptr;
    }
}

} // namespace

IppStatus SVConvertBitsTransparent(const void* ASrc, int32_t ASrcBits, int32_t ASrcStep,
                                   void* ADst, int32_t ADstBits, int32_t ADstStep, int64_t ACount,
                                   TSVDitherState* ADither) {
    const TConvert convert = ConvertOf(ASrcBits, ADstBits);
    if (!convert)
        return ippStsSizeErr;
    if (!ASrc || !ADst)
        return ippStsNullPtrErr;
    if (ADither && ADither->Seed == 0) // the generator would stay at 0
        ADither->Seed = TSVDitherState{}.Seed;
    convert(static_cast<const uint8_t*>(ASrc), ASrcStep, static_cast<uint8_t*>(ADst), ADstStep,
            ACount, ADither);
    return ippStsNoErr;
}

} // namespace sonvera
