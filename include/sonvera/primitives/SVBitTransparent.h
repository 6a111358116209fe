// Bit-transparent width conversion, the rule file tools apply: widening is an exact shift to
// the left (a 16-bit sample s becomes s * 256 in 24 bits), narrowing divides by the same power
// of two, rounded to nearest with halves upwards ((x + half) >> n)
// and saturated, optionally after adding TPDF dither of one step of the narrower width. So
// 16 -> 24 -> 16 and 16 -> 32 -> 16 give back every sample, and a widened file holds the bytes
// other tools write. (ConvertBits maps full range onto full range instead, which moves
// every value by a fraction of a step and does not round-trip.)
//
// 8-bit samples are unsigned bytes with 128 as silence, as files store them.
#pragma once

#include <cstdint>

#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera {

// The state of the dither's noise: a 32-bit generator that never holds 0, so that a stream
// dithered again from the same seed gives the same bytes.
struct TSVDitherState {
    uint32_t Seed = 0x9E3779B9u;
};

// Converts ACount samples of ASrcBits bits read ASrcStep bytes apart from ASrc into ADstBits-bit
// samples written ADstStep bytes apart from ADst (8, 16, 24 or 32 bits each; equal widths copy).
// ADither, when not null, dithers what is narrowed and moves on its state. Returns ippStsNoErr,
// ippStsNullPtrErr for a missing pointer, ippStsSizeErr for an unsupported width.
IppStatus SVConvertBitsTransparent(const void* ASrc, int32_t ASrcBits, int32_t ASrcStep, void* ADst,
                                   int32_t ADstBits, int32_t ADstStep, int64_t ACount,
                                   TSVDitherState* ADither = nullptr);

} // namespace sonvera
