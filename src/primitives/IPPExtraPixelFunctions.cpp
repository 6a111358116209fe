#include "sonvera/primitives/IPPExtraPixelFunctions.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>

namespace sonvera {

namespace {

// ---- Rows, words and nibbles. Offsets are formed in pointer width, so no width or step can
// overflow them; 16-bit values go byte by byte, so rows need not be aligned.

template <class T> T* RowAt(T* ABase, int32_t AStep, int32_t ARow) {
    return ABase + static_cast<std::ptrdiff_t>(ARow) * AStep;
}

std::ptrdiff_t Offset(int32_t AIndex, int32_t ASize) {
    return static_cast<std::ptrdiff_t>(AIndex) * ASize;
}

Ipp16u LoadWord(const Ipp8u* AAt) {
    return static_cast<Ipp16u>(AAt[0] | (AAt[1] << 8));
}

void StoreWord(Ipp8u* AAt, int AValue) {
    AAt[0] = static_cast<Ipp8u>(AValue);
    AAt[1] = static_cast<Ipp8u>(AValue >> 8);
}

Ipp16u WordAt(const Ipp8u* ARow, int32_t AIndex) {
    return LoadWord(ARow + Offset(AIndex, 2));
}

// Pixel AIndex of a 4-bit row: even pixels in the high nibble.
int NibbleAt(const Ipp8u* ARow, int32_t AIndex) {
    const Ipp8u byte = ARow[AIndex / 2];
    return AIndex % 2 == 0 ? byte >> 4 : byte & 0x0F;
}

// Writes one pixel of a 4-bit row and keeps the other nibble of its byte.
void StoreNibble(Ipp8u* ARow, int32_t AIndex, int AValue) {
    Ipp8u& byte = ARow[AIndex / 2];
    byte = AIndex % 2 == 0 ? static_cast<Ipp8u>((byte & 0x0F) | (AValue << 4))
                           : static_cast<Ipp8u>((byte & 0xF0) | AValue);
}

const Ipp8u* Bytes(const void* APointer) {
    return static_cast<const Ipp8u*>(APointer);
}
Ipp8u* Bytes(void* APointer) {
    return static_cast<Ipp8u*>(APointer);
}

// ---- Walking a region.

// Calls ARowFn(source row, destination row, row index) for every row of a non-empty region.
template <class TRowFn>
IppStatus ForEachRow(const void* ASrc, int32_t ASrcStep, void* ADst, int32_t ADstStep,
                     IppiSize ARoi, TRowFn ARowFn) {
    if (ASrc == nullptr || ADst == nullptr)
        return ippStsNullPtrErr;
    if (ARoi.cx < 1 || ARoi.cy < 1)
        return ippStsNoErr;
    for (int32_t row = 0; row < ARoi.cy; ++row)
        ARowFn(RowAt(Bytes(ASrc), ASrcStep, row), RowAt(Bytes(ADst), ADstStep, row), row);
    return ippStsNoErr;
}

// Calls APixelFn(source row, destination row, pixel index) for every pixel.
template <class TPixelFn>
IppStatus ForEachPixel(const void* ASrc, int32_t ASrcStep, void* ADst, int32_t ADstStep,
                       IppiSize ARoi, TPixelFn APixelFn) {
    return ForEachRow(ASrc, ASrcStep, ADst, ADstStep, ARoi,
                      [&](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t) {
                          for (int32_t x = 0; x < ARoi.cx; ++x)
                              APixelFn(ASrcRow, ADstRow, x);
                      });
}

// The checks of the functions that take a source pixel size; ippStsNoErr lets them go on.
IppStatus PixelSizeStatus(const void* ASrc, const void* ADst, int32_t APixelSize) {
    if (ASrc == nullptr || ADst == nullptr)
        return ippStsNullPtrErr;
    return APixelSize < 3 ? ippStsSizeErr : ippStsNoErr;
}

// ---- Colours. B is the component at byte 0 (the low field of a 16-bit pixel), R the one at
// byte 2 (the high field).

struct TBgr {
    int B;
    int G;
    int R;
};

TBgr LoadBgr(const Ipp8u* AAt) {
    return {AAt[0], AAt[1], AAt[2]};
}

void StoreBgr(Ipp8u* AAt, TBgr AColour) {
    AAt[0] = static_cast<Ipp8u>(AColour.B);
    AAt[1] = static_cast<Ipp8u>(AColour.G);
    AAt[2] = static_cast<Ipp8u>(AColour.R);
}

void StoreBgra(Ipp8u* AAt, TBgr AColour) {
    StoreBgr(AAt, AColour);
    AAt[3] = 255;
}

int Pack565(TBgr AColour) {
    return (AColour.B >> 3) | ((AColour.G >> 2) << 5) | ((AColour.R >> 3) << 11);
}

int Pack555(TBgr AColour) {
    return (AColour.B >> 3) | ((AColour.G >> 3) << 5) | ((AColour.R >> 3) << 10);
}

// Each field moved to the top of its byte, the low bits 0.
TBgr Shift565(int APixel) {
    return {(APixel & 31) << 3, ((APixel >> 5) & 63) << 2, ((APixel >> 11) & 31) << 3};
}

TBgr Shift555(int APixel) {
    return {(APixel & 31) << 3, ((APixel >> 5) & 31) << 3, ((APixel >> 10) & 31) << 3};
}

// round(AValue × 255 / AMax); AMax is odd, so the exact quotient is never a tie.
int Widen(int AValue, int AMax) {
    return (AValue * 255 + AMax / 2) / AMax;
}

TBgr Widen565(int APixel) {
    return {Widen(APixel & 31, 31), Widen((APixel >> 5) & 63, 63), Widen((APixel >> 11) & 31, 31)};
}

TBgr Widen555(int APixel) {
    return {Widen(APixel & 31, 31), Widen((APixel >> 5) & 31, 31), Widen((APixel >> 10) & 31, 31)};
}

// round(AScale × (0.299 A0 + 0.587 A1 + 0.114 A2)) on the exact decimal weights, ties to even.
// The weights add up to 1, so the result never exceeds AScale × 255.
int WeightedGray(int A0, int A1, int A2, int AScale) {
    const int thousandths = AScale * (299 * A0 + 587 * A1 + 114 * A2);
    int gray = thousandths / 1000;
    const int rest = thousandths % 1000;
    if (rest > 500 || (rest == 500 && gray % 2 != 0))
        ++gray;
    return gray;
}

int Gray8(int A0, int A1, int A2) {
    return WeightedGray(A0, A1, A2, 1);
}
int Gray16(int A0, int A1, int A2) {
    return WeightedGray(A0, A1, A2, 255);
}

// Grayscale of a BGR pixel or 16-bit pixel: the weights follow the byte order.
int Gray8(TBgr AColour) {
    return Gray8(AColour.B, AColour.G, AColour.R);
}
int Gray16(TBgr AColour) {
    return Gray16(AColour.B, AColour.G, AColour.R);
}

// ---- 4:2:2.

enum T422Layout { plUYVY, plYUYV, plUYVA };

struct TYuva {
    int Y;
    int U;
    int V;
    int A;
};

// Every result lies in 16-240 for 8-bit components, so none needs clamping.
TYuva YuvOf(TBgr AColour, int AAlpha = 0) {
    const int r = AColour.R, g = AColour.G, b = AColour.B;
    return {(66 * r + 129 * g + 25 * b + 4224) / 256, (-38 * r - 74 * g + 112 * b + 32896) / 256,
            (112 * r - 94 * g - 18 * b + 32896) / 256, AAlpha};
}

TYuva YuvOfGray(int AGray) {
    return {(AGray * 220 + 4224) >> 8, 128, 128, 0};
}

std::ptrdiff_t PairBytes(T422Layout ALayout) {
    return ALayout == plUYVA ? 6 : 4;
}

void StorePair(Ipp8u* AAt, T422Layout ALayout, TYuva AFirst, TYuva ASecond, int AU, int AV) {
    const auto byte = [](int AValue) { return static_cast<Ipp8u>(AValue); };
    switch (ALayout) {
    case plUYVY:
        AAt[0] = byte(AU), AAt[1] = byte(AFirst.Y), AAt[2] = byte(AV), AAt[3] = byte(ASecond.Y);
        break;
    case plYUYV:
        AAt[0] = byte(AFirst.Y), AAt[1] = byte(AU), AAt[2] = byte(ASecond.Y), AAt[3] = byte(AV);
        break;
    case plUYVA:
        AAt[0] = byte(AU), AAt[1] = byte(AFirst.Y), AAt[2] = byte(AFirst.A);
        AAt[3] = byte(AV), AAt[4] = byte(ASecond.Y), AAt[5] = byte(ASecond.A);
        break;
    }
}

// Encodes APixels(width) pixels of each row, ARead(source row, index) giving each pixel's
// colour. An odd last pixel fills a whole pair, averaging its chroma with the chroma carried
// from the second pixel of the previous pair, which runs on from row to row.
template <class TReader>
IppStatus Encode422(const void* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                    IppiSize ARoi, T422Layout ALayout, int32_t (*APixels)(int32_t), TReader ARead) {
    TYuva carried{0, 0, 0, 0};
    const std::ptrdiff_t pairBytes = PairBytes(ALayout);
    return ForEachRow(ASrc, ASrcStep, ADst, ADstStep, ARoi,
                      [&](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t) {
                          const int32_t width = APixels(ARoi.cx);
                          // A lone last pixel pairs with itself for luma and alpha and with
                          // the carried pixel for chroma.
                          for (int32_t x = 0; x < width; x += 2) {
                              const TYuva first = ARead(ASrcRow, x);
                              const TYuva second = x + 1 < width ? ARead(ASrcRow, x + 1) : first;
                              const TYuva partner = x + 1 < width ? first : carried;
                              StorePair(ADstRow + (x / 2) * pairBytes, ALayout, first, second,
                                        (partner.U + second.U) >> 1, (partner.V + second.V) >> 1);
                              carried = second;
                          }
                      });
}

int32_t AllPixels(int32_t AWidth) {
    return AWidth;
}
int32_t WholeBytesOfNibbles(int32_t AWidth) {
    return AWidth / 2 * 2;
}

template <class TReader>
IppStatus Encode422(const void* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                    IppiSize ARoi, T422Layout ALayout, TReader ARead) {
    return Encode422(ASrc, ASrcStep, ADst, ADstStep, ARoi, ALayout, AllPixels, ARead);
}

IppStatus EncodeBgr(const Ipp8u* ASrc, int32_t ASrcStep, int32_t APixelSize, Ipp8u* ADst,
                    int32_t ADstStep, IppiSize ARoi, T422Layout ALayout) {
    if (const IppStatus status = PixelSizeStatus(ASrc, ADst, APixelSize); status != ippStsNoErr)
        return status;
    return Encode422(ASrc, ASrcStep, ADst, ADstStep, ARoi, ALayout,
                     [APixelSize](const Ipp8u* ARow, int32_t AIndex) {
                         return YuvOf(LoadBgr(ARow + Offset(AIndex, APixelSize)));
                     });
}

template <TBgr (*AWiden)(int)>
IppStatus EncodeWords(const Ipp16u* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                      IppiSize ARoi, T422Layout ALayout) {
    return Encode422(
        ASrc, ASrcStep, ADst, ADstStep, ARoi, ALayout,
        [](const Ipp8u* ARow, int32_t AIndex) { return YuvOf(AWiden(WordAt(ARow, AIndex))); });
}

IppStatus EncodeGray8(const Ipp8u* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                      IppiSize ARoi, T422Layout ALayout) {
    return Encode422(ASrc, ASrcStep, ADst, ADstStep, ARoi, ALayout,
                     [](const Ipp8u* ARow, int32_t AIndex) { return YuvOfGray(ARow[AIndex]); });
}

IppStatus EncodeGray16(const Ipp16u* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                       IppiSize ARoi, T422Layout ALayout) {
    return Encode422(
        ASrc, ASrcStep, ADst, ADstStep, ARoi, ALayout,
        [](const Ipp8u* ARow, int32_t AIndex) { return YuvOfGray(WordAt(ARow, AIndex) >> 8); });
}

IppStatus EncodeGray4(const Ipp8u* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                      IppiSize ARoi, T422Layout ALayout) {
    return Encode422(
        ASrc, ASrcStep, ADst, ADstStep, ARoi, ALayout, WholeBytesOfNibbles,
        [](const Ipp8u* ARow, int32_t AIndex) { return YuvOfGray(NibbleAt(ARow, AIndex) << 4); });
}

int ClampByte(int AValue) {
    return std::clamp(AValue, 0, 255);
}

TBgr BgrOf(int AY, int AU, int AV) {
    const int c = AY - 16, d = AU - 128, e = AV - 128;
    return {ClampByte((298 * c + 516 * d + 128) / 256),
            ClampByte((298 * c - 100 * d - 208 * e + 128) / 256),
            ClampByte((298 * c + 409 * e + 128) / 256)};
}

// Gray from a decoded colour: components masked to 565 precision, red weighted 0.299.
TBgr MaskTo565(TBgr AColour) {
    return {AColour.B & 248, AColour.G & 252, AColour.R & 248};
}
int DecodedGray8(TBgr AColour) {
    const TBgr masked = MaskTo565(AColour);
    return Gray8(masked.R, masked.G, masked.B);
}
int DecodedGray16(TBgr AColour) {
    const TBgr masked = MaskTo565(AColour);
    return Gray16(masked.R, masked.G, masked.B);
}

// Decodes the whole pairs of each row; AWrite(destination row, pixel index, colour).
template <class TWriter>
IppStatus Decode422(const Ipp8u* ASrc, int32_t ASrcStep, void* ADst, int32_t ADstStep,
                    IppiSize ARoi, T422Layout ALayout, TWriter AWrite) {
    return ForEachRow(ASrc, ASrcStep, ADst, ADstStep, ARoi,
                      [&](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t) {
                          for (int32_t pair = 0; pair < ARoi.cx / 2; ++pair) {
                              const Ipp8u* at = ASrcRow + Offset(pair, 4);
                              const bool uFirst = ALayout == plUYVY;
                              const int y0 = uFirst ? at[1] : at[0];
                              const int u = uFirst ? at[0] : at[1];
                              const int y1 = uFirst ? at[3] : at[2];
                              const int v = uFirst ? at[2] : at[3];
                              AWrite(ADstRow, 2 * pair, BgrOf(y0, u, v));
                              AWrite(ADstRow, 2 * pair + 1, BgrOf(y1, u, v));
                          }
                      });
}

void WriteBgr(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreBgr(ARow + Offset(AIndex, 3), AColour);
}
void WriteBgra(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreBgra(ARow + Offset(AIndex, 4), AColour);
}
void Write555(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreWord(ARow + Offset(AIndex, 2), Pack555(AColour));
}
void Write565(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreWord(ARow + Offset(AIndex, 2), Pack565(AColour));
}
void WriteGray8(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    ARow[AIndex] = static_cast<Ipp8u>(DecodedGray8(AColour));
}
void WriteGray16(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreWord(ARow + Offset(AIndex, 2), DecodedGray16(AColour));
}
void WriteGray4(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreNibble(ARow, AIndex, DecodedGray8(AColour) >> 4);
}

// ---- Grayscale from BGR and 16-bit pixels.

template <class TStore>
IppStatus BgrToGray(const Ipp8u* ASrc, int32_t ASrcStep, int32_t APixelSize, void* ADst,
                    int32_t ADstStep, IppiSize ARoi, TStore AStore) {
    if (const IppStatus status = PixelSizeStatus(ASrc, ADst, APixelSize); status != ippStsNoErr)
        return status;
    return ForEachPixel(ASrc, ASrcStep, ADst, ADstStep, ARoi,
                        [&](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            AStore(ADstRow, AIndex, LoadBgr(ASrcRow + Offset(AIndex, APixelSize)));
                        });
}

template <TBgr (*AWiden)(int), class TStore>
IppStatus WordsToGray(const Ipp16u* ASrc, int32_t ASrcStep, void* ADst, int32_t ADstStep,
                      IppiSize ARoi, TStore AStore) {
    return ForEachPixel(ASrc, ASrcStep, ADst, ADstStep, ARoi,
                        [&](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            AStore(ADstRow, AIndex, AWiden(WordAt(ASrcRow, AIndex)));
                        });
}

void StoreGray8(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    ARow[AIndex] = static_cast<Ipp8u>(Gray8(AColour));
}
void StoreGray16(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreWord(ARow + Offset(AIndex, 2), Gray16(AColour));
}
void StoreGray4(Ipp8u* ARow, int32_t AIndex, TBgr AColour) {
    StoreNibble(ARow, AIndex, Gray8(AColour) >> 4);
}

// ---- 4-bit operations.

// Applies AOp(destination nibble, source nibble) to both nibbles of the roiSize.cx / 2 whole
// bytes of each row; AOp keeps its result within 0-15.
template <class TNibbleOp>
IppStatus NibbleOperation(const Ipp8u* ASrc, int32_t ASrcStep, Ipp8u* ASrcDst, int32_t ASrcDstStep,
                          IppiSize ARoi, TNibbleOp AOp) {
    return ForEachRow(ASrc, ASrcStep, ASrcDst, ASrcDstStep, ARoi,
                      [&](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t) {
                          for (int32_t i = 0; i < ARoi.cx / 2; ++i) {
                              const int high = AOp(ADstRow[i] >> 4, ASrcRow[i] >> 4);
                              const int low = AOp(ADstRow[i] & 0x0F, ASrcRow[i] & 0x0F);
                              ADstRow[i] = static_cast<Ipp8u>((high << 4) | low);
                          }
                      });
}

template <class TByteOp>
IppStatus ByteOperation(const Ipp8u* ASrc, int32_t ASrcStep, Ipp8u* ASrcDst, int32_t ASrcDstStep,
                        IppiSize ARoi, TByteOp AOp) {
    return ForEachRow(ASrc, ASrcStep, ASrcDst, ASrcDstStep, ARoi,
                      [&](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t) {
                          for (int32_t i = 0; i < ARoi.cx / 2; ++i)
                              ADstRow[i] = static_cast<Ipp8u>(AOp(ADstRow[i], ASrcRow[i]));
                      });
}

} // namespace

// ---- 16-bit RGB.

IppStatus ippiRGB565ToRGB_8u_C3R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                                 IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            WriteBgr(ADstRow, AIndex, Shift565(WordAt(ASrcRow, AIndex)));
                        });
}

