// What a sample of each container width is, written once for every area: its bytes, the value
// it reads as, how it is read and written at any alignment, its silence and its full scale.
// The sample-view header builds typed views of audio buffers on these traits; the primitives,
// the buffer and the components read and write samples through them.
//
//   8 bits   an unsigned byte whose silence is 128, the midpoint that files, FFmpeg and every
//            conversion to floats or between widths use: 0 is -128 and 255 is +127
//   16 bits  a signed little-endian number
//   24 bits  three little-endian bytes, read sign-extended from bit 23, written as their low
//            24 bits
//   32 bits  a signed little-endian number
//
// Full scale is 2^(bits - 1): a sample less its silence, divided by it, lies in -1 ... 1.
//
// The buffer's own 8-bit arithmetic, fill (Zero, SetValue) and channel extraction, the
// splitter and the extra primitives keep a biased encoding of their own, the byte less 127
// (so 255 is +128): KBiasedZero and LoadBiased. Samples that come from or go to a file use the
// silence above.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace sonvera {

template <int32_t ABits> struct TSVSampleTraits {
    static_assert(ABits == 8 || ABits == 16 || ABits == 24 || ABits == 32,
                  "samples are 8, 16, 24 or 32 bits wide");

    using TValue =
        std::conditional_t<ABits == 8, uint8_t, std::conditional_t<ABits == 16, int16_t, int32_t>>;
    static constexpr uint32_t KBytes = ABits / 8;
    static constexpr TValue KSilence = ABits == 8 ? 128 : 0;
    static constexpr TValue KBiasedZero = ABits == 8 ? 127 : 0;
    static constexpr double KFullScale = static_cast<double>(int64_t{1} << (ABits - 1));

    static TValue Load(const uint8_t* AAt) noexcept {
        if constexpr (ABits == 24) {
            // Byte by byte: never a byte beyond the sample, and a loop over samples vectorises.
            const uint32_t raw = uint32_t{AAt[0]} << 8 | uint32_t{AAt[1]} << 16 |
                                 uint32_t{AAt[2]} << 24;
            return static_cast<int32_t>(raw) >> 8;
        } else {
            TValue value;
            std::memcpy(&value, AAt, sizeof value);
            return value;
        }
    }

    static void Store(uint8_t* AAt, TValue AValue) noexcept {
        if constexpr (ABits == 24) {
            const auto bits = static_cast<uint32_t>(AValue);
            const auto low = static_cast<uint16_t>(bits);
            std::memcpy(AAt, &low, sizeof low);
            AAt[2] = static_cast<uint8_t>(bits >> 16);
        } else {
            std::memcpy(AAt, &AValue, sizeof AValue);
        }
    }

    // The sample as a signed number: its value less its silence.
    static int32_t Signed(TValue AValue) noexcept { return int32_t{AValue} - int32_t{KSilence}; }
    static int32_t LoadSigned(const uint8_t* AAt) noexcept { return Signed(Load(AAt)); }
    // The other way: a signed number inside the width's range, stored with its silence added.
    static void StoreSigned(uint8_t* AAt, int32_t AValue) noexcept {
        Store(AAt, static_cast<TValue>(AValue + int32_t{KSilence}));
    }
    // The sample as the buffer's own operations count it: its value less KBiasedZero.
    static int32_t LoadBiased(const uint8_t* AAt) noexcept {
        return int32_t{Load(AAt)} - int32_t{KBiasedZero};
    }
};

} // namespace sonvera
