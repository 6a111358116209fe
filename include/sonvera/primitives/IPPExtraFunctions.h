// The library's own primitives for the sample layouts the vendor library lacks: biased 8-bit,
// packed 24-bit and (for some operations) 32-bit samples. They carry vendor-style names and
// argument lists but have simpler semantics of their own:
//
// - They walk a strided run of elements, not a two-dimensional region: a region size only gives
//   the element count cx * cy (computed in 64 bits), and every step is the distance in bytes
//   from one element to the next (for one channel of an interleaved buffer, the frame size).
//   Only ippiSet_32u_C1R and ippiCopy_24s_C1R keep row semantics (see there).
// - Scale factors of the Sfs forms, hints and round modes are accepted and ignored, except
//   where a conversion below names its scale factor.
// - Integer results wrap; nothing saturates. Nothing is checked and nothing is returned (but
//   by ippiCopy_24s_C1R); a count below 1 does nothing. Elements are processed in order, so
//   runs that overlap behave as the plain element-by-element walk.
//
// Encodings:
// - 8-bit samples ("8s" in these names, but for ippiConvert_8s32f_C1RSfs): an unsigned byte
//   whose value minus 127 is the sample, 127 being silence; results are stored modulo 256.
// - 24-bit samples ("24s"): three little-endian two's-complement bytes, read sign-extended. A
//   32-bit result is stored as its low three bytes with bit 23 then forced on when the result
//   is negative: in-range values round-trip, out-of-range positives wrap to their low 24 bits,
//   out-of-range negatives keep their low 23 bits and stay negative.
// - 32-bit samples: native integers, results modulo 2^32.
//
// Choices of this library where the arithmetic has no value: a zero divisor gives silence (0,
// or 127 for 8-bit samples) and -2^31 / -1 wraps to -2^31; a widening conversion of the most
// negative source value (and of the byte 255 from 8 bits), whose exact result lies just outside
// the destination range, stores the nearest representable value; a real value rounded to an
// integer is rounded half to even, and NaN or a magnitude of 2^63 or more rounds to -2^63,
// whose low bits are 0.
//
// All of them keep no state and may run on any thread, also on disjoint elements of one buffer
// at the same time: no byte between the elements of a run is read-modified-written.
#pragma once

#include <cstdint>

#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera {

// ---- Element-wise, in place: d = d op s, source and destination with their own steps ------

// d + (s - 127), d + (127 - s), (d - 127) * (s - 127) + 127, all modulo 256.
void ippiAdd_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t scaleFactor);
void ippiSub_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t scaleFactor);
void ippiMul_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t scaleFactor);
// (d - 127) / (s - 127) truncated, + 127; a source of 127 gives 127.
void ippiDiv_8s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                        const IppiSize& roiSize, int32_t scaleFactor);

void ippiAdd_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiSub_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);
// The low 32 bits of d * s, then the 24-bit store rule.
void ippiMul_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiDiv_24s_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);

void ippiAdd_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiSub_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiMul_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiDiv_32s_C1IRSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32s* pSrcDst, int32_t srcDstStep,
                         const IppiSize& roiSize, int32_t scaleFactor);

// ---- By a constant, in place, contiguous (1-D: len elements) -------------------------------

// (d - 127) * val + 127 and (d - 127) / val truncated + 127, modulo 256.
void ippsMulC_8s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor);
void ippsDivC_8s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor);
void ippsAddC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor);
void ippsSubC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor);
void ippsMulC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor);
void ippsDivC_24s_ISfs(Ipp32s val, Ipp8u* pSrcDst, int32_t len, int32_t scaleFactor);

// ---- By a constant, in place, strided ------------------------------------------------------

void ippiMulC_8s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                         int32_t scaleFactor);
// A constant of 0 gives 127 for every element.
void ippiDivC_8s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                         int32_t scaleFactor);
void ippiAddC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);
void ippiSubC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);
void ippiMulC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);
void ippiDivC_24s_C1IRSfs(Ipp32s val, Ipp8u* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);
void ippiAddC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);
void ippiSubC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);
void ippiMulC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);
void ippiDivC_32s_C1IRSfs(Ipp32s val, Ipp32s* pSrcDst, int32_t srcDstStep, const IppiSize& roiSize,
                          int32_t scaleFactor);

// ---- By a constant into a destination: contiguous, and strided with one step for both ------

void ippsAddC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t scaleFactor);
void ippsSubC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t scaleFactor);
void ippsMulC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t scaleFactor);
void ippsDivC_24s_Sfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t len, int32_t scaleFactor);
void ippiAddC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiSubC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiMulC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiDivC_24s_C1RSfs(const Ipp8u* pSrc, Ipp32s val, Ipp8u* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiAddC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiSubC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiMulC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);
void ippiDivC_32s_C1RSfs(const Ipp32s* pSrc, Ipp32s val, Ipp32s* pDst, int32_t step,
                         const IppiSize& roiSize, int32_t scaleFactor);

// ---- Fill and copy -------------------------------------------------------------------------