IppStatus ippiRGB_8u_C3RToRGB565(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                                 IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            Write565(ADstRow, AIndex, LoadBgr(ASrcRow + Offset(AIndex, 3)));
                        });
}

IppStatus ippiRGB565ToRGB555(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                             IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            const int pixel = WordAt(ASrcRow, AIndex);
                            StoreWord(ADstRow + Offset(AIndex, 2),
                                      (pixel & 31) | ((pixel & 0xFFC0) >> 1));
                        });
}

IppStatus ippiRGB555ToRGB565(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                             IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            const int pixel = WordAt(ASrcRow, AIndex);
                            StoreWord(ADstRow + Offset(AIndex, 2),
                                      (pixel & 31) | ((pixel & 0x7FE0) << 1));
                        });
}

IppStatus ippiRGB555ToRGB_8u_C3R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                                 IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            WriteBgr(ADstRow, AIndex, Shift555(WordAt(ASrcRow, AIndex)));
                        });
}

IppStatus ippiRGB_8u_C3RToRGB555(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                                 IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            Write555(ADstRow, AIndex, LoadBgr(ASrcRow + Offset(AIndex, 3)));
                        });
}

IppStatus ippiRGB565ToRGBA_8u_AC4R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                   int32_t dstStep, IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            WriteBgra(ADstRow, AIndex, Shift565(WordAt(ASrcRow, AIndex)));
                        });
}

