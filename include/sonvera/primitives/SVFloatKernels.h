// Loops over 32-bit float samples shared by the float path and the effects: conversions between
// float and the integer widths, gain, mixing and the biquad recurrence. Like the other
// primitives they keep no state of their own (the caller passes filter state and dither seeds),
// check nothing and may run on any thread.
//
// Float full scale is 1.0. The integer widths are 16, 24 (three little-endian bytes) and 32-bit
// signed samples, and unsigned 8-bit bytes with 128 as silence, as files store them (and as the
// bit-transparent width rule takes them). Conversions are bit-transparent: an integer x of N bits
// becomes x / 2^(N-1) (exact up to 24 bits), and a float becomes x * 2^(N-1) rounded half to even
// and saturated at the width's range, so integer -> float -> integer gives back every sample of
// 8, 16 and 24 bits. NaN becomes silence.
//
// Every loop runs at the active kernel level (internal/KernelLevel.h), and every level writes
// exactly the bytes of the portable code: the levels compute the same operations in the same
// order per sample (no fused multiply-add, no reassociation), they only do more samples, channels
// or filter sections at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sonvera {

// ACount samples, ASourceStep and ATargetStep bytes apart.
void SVIntegerToFloat(const uint8_t* ASource, int32_t ABits, size_t ASourceStep, float* ATarget,
                      size_t ATargetStep, size_t ACount) noexcept;
void SVFloatToInteger(const float* ASource, size_t ASourceStep, uint8_t* ATarget, int32_t ABits,
                      size_t ATargetStep, size_t ACount) noexcept;
// With triangular (TPDF) dither of one step of the target width added before rounding; ASeed
// carries the generator from call to call (any value but 0).
void SVFloatToIntegerDithered(const float* ASource, size_t ASourceStep, uint8_t* ATarget,
                              int32_t ABits, size_t ATargetStep, size_t ACount,
                              uint32_t& ASeed) noexcept;

// AData[i] *= AGain.
void SVScaleFloat(float* AData, size_t ACount, float AGain) noexcept;
// Interleaved frames scaled by a gain that moves linearly from AFrom (first frame) towards ATo
// (reached after the last frame), so that a change of gain makes no step.
void SVRampFloat(float* AData, size_t AFrames, size_t AChannels, float AFrom, float ATo) noexcept;
// ATarget[i] += ASource[i] * AGain.
void SVAddScaledFloat(const float* ASource, float* ATarget, size_t ACount, float AGain) noexcept;
// AFrames interleaved frames of AInputs channels mixed into frames of AOutputs channels:
// output o = the sum over input channels c, in order, of AWeights[o * AInputs + c] * input c.
void SVMatrixFloat(const float* ASource, size_t AInputs, float* ATarget, size_t AOutputs,
                   size_t AFrames, const float* AWeights) noexcept;
// The largest |AData[i]| (0 for none).
float SVPeakFloat(const float* AData, size_t ACount) noexcept;

// One second-order section, normalised (a0 = 1): y = b0 x + b1 x' + b2 x'' - a1 y' - a2 y''.
struct TSVBiquad {
    double B0 = 1, B1 = 0, B2 = 0, A1 = 0, A2 = 0;
};
// The two delays of one channel (transposed direct form II), kept in double precision so that
// low corner frequencies keep their response.
struct TSVBiquadState {
    double Z1 = 0, Z2 = 0;
};
// Filters AFrames interleaved frames of AChannels channels in place through ASectionCount
// sections in turn, each channel with its own state per section: AStates[k * AChannels + c] for
// section k and channel c. Each section's output is rounded to float before the next takes it,
// so a cascade gives the bytes of one call per section.
void SVBiquadFloat(float* AData, size_t AFrames, size_t AChannels, const TSVBiquad* ASections,
                   size_t ASectionCount, TSVBiquadState* AStates) noexcept;

} // namespace sonvera