// len * 3 bytes of zeros, through the signal primitive ippsZero_8u.
void ippsZero_24s(Ipp8u* pDst, int32_t len);
// len packed elements set to the low 24 bits of val (no store rule). Whole groups of four
// elements are written as three 32-bit patterns through ippiSet_32u_C1R with a step of 12,
// the last len mod 4 elements byte by byte; nothing past len * 3 bytes is written.
void ippsSet_24s(Ipp32s val, Ipp8u* pDst, int32_t len);
// cx * cy elements, dstStep bytes apart, set to val by the 24-bit store rule.
void ippiSet_24s_C1R(Ipp32s val, Ipp8u* pDst, int32_t dstStep, const IppiSize& roiSize);
// The dispatch slot ippiSet_32s_C1R with its row semantics: cy rows of cx 32-bit elements,
// rows dstStep bytes apart.
void ippiSet_32u_C1R(Ipp32u val, Ipp32u* pDst, int32_t dstStep, const IppiSize& roiSize);
// The dispatch slots ippiCopy_16s_C1R (bytes 0-1) and then ippiCopy_8u_C1R (byte 2) of each
// row: with a width of 1, one packed element per row. Always returns 0.
IppStatus ippiCopy_24s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                           IppiSize roiSize);

// ---- Width conversion: the full source range onto the full destination range ---------------
// Quotients truncate toward zero; products are exact.

// (s - 127) * 8388607 / 127.
void ippiScale_8u24s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                         const IppiSize& roiSize);
// s * 8388607 / 32767.
void ippiScale_16s24s_C1R(const Ipp16s* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                          const IppiSize& roiSize);
// s * 2147483647 / 32767.
void ippiScale_16s32s_C1R(const Ipp16s* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                          const IppiSize& roiSize);
// s * 2147483647 / 8388607.
void ippiScale_24s32s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                          const IppiSize& roiSize);
// s * 127 / 8388607 + 127.
void ippiScale_24s8u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                         const IppiSize& roiSize, IppHintAlgorithm hint);
// s * 32767 / 8388607.
void ippiScale_24s16s_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16s* pDst, int32_t dstStep,
                          const IppiSize& roiSize, IppHintAlgorithm hint);
// s * 32767 / 2147483647.
void ippiScale_32s16s_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp16s* pDst, int32_t dstStep,
                          const IppiSize& roiSize, IppHintAlgorithm hint);
// s * 8388607 / 2147483647.
void ippiScale_32s24s_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                          const IppiSize& roiSize, IppHintAlgorithm hint);

// ---- Float conversion ----------------------------------------------------------------------

// The sample as float.
void ippiConvert_24s32f_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                            const IppiSize& roiSize);
void ippiConvert_32s32f_C1R(const Ipp32s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                            const IppiSize& roiSize);
// Rounded half to even, then the 24-bit store rule.
void ippiConvert_32f24s_C1R(const Ipp32f* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                            const IppiSize& roiSize, IppRoundMode roundMode);
// src * p rounded half to even, low 32 bits, with p = 2^-scaleFactor in single precision.
void ippiConvert_32f32s_C1RSfs(const Ipp32f* pSrc, int32_t srcStep, Ipp32s* pDst, int32_t dstStep,
                               const IppiSize& roiSize, IppRoundMode roundMode,
                               int32_t scaleFactor);
// Scale factor 0: the sample as float; otherwise sample / p, p = 2^-scaleFactor in single
// precision (the inverse of ippiConvert_32f32s_C1RSfs).
void ippiConvert_32s32f_C1RSfs(const Ipp32s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                               const IppiSize& roiSize, int32_t scaleFactor);
// Scale factor 0: the sample as float; otherwise sample / (p - 1), p = 2^-scaleFactor, the
// divisor in single precision, so -23, -15 and -7 map full scale to about [-1, 1]. The 8-bit
// form reads two's-complement bytes, not the biased encoding.
void ippiConvert_24s32f_C1RSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                               const IppiSize& roiSize, int32_t scaleFactor);
void ippiConvert_16s32f_C1RSfs(const Ipp16s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                               const IppiSize& roiSize, int32_t scaleFactor);
void ippiConvert_8s32f_C1RSfs(const Ipp8s* pSrc, int32_t srcStep, Ipp32f* pDst, int32_t dstStep,
                              const IppiSize& roiSize, int32_t scaleFactor);

// ---- Multiplication by a real factor -------------------------------------------------------
// Each element x (the raw byte for 8u, no bias) becomes x * factor rounded half to even and
// stored by truncation to its width (the store rule for 24s). The in-place forms do nothing
// for a factor of exactly 1.0; the others always write every element.

void MultiplyByReal8uI(double factor, Ipp8u* pSrcDst, int32_t step, const IppiSize& roiSize);
void MultiplyByReal16sI(double factor, Ipp16s* pSrcDst, int32_t step, const IppiSize& roiSize);
void MultiplyByReal24sI(double factor, Ipp8u* pSrcDst, int32_t step, const IppiSize& roiSize);
void MultiplyByReal32sI(double factor, Ipp32s* pSrcDst, int32_t step, const IppiSize& roiSize);
void MultiplyByReal8u(double factor, const Ipp8u* pSrc, Ipp8u* pDst, int32_t step,
                      const IppiSize& roiSize);
void MultiplyByReal16s(double factor, const Ipp16s* pSrc, Ipp16s* pDst, int32_t step,
                       const IppiSize& roiSize);
void MultiplyByReal24s(double factor, const Ipp8u* pSrc, Ipp8u* pDst, int32_t step,
                       const IppiSize& roiSize);
void MultiplyByReal32s(double factor, const Ipp32s* pSrc, Ipp32s* pDst, int32_t step,
                       const IppiSize& roiSize);

// ---- Single packed elements ----------------------------------------------------------------

// The three bytes at ASource, sign-extended from bit 23.
int32_t Convert24BitTo32Bit(const Ipp8u* ASource);
// AValue stored at ADest by the 24-bit store rule.
void Convert32BitTo24Bit(int32_t AValue, Ipp8u* ADest);

} // namespace sonvera