IppStatus ippiRGBA_8u_AC4RToRGB565(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                   int32_t dstStep, IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            Write565(ADstRow, AIndex, LoadBgr(ASrcRow + Offset(AIndex, 4)));
                        });
}

IppStatus ippiRGB555ToRGBA_8u_AC4R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                   int32_t dstStep, IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            WriteBgra(ADstRow, AIndex, Shift555(WordAt(ASrcRow, AIndex)));
                        });
}

IppStatus ippiRGBA_8u_AC4RToRGB555(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                   int32_t dstStep, IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            Write555(ADstRow, AIndex, LoadBgr(ASrcRow + Offset(AIndex, 4)));
                        });
}

// ---- To 4:2:2.

IppStatus ippiBGRToUYV422_8u_C3C2R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                   Ipp8u* pDst, int32_t dstStep, IppiSize roiSize) {
    return EncodeBgr(pSrc, srcStep, srcPixelSize, pDst, dstStep, roiSize, plUYVY);
}

IppStatus ippiBGRAToUYVA422_8u_C4C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                     int32_t dstStep, IppiSize roiSize) {
    return Encode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVA,
                     [](const Ipp8u* ARow, int32_t AIndex) {
                         const Ipp8u* at = ARow + Offset(AIndex, 4);
                         return YuvOf(LoadBgr(at), at[3]);
                     });
}

