// Loops over interleaved samples that several areas need, written once here and run at the
// instruction-set level the processor allows (every level gives the portable loop's results).
#pragma once

#include <cstddef>
#include <cstdint>

namespace sonvera {

// One channel of interleaved frames as signed numbers (each sample less its biased zero, see
// SVSampleTraits.h): ACount samples of ABits bits (8, 16, 24 or 32), AColumn bytes into each
// frame of AStep bytes, from AFrames on. The sample must lie inside the frame
// (AColumn + ABits / 8 <= AStep); nothing past the last sample is read.
void SVStripChannel(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, int32_t ABits,
                    int32_t* ATarget, uint32_t ACount);
// The same, each number times AScale (1 keeps the numbers; a power of two keeps them exact).
void SVStripChannel(const uint8_t* AFrames, uint32_t AColumn, uint32_t AStep, int32_t ABits,
                    double* ATarget, uint32_t ACount, double AScale);

// Two planes of AFrames floats into AFrames stereo frames of 32-bit integers: each x becomes
// x * AScale (exact for a power of two) rounded to nearest with ties to even whatever the
// processor's rounding mode, saturated to the 32-bit range, NaN giving 0.
void SVFloatPairToS32(const float* ALeft, const float* ARight, int32_t* ATarget, int32_t AFrames,
                      float AScale);

// A gain on ACount samples of ABits bits (8, 16, 24 or 32) from ASource into ATarget, which may
// be the same run: each sample as a signed number (8-bit ones about their silence, 128) times
// AFactor, rounded to nearest with ties to even and saturated to the width, as a level control
// does (the buffer's MultiplyByReal wraps instead, and scales 8-bit bytes without their
// silence). AFactor must be finite. False, writing nothing, for another width.
bool SVApplyGain(const void* ASource, void* ATarget, int32_t ABits, size_t ACount,
                 double AFactor);

// 32-bit samples to packed 24-bit ones: rounded to nearest and saturated, so that left-justified
// 24-bit samples (FFmpeg's) come back exactly.
void SVPackS32ToS24(const int32_t* ASource, uint8_t* ADest, size_t ACount);
// Packed 24-bit samples to left-justified 32-bit ones.
void SVUnpackS24ToS32(const uint8_t* ASource, int32_t* ADest, size_t ACount);

// Decoded floats to 32-bit integers at the symmetric scale: each x becomes the integer nearest to
// 2147483647 * x for the exact product (ties to even), with x first brought into -1 ... 1 and NaN
// taken as 0; so 1.0 gives 2147483647 and -1.0 gives -2147483647.
void SVFloatsToS32Symmetric(const float* ASource, int32_t* ATarget, size_t ACount);
void SVFloatsToS32Symmetric(const double* ASource, int32_t* ATarget, size_t ACount);
// The same from two planes of AFrames samples into AFrames stereo frames.
void SVFloatPairToS32Symmetric(const float* ALeft, const float* ARight, int32_t* ATarget,
                               size_t AFrames);
void SVFloatPairToS32Symmetric(const double* ALeft, const double* ARight, int32_t* ATarget,
                               size_t AFrames);
// Planes to frames: ACount samples of one channel (ARight null) or of two neighbouring ones into
// their columns of frames of AChannels samples, ATarget pointing at the first one's column. A
// caller converts a chunk of each plane and spreads it.
void SVSpreadColumns(const int32_t* ALeft, const int32_t* ARight, int32_t* ATarget,
                     int32_t AChannels, size_t ACount);
// Two planes of AFrames samples into AFrames interleaved pairs, unchanged.
void SVInterleavePair(const int16_t* ALeft, const int16_t* ARight, int16_t* ATarget,
                      size_t AFrames);
void SVInterleavePair(const int32_t* ALeft, const int32_t* ARight, int32_t* ATarget,
                      size_t AFrames);

} // namespace sonvera
