// Conversions between the packed pixel formats that video capture and display devices deliver
// and that the vendor primitives library lacks, and a few operations on 4-bit grayscale images.
// The video packages call them; they carry vendor-style names.
//
// Layouts (multi-byte values little-endian, whatever the alignment of the row):
// - BGR: 3 bytes per pixel, blue, green, red; BGRA: 4 bytes, alpha last. The RGB..._8u_C3R and
//   RGBA..._8u_AC4R forms use the same byte positions: byte 0 holds the low field of the 16-bit
//   pixel.
// - 565: bits 0-4 the low field (blue), 5-10 green, 11-15 red. 555: bits 0-4, 5-9, 10-14; bit 15
//   is written as 0.
// - UYVY 4:2:2: U, Y0, V, Y1 per pair of pixels; YUYV: Y0, U, Y1, V; UYVA: U, Y0, A0, V, Y1, A1.
// - Grayscale: 8-bit bytes, 16-bit words, or 4-bit nibbles two to a byte with the even pixel in
//   the high nibble.
//
// Every function walks roiSize.cy rows of roiSize.cx pixels, advancing source and destination
// by their steps in bytes after each row, and returns ippStsNoErr. A null pointer returns
// ippStsNullPtrErr, a source pixel size below 3 returns ippStsSizeErr, and a region with no
// pixels returns ippStsNoErr; in all three cases nothing is written. Steps are not checked (a
// negative step walks upwards). A destination row gets exactly the bytes of its pixels, and
// padding after them is never touched, with two exceptions named below: a 4:2:2 row of odd
// width ends in a whole pair, and a 4-bit row of odd width ends in a half-used byte, whose low
// nibble is kept as it was.
//
// Colour arithmetic (integer, ITU-R BT.601 studio range):
// - To 4:2:2: Y = (66 R + 129 G + 25 B + 4224) / 256, U = (-38 R - 74 G + 112 B + 32896) / 256,
//   V = (112 R - 94 G - 18 B + 32896) / 256; 15- and 16-bit fields are first widened to 8 bits as
//   round(v × 255 / 31) (green of 565: / 63). Grayscale g gives Y = (220 g + 4224) / 256 and
//   U = V = 128; 16-bit gray uses its high byte, 4-bit gray its nibble << 4. A pair's chroma is
//   the mean (sum >> 1) of its two pixels'. An odd last pixel is written as a whole pair, its Y
//   (and, for UYVA, its alpha) repeated, its chroma the mean of its own and the chroma carried
//   from the second pixel of the previous pair; the carried chroma starts at 0 for each call,
//   runs on from row to row, and the odd pixel itself becomes the next one carried. 4-bit gray
//   sources convert whole bytes only (an odd last pixel is skipped).
// - From 4:2:2: with C = Y - 16, D = U - 128, E = V - 128 shared by the pair,
//   R = (298 C + 409 E + 128) / 256, G = (298 C - 100 D - 208 E + 128) / 256,
//   B = (298 C + 516 D + 128) / 256, each truncated toward zero and clamped to 0-255. Only whole
//   pairs are converted. BGRA gets alpha 255. The grayscale forms mask R, G, B to 565 precision
//   (& 248, & 252, & 248) first.
// - Gray = round(0.299 c0 + 0.587 c1 + 0.114 c2) computed exactly, ties to even; 16-bit gray
//   uses 255 times those weights (white is 65025). From 4:2:2, c0, c1, c2 are R, G, B; from BGR
//   and 15/16-bit pixels they are the components at byte offsets 0, 1, 2 (or the low, middle
//   and high fields, widened). 4-bit gray keeps the top nibble of the 8-bit gray.
//
// 4-bit operations cover roiSize.cx / 2 whole bytes per row and work nibble by nibble, never
// letting one pixel's result reach the other: add, subtract and multiply saturate to 0-15,
// MulScale gives (a × b) >> 4, divide truncates and gives 0 for a zero divisor; the scale
// factors of the Sfs forms are ignored.
//
// The functions keep no state and may run on any thread.
#pragma once

#include <cstdint>

#include "sonvera/platform/signal/IppTypes.h"

namespace sonvera {

// ---- 16-bit RGB: narrowing keeps the top bits of each component, widening shifts each field to
// the top of its byte (low bits 0), the 4-byte forms write alpha 255 and ignore source alpha.

IppStatus ippiRGB565ToRGB_8u_C3R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                                 IppiSize roiSize);
IppStatus ippiRGB_8u_C3RToRGB565(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                                 IppiSize roiSize);
// 565 to 555 drops the lowest green bit; 555 to 565 inserts it as 0.
IppStatus ippiRGB565ToRGB555(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                             IppiSize roiSize);
IppStatus ippiRGB555ToRGB565(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                             IppiSize roiSize);
IppStatus ippiRGB555ToRGB_8u_C3R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                                 IppiSize roiSize);
IppStatus ippiRGB_8u_C3RToRGB555(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                                 IppiSize roiSize);
IppStatus ippiRGB565ToRGBA_8u_AC4R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                   int32_t dstStep, IppiSize roiSize);
IppStatus ippiRGBA_8u_AC4RToRGB565(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                   int32_t dstStep, IppiSize roiSize);
IppStatus ippiRGB555ToRGBA_8u_AC4R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                   int32_t dstStep, IppiSize roiSize);
IppStatus ippiRGBA_8u_AC4RToRGB555(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                   int32_t dstStep, IppiSize roiSize);