IppStatus ippiGrayscaleToUYV422_8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize) {
    return EncodeGray8(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY);
}

IppStatus ippiGrayscale16ToUYV422_16u8u_C1C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                              int32_t dstStep, IppiSize roiSize) {
    return EncodeGray16(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY);
}

IppStatus ippiGrayscale4ToUYV422_4u8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                            int32_t dstStep, IppiSize roiSize) {
    return EncodeGray4(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY);
}

IppStatus ippiBGR555ToUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                      int32_t dstStep, IppiSize roiSize) {
    return EncodeWords<Widen555>(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY);
}

IppStatus ippiBGR565ToUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                      int32_t dstStep, IppiSize roiSize) {
    return EncodeWords<Widen565>(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY);
}

IppStatus ippiBGRToYUYV422_8u_C3C2R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                    Ipp8u* pDst, int32_t dstStep, IppiSize roiSize) {
    return EncodeBgr(pSrc, srcStep, srcPixelSize, pDst, dstStep, roiSize, plYUYV);
}

IppStatus ippiBGR555ToYUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                       int32_t dstStep, IppiSize roiSize) {
    return EncodeWords<Widen555>(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV);
}

IppStatus ippiBGR565ToYUYV422_8u_C3C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                       int32_t dstStep, IppiSize roiSize) {
    return EncodeWords<Widen565>(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV);
}

IppStatus ippiGrayscaleToYUYV422_8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize) {
    return EncodeGray8(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV);
}

IppStatus ippiGrayscale16ToYUYV422_16u8u_C1C2R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                               int32_t dstStep, IppiSize roiSize) {
    return EncodeGray16(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV);
}

IppStatus ippiGrayscale4ToYUYV422_4u8u_C1C2R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                             int32_t dstStep, IppiSize roiSize) {
    return EncodeGray4(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV);
}

// ---- From 4:2:2.

IppStatus ippiUYVY422ToBGR_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                    int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY, WriteBgr);
}

IppStatus ippiUYVY422ToBGRA_8u_C2C4R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                     int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY, WriteBgra);
}

IppStatus ippiUYVY422ToBGR555_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY, Write555);
}

IppStatus ippiUYVY422ToBGR565_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY, Write565);
}

IppStatus ippiUYVY422ToGrayscale_8u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY, WriteGray8);
}

IppStatus ippiUYVY422ToGrayscale_16u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                           int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY, WriteGray16);
}

IppStatus ippiUYVY422ToGrayscale_4u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plUYVY, WriteGray4);
}

IppStatus ippiYUYV422ToBGR_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                    int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV, WriteBgr);
}

IppStatus ippiYUYV422ToBGRA_8u_8u_C2C4R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                        int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV, WriteBgra);
}