// ---- To 4:2:2. srcPixelSize is the byte distance between source pixels (3 for BGR, 4 for
// BGRA); the alpha form copies each pixel's alpha into its A byte.

IppStatus ippiBGRToUYV422_8u_C3C2R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                   Ipp8u* pDst, int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGRAToUYVA422_8u_C4C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                     int32_t dstStep, IppiSize roiSize);
IppStatus ippiGrayscaleToUYV422_8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize);
IppStatus ippiGrayscale16ToUYV422_16u8u_C1C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                              int32_t dstStep, IppiSize roiSize);
IppStatus ippiGrayscale4ToUYV422_4u8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                            int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR555ToUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                      int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR565ToUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                      int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGRToYUYV422_8u_C3C2R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                    Ipp8u* pDst, int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR555ToYUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                       int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR565ToYUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                       int32_t dstStep, IppiSize roiSize);
IppStatus ippiGrayscaleToYUYV422_8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize);
IppStatus ippiGrayscale16ToYUYV422_16u8u_C1C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                               int32_t dstStep, IppiSize roiSize);
IppStatus ippiGrayscale4ToYUYV422_4u8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                             int32_t dstStep, IppiSize roiSize);

// ---- From 4:2:2.

IppStatus ippiUYVY422ToBGR_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                    int32_t dstStep, IppiSize roiSize);
IppStatus ippiUYVY422ToBGRA_8u_C2C4R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                     int32_t dstStep, IppiSize roiSize);
IppStatus ippiUYVY422ToBGR555_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize);
IppStatus ippiUYVY422ToBGR565_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize);
IppStatus ippiUYVY422ToGrayscale_8u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize);
IppStatus ippiUYVY422ToGrayscale_16u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                           int32_t dstStep, IppiSize roiSize);
IppStatus ippiUYVY422ToGrayscale_4u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize);
IppStatus ippiYUYV422ToBGR_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                    int32_t dstStep, IppiSize roiSize);
IppStatus ippiYUYV422ToBGRA_8u_8u_C2C4R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                        int32_t dstStep, IppiSize roiSize);
IppStatus ippiYUYV422ToBGR555_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize);
IppStatus ippiYUYV422ToBGR565_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize);
IppStatus ippiYUYV422ToGrayscale_8u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize);
IppStatus ippiYUYV422ToGrayscale_16u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                           int32_t dstStep, IppiSize roiSize);
IppStatus ippiYUYV422ToGrayscale_4u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize);

// ---- To grayscale. srcPixelSize as for the 4:2:2 conversions.

IppStatus ippiBGRToGrayscale_16u_C3C1R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                       Ipp16u* pDst, int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGRToGrayscale_4u_C3C1R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                      Ipp8u* pDst, int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR555ToGrayscale_8u16u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                            int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR565ToGrayscale_8u16u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                            int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR555ToGrayscale_8u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR555ToGrayscale_4u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR565ToGrayscale_8u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize);
IppStatus ippiBGR565ToGrayscale_4u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize);

// ---- Grayscale depth: a nibble n widens to n << 4 (8u) or n << 12 (16u); narrowing keeps the
// top nibble of each byte or word.

IppStatus ippiScale_4u16u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                              IppiSize roiSize);
IppStatus ippiScale_8u4u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                             IppiSize roiSize);
IppStatus ippiScale_16u4u_C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                              IppiSize roiSize);
IppStatus ippiScale_4u8u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                             IppiSize roiSize);

// ---- 4-bit operations: srcDst = srcDst op src, nibble by nibble (bytewise for the logic ops).

IppStatus ippiAdd_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor);
IppStatus ippiSub_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor);
IppStatus ippiMul_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor);
IppStatus ippiMulScale_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst,
                               int32_t srcDstStep, IppiSize roiSize);
IppStatus ippiDiv_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t scaleFactor);
IppStatus ippiAnd_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                          IppiSize roiSize);
IppStatus ippiOr_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         IppiSize roiSize);
IppStatus ippiXor_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                          IppiSize roiSize);
// Each destination nibble is the absolute difference of the two source nibbles.
IppStatus ippiAbsDiff_4u_C1R(const Ipp8u* pSrc1, int32_t src1Step, const Ipp8u* pSrc2,
                             int32_t src2Step, Ipp8u* pDst, int32_t dstStep, IppiSize roiSize);
// Both pixels of every byte take the top nibble of val.
IppStatus ippiSet_4u_C1R(Ipp8u val, Ipp8u* pDst, int32_t dstStep, IppiSize roiSize);

} // namespace sonvera