IppStatus ippiYUYV422ToBGR555_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV, Write555);
}

IppStatus ippiYUYV422ToBGR565_8u_C2C3R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                       int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV, Write565);
}

IppStatus ippiYUYV422ToGrayscale_8u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV, WriteGray8);
}

IppStatus ippiYUYV422ToGrayscale_16u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                           int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV, WriteGray16);
}

IppStatus ippiYUYV422ToGrayscale_4u_C2C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                          int32_t dstStep, IppiSize roiSize) {
    return Decode422(pSrc, srcStep, pDst, dstStep, roiSize, plYUYV, WriteGray4);
}

// ---- To grayscale.

IppStatus ippiBGRToGrayscale_16u_C3C1R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                       Ipp16u* pDst, int32_t dstStep, IppiSize roiSize) {
    return BgrToGray(pSrc, srcStep, srcPixelSize, pDst, dstStep, roiSize, StoreGray16);
}

IppStatus ippiBGRToGrayscale_4u_C3C1R(const Ipp8u* pSrc, int32_t srcStep, int32_t srcPixelSize,
                                      Ipp8u* pDst, int32_t dstStep, IppiSize roiSize) {
    return BgrToGray(pSrc, srcStep, srcPixelSize, pDst, dstStep, roiSize, StoreGray4);
}

IppStatus ippiBGR555ToGrayscale_8u16u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                            int32_t dstStep, IppiSize roiSize) {
    return WordsToGray<Widen555>(pSrc, srcStep, pDst, dstStep, roiSize, StoreGray16);
}

IppStatus ippiBGR565ToGrayscale_8u16u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp16u* pDst,
                                            int32_t dstStep, IppiSize roiSize) {
    return WordsToGray<Widen565>(pSrc, srcStep, pDst, dstStep, roiSize, StoreGray16);
}

IppStatus ippiBGR555ToGrayscale_8u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize) {
    return WordsToGray<Widen555>(pSrc, srcStep, pDst, dstStep, roiSize, StoreGray8);
}

IppStatus ippiBGR555ToGrayscale_4u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize) {
    return WordsToGray<Widen555>(pSrc, srcStep, pDst, dstStep, roiSize, StoreGray4);
}

IppStatus ippiBGR565ToGrayscale_8u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize) {
    return WordsToGray<Widen565>(pSrc, srcStep, pDst, dstStep, roiSize, StoreGray8);
}

IppStatus ippiBGR565ToGrayscale_4u_C3C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst,
                                         int32_t dstStep, IppiSize roiSize) {
    return WordsToGray<Widen565>(pSrc, srcStep, pDst, dstStep, roiSize, StoreGray4);
}

// ---- Grayscale depth.

IppStatus ippiScale_4u16u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp16u* pDst, int32_t dstStep,
                              IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            StoreWord(ADstRow + Offset(AIndex, 2), NibbleAt(ASrcRow, AIndex) << 12);
                        });
}

IppStatus ippiScale_8u4u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                             IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            StoreNibble(ADstRow, AIndex, ASrcRow[AIndex] >> 4);
                        });
}

IppStatus ippiScale_16u4u_C1R(const Ipp16u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                              IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            StoreNibble(ADstRow, AIndex, WordAt(ASrcRow, AIndex) >> 12);
                        });
}

IppStatus ippiScale_4u8u_C1R(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pDst, int32_t dstStep,
                             IppiSize roiSize) {
    return ForEachPixel(pSrc, srcStep, pDst, dstStep, roiSize,
                        [](const Ipp8u* ASrcRow, Ipp8u* ADstRow, int32_t AIndex) {
                            ADstRow[AIndex] = static_cast<Ipp8u>(NibbleAt(ASrcRow, AIndex) << 4);
                        });
}

// ---- 4-bit operations.

IppStatus ippiAdd_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t) {
    return NibbleOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                           [](int ADst, int ASrc) { return std::min(ADst + ASrc, 15); });
}

IppStatus ippiSub_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t) {
    return NibbleOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                           [](int ADst, int ASrc) { return std::max(ADst - ASrc, 0); });
}

IppStatus ippiMul_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t) {
    return NibbleOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                           [](int ADst, int ASrc) { return std::min(ADst * ASrc, 15); });
}

IppStatus ippiMulScale_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst,
                               int32_t srcDstStep, IppiSize roiSize) {
    return NibbleOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                           [](int ADst, int ASrc) { return (ADst * ASrc) >> 4; });
}

IppStatus ippiDiv_4u_C1IRSfs(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                             IppiSize roiSize, int32_t) {
    return NibbleOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                           [](int ADst, int ASrc) { return ASrc == 0 ? 0 : ADst / ASrc; });
}

IppStatus ippiAnd_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                          IppiSize roiSize) {
    return ByteOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                         [](int ADst, int ASrc) { return ADst & ASrc; });
}

IppStatus ippiOr_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                         IppiSize roiSize) {
    return ByteOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                         [](int ADst, int ASrc) { return ADst | ASrc; });
}

IppStatus ippiXor_4u_C1IR(const Ipp8u* pSrc, int32_t srcStep, Ipp8u* pSrcDst, int32_t srcDstStep,
                          IppiSize roiSize) {
    return ByteOperation(pSrc, srcStep, pSrcDst, srcDstStep, roiSize,
                         [](int ADst, int ASrc) { return ADst ^ ASrc; });
}

IppStatus ippiAbsDiff_4u_C1R(const Ipp8u* pSrc1, int32_t src1Step, const Ipp8u* pSrc2,
                             int32_t src2Step, Ipp8u* pDst, int32_t dstStep, IppiSize roiSize) {
    if (pSrc2 == nullptr)
        return ippStsNullPtrErr;
    return ForEachRow(pSrc1, src1Step, pDst, dstStep, roiSize,
                      [&](const Ipp8u* ARow1, Ipp8u* ADstRow, int32_t ARow) {
                          const Ipp8u* row2 = RowAt(pSrc2, src2Step, ARow);
                          for (int32_t i = 0; i < roiSize.cx / 2; ++i) {
                              const int high = std::abs((ARow1[i] >> 4) - (row2[i] >> 4));
                              const int low = std::abs((ARow1[i] & 0x0F) - (row2[i] & 0x0F));
                              ADstRow[i] = static_cast<Ipp8u>((high << 4) | low);
                          }
                      });
}

IppStatus ippiSet_4u_C1R(Ipp8u val, Ipp8u* pDst, int32_t dstStep, IppiSize roiSize) {
    const auto both = static_cast<Ipp8u>((val & 0xF0) | (val >> 4));
    return ForEachRow(
        pDst, dstStep, pDst, dstStep, roiSize,
        [&](const Ipp8u*, Ipp8u* ADstRow, int32_t) { std::fill_n(ADstRow, roiSize.cx / 2, both); });
}

} // namespace sonvera
