#include "sonvera/primitives/IPPExtraPixelFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <random>
#include <vector>

namespace sonvera {
namespace {

// ---- Images: rows of Step bytes, random content everywhere (padding included), so that a
// comparison of the whole buffer also proves that padding was left alone.

struct TImage {
    int32_t Step;
    int32_t Height;
    std::vector<Ipp8u> Bytes;

    Ipp8u* Row(int32_t ARow) { return Bytes.data() + ARow * Step; }
    const Ipp8u* Row(int32_t ARow) const { return Bytes.data() + ARow * Step; }
};

TImage RandomImage(int32_t AStep, int32_t AHeight, uint32_t ASeed) {
    std::mt19937 random(ASeed);
    TImage image{AStep, AHeight, std::vector<Ipp8u>(static_cast<size_t>(AStep * AHeight))};
    for (Ipp8u& byte : image.Bytes)
        byte = static_cast<Ipp8u>(random());
    return image;
}

int Word(const Ipp8u* ARow, int AIndex) {
    return ARow[2 * AIndex] | (ARow[2 * AIndex + 1] << 8);
}
void PutWord(Ipp8u* ARow, int AIndex, int AValue) {
    ARow[2 * AIndex] = static_cast<Ipp8u>(AValue & 0xFF);
    ARow[2 * AIndex + 1] = static_cast<Ipp8u>(AValue >> 8);
}
int Nibble(const Ipp8u* ARow, int AIndex) {
    return AIndex % 2 == 0 ? ARow[AIndex / 2] >> 4 : ARow[AIndex / 2] % 16;
}
void PutNibble(Ipp8u* ARow, int AIndex, int AValue) {
    Ipp8u& byte = ARow[AIndex / 2];
    byte = AIndex % 2 == 0 ? static_cast<Ipp8u>(AValue * 16 + byte % 16)
                           : static_cast<Ipp8u>(byte / 16 * 16 + AValue);
}

// ---- Reference colour arithmetic, written from the formulas.

struct TComponents {
    int C0; // byte 0 / low field (blue)
    int C1;
    int C2; // byte 2 / high field (red)
};

// The fields of a 16-bit pixel with AGreen bits of green: 6 for 565, 5 for 555, whose bit 15
// is ignored.
TComponents Fields(int APixel, int AGreen) {
    return {APixel % 32, APixel / 32 % (1 << AGreen), APixel / (32 << AGreen) % 32};
}
int Scaled(int AField, int AMax) {
    return static_cast<int>(std::lround(AField * 255.0 / AMax));
}

// Weighted sums of integers over 1000: a tie is exactly representable, so nearbyint (ties to
// even in the default environment) rounds the exact value.
int GrayRef(int A0, int A1, int A2) {
    return static_cast<int>(std::nearbyint((299 * A0 + 587 * A1 + 114 * A2) / 1000.0));
}
int Gray16Ref(int A0, int A1, int A2) {
    return static_cast<int>(std::nearbyint(255.0 * (299 * A0 + 587 * A1 + 114 * A2) / 1000.0));
}

struct TYuvaRef {
    int Y, U, V, A;
};

TYuvaRef YuvRef(TComponents ABgr, int AAlpha = 0) {
    const int r = ABgr.C2, g = ABgr.C1, b = ABgr.C0;
    return {(66 * r + 129 * g + 25 * b + 4224) / 256, (-38 * r - 74 * g + 112 * b + 32896) / 256,
            (112 * r - 94 * g - 18 * b + 32896) / 256, AAlpha};
}
TYuvaRef GrayYuvRef(int AGray) {
    return {(AGray * 220 + 4224) / 256, 128, 128, 0};
}

int Clamp255(int AValue) {
    return AValue < 0 ? 0 : (AValue > 255 ? 255 : AValue);
}
TComponents RgbRef(int AY, int AU, int AV) {
    const int c = AY - 16, d = AU - 128, e = AV - 128;
    return {Clamp255((298 * c + 516 * d + 128) / 256),
            Clamp255((298 * c - 100 * d - 208 * e + 128) / 256),
            Clamp255((298 * c + 409 * e + 128) / 256)};
}

enum TLayout { lyUYVY, lyYUYV, lyUYVA };

// Encodes APixels pixels per row the plain way: pairs averaged, a lone last pixel written as
// a pair with the chroma carried from the previous pair's second pixel (0 at the start).
void Encode422Ref(const TImage& ASrc, TImage& ADst, int APixels, TLayout ALayout,
                  const std::function<TYuvaRef(const Ipp8u*, int)>& APixel) {
    int carriedU = 0, carriedV = 0;
    const int pairBytes = ALayout == lyUYVA ? 6 : 4;
    for (int row = 0; row < ASrc.Height; ++row) {
        for (int x = 0; x < APixels; x += 2) {
            const TYuvaRef p0 = APixel(ASrc.Row(row), x);
            TYuvaRef p1 = p0;
            int u, v;
            if (x + 1 < APixels) {
                p1 = APixel(ASrc.Row(row), x + 1);
                u = (p0.U + p1.U) / 2;
                v = (p0.V + p1.V) / 2;
            } else {
                u = (carriedU + p0.U) / 2;
                v = (carriedV + p0.V) / 2;
            }
            carriedU = p1.U;
            carriedV = p1.V;
            Ipp8u* at = ADst.Row(row) + x / 2 * pairBytes;
            std::vector<int> bytes;
            if (ALayout == lyUYVY)
                bytes = {u, p0.Y, v, p1.Y};
            else if (ALayout == lyYUYV)
                bytes = {p0.Y, u, p1.Y, v};
            else
                bytes = {u, p0.Y, p0.A, v, p1.Y, p1.A};
            for (size_t i = 0; i < bytes.size(); ++i)
                at[i] = static_cast<Ipp8u>(bytes[i]);
        }
    }
}

// Decodes the whole pairs of each row; APut(destination row, index, components).
void Decode422Ref(const TImage& ASrc, TImage& ADst, int AWidth, TLayout ALayout,
                  const std::function<void(Ipp8u*, int, TComponents)>& APut) {
    for (int row = 0; row < ASrc.Height; ++row) {
        for (int pair = 0; pair < AWidth / 2; ++pair) {
            const Ipp8u* at = ASrc.Row(row) + 4 * pair;
            const int u = ALayout == lyUYVY ? at[0] : at[1];
            const int v = ALayout == lyUYVY ? at[2] : at[3];
            const int y0 = ALayout == lyUYVY ? at[1] : at[0];
            const int y1 = ALayout == lyUYVY ? at[3] : at[2];
            APut(ADst.Row(row), 2 * pair, RgbRef(y0, u, v));
            APut(ADst.Row(row), 2 * pair + 1, RgbRef(y1, u, v));
        }
    }
}

// One region for every case: an odd width, so that every lone-pixel rule is exercised, and
// enough pixels for a 16-bit source to hold every value.
constexpr IppiSize kRoi{257, 256};

// The bytes a row of kRoi.cx pixels of ABits takes, counted in whole pairs of pixels.
int32_t RowBytes(int ABits) {
    return ((kRoi.cx + 1) / 2 * 2 * ABits + 7) / 8;
}

// Random bytes, except that the pixels of a 16-bit source take every word value: an odd
// multiplier permutes the words.
TImage SourceImage(int ABits, uint32_t ASeed) {
    TImage image = RandomImage(RowBytes(ABits) + 3, kRoi.cy, ASeed);
    if (ABits == 16)
        for (int row = 0; row < kRoi.cy; ++row)
            for (int x = 0; x < kRoi.cx; ++x)
                PutWord(
                    image.Row(row), x,
                    static_cast<int>(static_cast<uint32_t>(row * kRoi.cx + x) * 40503u & 0xFFFF));
    return image;
}

// A primitive of any of the shapes below over a whole source and destination image.
using TRun = std::function<IppStatus(const TImage&, TImage&)>;
template <class TSrc, class TDst>
TRun Over(IppStatus (*AFn)(const TSrc*, int32_t, TDst*, int32_t, IppiSize)) {
    return [AFn](const TImage& s, TImage& d) {
        return AFn(reinterpret_cast<const TSrc*>(s.Bytes.data()), s.Step,
                   reinterpret_cast<TDst*>(d.Bytes.data()), d.Step, kRoi);
    };
}
template <class TDst>
TRun Over(IppStatus (*AFn)(const Ipp8u*, int32_t, int32_t, TDst*, int32_t, IppiSize),
          int32_t APixelSize) {
    return [AFn, APixelSize](const TImage& s, TImage& d) {
        return AFn(s.Bytes.data(), s.Step, APixelSize, reinterpret_cast<TDst*>(d.Bytes.data()),
                   d.Step, kRoi);
    };
}
// The 4-bit arithmetic ignores its scale factor.
TRun Over(IppStatus (*AFn)(const Ipp8u*, int32_t, Ipp8u*, int32_t, IppiSize, int32_t)) {
    return [AFn](const TImage& s, TImage& d) {
        return AFn(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step, kRoi, 7);
    };
}

// A case: the primitive and its reference, which writes the expected destination over a copy
// of the destination's bytes.
struct TPixelCase {
    const char* Name;
    int SrcBits, DstBits; // per pixel
    TRun Run;
    std::function<void(const TImage&, TImage&)> Reference;
};

void ExpectEveryCaseMatchesItsReference(const std::vector<TPixelCase>& ACases) {
    uint32_t seed = 100;
    for (const TPixelCase& c : ACases) {
        SCOPED_TRACE(c.Name);
        const TImage src = SourceImage(c.SrcBits, ++seed);
        TImage dst = RandomImage(RowBytes(c.DstBits) + 5, kRoi.cy, ++seed);
        TImage expected = dst;
        c.Reference(src, expected);
        const std::vector<Ipp8u> srcBefore = src.Bytes;
        ASSERT_EQ(c.Run(src, dst), ippStsNoErr);
        const auto wrong =
            std::mismatch(dst.Bytes.begin(), dst.Bytes.end(), expected.Bytes.begin()).first;
        EXPECT_TRUE(wrong == dst.Bytes.end())
            << "first wrong byte " << wrong - dst.Bytes.begin() << ", rows of " << dst.Step;
        EXPECT_TRUE(src.Bytes == srcBefore);
    }
}

// Pixel by pixel: a reader of source pixels and a writer of destination pixels.
using TReader = TComponents (*)(const Ipp8u*, int);
using TWriter = void (*)(Ipp8u*, int, TComponents);

TPixelCase Map(const char* AName, int ASrcBits, int ADstBits, TRun ARun, TReader ARead,
               TWriter AWrite) {
    return {AName, ASrcBits, ADstBits, std::move(ARun),
            [ARead, AWrite](const TImage& s, TImage& e) {
                for (int row = 0; row < s.Height; ++row)
                    for (int x = 0; x < kRoi.cx; ++x)
                        AWrite(e.Row(row), x, ARead(s.Row(row), x));
            }};
}

TComponents Bgr3(const Ipp8u* ARow, int AIndex) {
    return {ARow[3 * AIndex], ARow[3 * AIndex + 1], ARow[3 * AIndex + 2]};
}
TComponents Bgr4(const Ipp8u* ARow, int AIndex) {
    return {ARow[4 * AIndex], ARow[4 * AIndex + 1], ARow[4 * AIndex + 2]};
}
// 16-bit pixels widened by their top bits, and widened to the full range.
template <int AGreen> TComponents Top(const Ipp8u* ARow, int AIndex) {
    const TComponents f = Fields(Word(ARow, AIndex), AGreen);
    return {f.C0 * 8, f.C1 << (8 - AGreen), f.C2 * 8};
}
template <int AGreen> TComponents Full(const Ipp8u* ARow, int AIndex) {
    const TComponents f = Fields(Word(ARow, AIndex), AGreen);
    return {Scaled(f.C0, 31), Scaled(f.C1, (1 << AGreen) - 1), Scaled(f.C2, 31)};
}

void PutBgr(Ipp8u* ARow, int AIndex, TComponents AColour) {
    ARow[3 * AIndex] = static_cast<Ipp8u>(AColour.C0);
    ARow[3 * AIndex + 1] = static_cast<Ipp8u>(AColour.C1);
    ARow[3 * AIndex + 2] = static_cast<Ipp8u>(AColour.C2);
}
void PutBgra(Ipp8u* ARow, int AIndex, TComponents AColour) {
    const Ipp8u bytes[] = {static_cast<Ipp8u>(AColour.C0), static_cast<Ipp8u>(AColour.C1),
                           static_cast<Ipp8u>(AColour.C2), 255};
    std::copy(bytes, bytes + 4, ARow + 4 * AIndex);
}
// Narrowing keeps the top bits; bit 15 of a 555 pixel is written as 0.
template <int AGreen> void Put16(Ipp8u* ARow, int AIndex, TComponents AColour) {
    PutWord(ARow, AIndex,
            AColour.C0 / 8 + (AColour.C1 >> (8 - AGreen) << 5) + (AColour.C2 / 8 << (5 + AGreen)));
}
// The byte-0 field weighs 0.299.
void PutGray8(Ipp8u* ARow, int AIndex, TComponents AColour) {
    ARow[AIndex] = static_cast<Ipp8u>(GrayRef(AColour.C0, AColour.C1, AColour.C2));
}
void PutGray16(Ipp8u* ARow, int AIndex, TComponents AColour) {
    PutWord(ARow, AIndex, Gray16Ref(AColour.C0, AColour.C1, AColour.C2));
}
void PutGray4(Ipp8u* ARow, int AIndex, TComponents AColour) {
    PutNibble(ARow, AIndex, GrayRef(AColour.C0, AColour.C1, AColour.C2) / 16);
}

// ---- 16-bit RGB.

TEST(IPPExtraPixelFunctions, SixteenBitPixelsWidenAndNarrowByTheirTopBits) {
    // 565 <-> 555 goes through the top bits as well.
    ExpectEveryCaseMatchesItsReference({
        Map("RGB565ToRGB", 16, 24, Over(ippiRGB565ToRGB_8u_C3R), Top<6>, PutBgr),
        Map("RGB565ToRGBA", 16, 32, Over(ippiRGB565ToRGBA_8u_AC4R), Top<6>, PutBgra),
        Map("RGB555ToRGB", 16, 24, Over(ippiRGB555ToRGB_8u_C3R), Top<5>, PutBgr),
        Map("RGB555ToRGBA", 16, 32, Over(ippiRGB555ToRGBA_8u_AC4R), Top<5>, PutBgra),
        Map("RGBToRGB565", 24, 16, Over(ippiRGB_8u_C3RToRGB565), Bgr3, Put16<6>),
        Map("RGBAToRGB565", 32, 16, Over(ippiRGBA_8u_AC4RToRGB565), Bgr4, Put16<6>),
        Map("RGBToRGB555", 24, 16, Over(ippiRGB_8u_C3RToRGB555), Bgr3, Put16<5>),
        Map("RGBAToRGB555", 32, 16, Over(ippiRGBA_8u_AC4RToRGB555), Bgr4, Put16<5>),
        Map("RGB565ToRGB555", 16, 16, Over(ippiRGB565ToRGB555), Top<6>, Put16<5>),
        Map("RGB555ToRGB565", 16, 16, Over(ippiRGB555ToRGB565), Top<5>, Put16<6>),
    });
}

// ---- To and from 4:2:2.

using TYuvReader = std::function<TYuvaRef(const Ipp8u*, int)>;

TPixelCase Encoder(const char* AName, int ASrcBits, TLayout ALayout, TRun ARun, TYuvReader APixel) {
    // 4-bit sources convert whole bytes only; the lone last pixel is left out.
    const int pixels = ASrcBits == 4 ? kRoi.cx / 2 * 2 : kRoi.cx;
    return {AName, ASrcBits, ALayout == lyUYVA ? 24 : 16, std::move(ARun),
            [=](const TImage& s, TImage& e) { Encode422Ref(s, e, pixels, ALayout, APixel); }};
}

TEST(IPPExtraPixelFunctions, EveryEncoderMatchesTheReference) {
    const auto bgr = [](TReader ARead) {
        return [ARead](const Ipp8u* ARow, int AIndex) { return YuvRef(ARead(ARow, AIndex)); };
    };
    const auto bgra = [](const Ipp8u* ARow, int AIndex) {
        return YuvRef(Bgr4(ARow, AIndex), ARow[4 * AIndex + 3]);
    };
    const auto gray8 = [](const Ipp8u* ARow, int AIndex) { return GrayYuvRef(ARow[AIndex]); };
    const auto gray16 = [](const Ipp8u* ARow, int AIndex) {
        return GrayYuvRef(Word(ARow, AIndex) / 256);
    };
    const auto gray4 = [](const Ipp8u* ARow, int AIndex) {
        return GrayYuvRef(Nibble(ARow, AIndex) * 16);
    };
    ExpectEveryCaseMatchesItsReference({
        Encoder("BGRToUYV422 3", 24, lyUYVY, Over(ippiBGRToUYV422_8u_C3C2R, 3), bgr(Bgr3)),
        Encoder("BGRToUYV422 4", 32, lyUYVY, Over(ippiBGRToUYV422_8u_C3C2R, 4), bgr(Bgr4)),
        Encoder("BGRToYUYV422 3", 24, lyYUYV, Over(ippiBGRToYUYV422_8u_C3C2R, 3), bgr(Bgr3)),
        Encoder("BGRToYUYV422 4", 32, lyYUYV, Over(ippiBGRToYUYV422_8u_C3C2R, 4), bgr(Bgr4)),
        Encoder("BGRAToUYVA422", 32, lyUYVA, Over(ippiBGRAToUYVA422_8u_C4C3R), bgra),
        Encoder("BGR555ToUYV422", 16, lyUYVY, Over(ippiBGR555ToUYV422_8u_C3C2R), bgr(Full<5>)),
        Encoder("BGR565ToUYV422", 16, lyUYVY, Over(ippiBGR565ToUYV422_8u_C3C2R), bgr(Full<6>)),
        Encoder("BGR555ToYUYV422", 16, lyYUYV, Over(ippiBGR555ToYUYV422_8u_C3C2R), bgr(Full<5>)),
        Encoder("BGR565ToYUYV422", 16, lyYUYV, Over(ippiBGR565ToYUYV422_8u_C3C2R), bgr(Full<6>)),
        Encoder("GrayscaleToUYV422", 8, lyUYVY, Over(ippiGrayscaleToUYV422_8u_C1C2R), gray8),
        Encoder("GrayscaleToYUYV422", 8, lyYUYV, Over(ippiGrayscaleToYUYV422_8u_C1C2R), gray8),
        Encoder("Grayscale16ToUYV422", 16, lyUYVY, Over(ippiGrayscale16ToUYV422_16u8u_C1C2R),
                gray16),
        Encoder("Grayscale16ToYUYV422", 16, lyYUYV, Over(ippiGrayscale16ToYUYV422_16u8u_C1C2R),
                gray16),
        Encoder("Grayscale4ToUYV422", 4, lyUYVY, Over(ippiGrayscale4ToUYV422_4u8u_C1C2R), gray4),
        Encoder("Grayscale4ToYUYV422", 4, lyYUYV, Over(ippiGrayscale4ToYUYV422_4u8u_C1C2R), gray4),
    });
}

// Decoded gray is the gray of the colour narrowed to 565, the byte-2 field weighing 0.299.
TComponents Masked565(TComponents AColour) {
    return {AColour.C2 & 248, AColour.C1 & 252, AColour.C0 & 248};
}

TPixelCase Decoder(const char* AName, int ADstBits, TLayout ALayout, TRun ARun, TWriter APut) {
    return {AName, 16, ADstBits, std::move(ARun),
            [=](const TImage& s, TImage& e) { Decode422Ref(s, e, kRoi.cx, ALayout, APut); }};
}

TEST(IPPExtraPixelFunctions, EveryDecoderMatchesTheReferenceAndSkipsTheLonePixel) {
    const TWriter gray8 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        PutGray8(ARow, AIndex, Masked565(AColour));
    };
    const TWriter gray16 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        PutGray16(ARow, AIndex, Masked565(AColour));
    };
    const TWriter gray4 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        PutGray4(ARow, AIndex, Masked565(AColour));
    };
    ExpectEveryCaseMatchesItsReference({
        Decoder("UYVY422ToBGR", 24, lyUYVY, Over(ippiUYVY422ToBGR_8u_C2C3R), PutBgr),
        Decoder("UYVY422ToBGRA", 32, lyUYVY, Over(ippiUYVY422ToBGRA_8u_C2C4R), PutBgra),
        Decoder("UYVY422ToBGR555", 16, lyUYVY, Over(ippiUYVY422ToBGR555_8u_C2C3R), Put16<5>),
        Decoder("UYVY422ToBGR565", 16, lyUYVY, Over(ippiUYVY422ToBGR565_8u_C2C3R), Put16<6>),
        Decoder("UYVY422ToGrayscale8", 8, lyUYVY, Over(ippiUYVY422ToGrayscale_8u_C2C1R), gray8),
        Decoder("UYVY422ToGrayscale16", 16, lyUYVY, Over(ippiUYVY422ToGrayscale_16u_C2C1R), gray16),
        Decoder("UYVY422ToGrayscale4", 4, lyUYVY, Over(ippiUYVY422ToGrayscale_4u_C2C1R), gray4),
        Decoder("YUYV422ToBGR", 24, lyYUYV, Over(ippiYUYV422ToBGR_8u_C2C3R), PutBgr),
        Decoder("YUYV422ToBGRA", 32, lyYUYV, Over(ippiYUYV422ToBGRA_8u_8u_C2C4R), PutBgra),
        Decoder("YUYV422ToBGR555", 16, lyYUYV, Over(ippiYUYV422ToBGR555_8u_C2C3R), Put16<5>),
        Decoder("YUYV422ToBGR565", 16, lyYUYV, Over(ippiYUYV422ToBGR565_8u_C2C3R), Put16<6>),
        Decoder("YUYV422ToGrayscale8", 8, lyYUYV, Over(ippiYUYV422ToGrayscale_8u_C2C1R), gray8),
        Decoder("YUYV422ToGrayscale16", 16, lyYUYV, Over(ippiYUYV422ToGrayscale_16u_C2C1R), gray16),
        Decoder("YUYV422ToGrayscale4", 4, lyYUYV, Over(ippiYUYV422ToGrayscale_4u_C2C1R), gray4),
    });
}

// ---- Grayscale: of colour pixels, and from one depth to another.

// From one gray depth to another through the top nibble: a nibble n widens to n << 4 or
// n << 12, narrowing keeps the top nibble, and an odd width keeps the low nibble of the last
// byte.
template <int ABits> TComponents TopNibble(const Ipp8u* ARow, int AIndex) {
    return {ABits == 4   ? Nibble(ARow, AIndex)
            : ABits == 8 ? ARow[AIndex] >> 4
                         : Word(ARow, AIndex) >> 12,
            0, 0};
}
template <int ABits> void PutTopNibble(Ipp8u* ARow, int AIndex, TComponents AGray) {
    if (ABits == 4)
        PutNibble(ARow, AIndex, AGray.C0);
    else if (ABits == 8)
        ARow[AIndex] = static_cast<Ipp8u>(AGray.C0 << 4);
    else
        PutWord(ARow, AIndex, AGray.C0 << 12);
}

TEST(IPPExtraPixelFunctions, GrayscaleOfEverySourceAndDepth) {
    ExpectEveryCaseMatchesItsReference({
        Map("BGRToGrayscale16 3", 24, 16, Over(ippiBGRToGrayscale_16u_C3C1R, 3), Bgr3, PutGray16),
        Map("BGRToGrayscale16 4", 32, 16, Over(ippiBGRToGrayscale_16u_C3C1R, 4), Bgr4, PutGray16),
        Map("BGRToGrayscale4 3", 24, 4, Over(ippiBGRToGrayscale_4u_C3C1R, 3), Bgr3, PutGray4),
        Map("BGRToGrayscale4 4", 32, 4, Over(ippiBGRToGrayscale_4u_C3C1R, 4), Bgr4, PutGray4),
        Map("BGR555ToGrayscale8", 16, 8, Over(ippiBGR555ToGrayscale_8u_C3C1R), Full<5>, PutGray8),
        Map("BGR565ToGrayscale8", 16, 8, Over(ippiBGR565ToGrayscale_8u_C3C1R), Full<6>, PutGray8),
        Map("BGR555ToGrayscale16", 16, 16, Over(ippiBGR555ToGrayscale_8u16u_C3C1R), Full<5>,
            PutGray16),
        Map("BGR565ToGrayscale16", 16, 16, Over(ippiBGR565ToGrayscale_8u16u_C3C1R), Full<6>,
            PutGray16),
        Map("BGR555ToGrayscale4", 16, 4, Over(ippiBGR555ToGrayscale_4u_C3C1R), Full<5>, PutGray4),
        Map("BGR565ToGrayscale4", 16, 4, Over(ippiBGR565ToGrayscale_4u_C3C1R), Full<6>, PutGray4),
        Map("Scale_4u8u", 4, 8, Over(ippiScale_4u8u_C1R), TopNibble<4>, PutTopNibble<8>),
        Map("Scale_4u16u", 4, 16, Over(ippiScale_4u16u_C1R), TopNibble<4>, PutTopNibble<16>),
        Map("Scale_8u4u", 8, 4, Over(ippiScale_8u4u_C1R), TopNibble<8>, PutTopNibble<4>),
        Map("Scale_16u4u", 16, 4, Over(ippiScale_16u4u_C1R), TopNibble<16>, PutTopNibble<4>),
    });
}

// ---- 4-bit operations: whole bytes only, each pixel on its own.

TPixelCase NibbleOp(const char* AName, TRun ARun, int (*AOp)(int, int)) {
    return {AName, 4, 4, std::move(ARun), [AOp](const TImage& s, TImage& e) {
                for (int row = 0; row < s.Height; ++row)
                    for (int b = 0; b < kRoi.cx / 2; ++b) {
                        Ipp8u& d = e.Row(row)[b];
                        const int v = s.Row(row)[b];
                        d = static_cast<Ipp8u>(AOp(d >> 4, v >> 4) * 16 + AOp(d % 16, v % 16));
                    }
            }};
}

TEST(IPPExtraPixelFunctions, NibbleOperationsSaturateEachPixelAlone) {
    const TRun absDiff = [](const TImage& s, TImage& d) {
        return ippiAbsDiff_4u_C1R(d.Bytes.data(), d.Step, s.Bytes.data(), s.Step, d.Bytes.data(),
                                  d.Step, kRoi);
    };
    const TRun set = [](const TImage&, TImage& d) {
        return ippiSet_4u_C1R(0x5A, d.Bytes.data(), d.Step, kRoi);
    };
    ExpectEveryCaseMatchesItsReference({
        NibbleOp("Add", Over(ippiAdd_4u_C1IRSfs), [](int d, int s) { return std::min(d + s, 15); }),
        NibbleOp("Sub", Over(ippiSub_4u_C1IRSfs), [](int d, int s) { return std::max(d - s, 0); }),
        NibbleOp("Mul", Over(ippiMul_4u_C1IRSfs), [](int d, int s) { return std::min(d * s, 15); }),
        NibbleOp("Div", Over(ippiDiv_4u_C1IRSfs), [](int d, int s) { return s == 0 ? 0 : d / s; }),
        NibbleOp("MulScale", Over(ippiMulScale_4u_C1IR), [](int d, int s) { return d * s / 16; }),
        NibbleOp("And", Over(ippiAnd_4u_C1IR), [](int d, int s) { return d & s; }),
        NibbleOp("Or", Over(ippiOr_4u_C1IR), [](int d, int s) { return d | s; }),
        NibbleOp("Xor", Over(ippiXor_4u_C1IR), [](int d, int s) { return d ^ s; }),
        NibbleOp("AbsDiff", absDiff, [](int d, int s) { return std::abs(d - s); }),
        NibbleOp("Set", set, [](int, int) { return 5; }),
    });
}

// ---- Arguments.

TEST(IPPExtraPixelFunctions, BadArgumentsWriteNothing) {
    Ipp8u src[16] = {};
    Ipp8u dst[16];
    std::fill(dst, dst + 16, 0x77);
    Ipp16u words[8] = {};
    const auto untouched = [&] {
        return std::all_of(dst, dst + 16, [](Ipp8u v) { return v == 0x77; });
    };
    EXPECT_EQ(ippiRGB565ToRGB_8u_C3R(nullptr, 2, dst, 3, IppiSize{1, 1}), ippStsNullPtrErr);
    EXPECT_EQ(ippiRGB565ToRGB_8u_C3R(words, 2, nullptr, 3, IppiSize{1, 1}), ippStsNullPtrErr);
    EXPECT_EQ(ippiBGRToUYV422_8u_C3C2R(src, 6, 2, dst, 4, IppiSize{2, 1}), ippStsSizeErr);
    EXPECT_EQ(ippiBGRToYUYV422_8u_C3C2R(src, 6, 0, dst, 4, IppiSize{2, 1}), ippStsSizeErr);
    EXPECT_EQ(ippiBGRToGrayscale_4u_C3C1R(src, 6, -3, dst, 4, IppiSize{2, 1}), ippStsSizeErr);
    EXPECT_EQ(ippiBGRToUYV422_8u_C3C2R(nullptr, 6, 2, dst, 4, IppiSize{2, 1}), ippStsNullPtrErr);
    EXPECT_EQ(ippiAbsDiff_4u_C1R(src, 4, nullptr, 4, dst, 4, IppiSize{2, 1}), ippStsNullPtrErr);
    EXPECT_EQ(ippiSet_4u_C1R(0x11, nullptr, 4, IppiSize{2, 1}), ippStsNullPtrErr);
    // Empty regions are no error and write nothing.
    EXPECT_EQ(ippiUYVY422ToBGR_8u_C2C3R(src, 4, dst, 6, IppiSize{0, 3}), ippStsNoErr);
    EXPECT_EQ(ippiGrayscaleToUYV422_8u_C1C2R(src, 4, dst, 6, IppiSize{3, -1}), ippStsNoErr);
    EXPECT_EQ(ippiSet_4u_C1R(0x11, dst, 4, IppiSize{-2, 2}), ippStsNoErr);
    // One pixel of 4-bit gray holds no whole byte: nothing is converted or combined.
    EXPECT_EQ(ippiGrayscale4ToYUYV422_4u8u_C1C2R(src, 1, dst, 4, IppiSize{1, 2}), ippStsNoErr);
    EXPECT_EQ(ippiAdd_4u_C1IRSfs(src, 1, dst, 1, IppiSize{1, 4}, 0), ippStsNoErr);
    EXPECT_TRUE(untouched());
}

} // namespace
} // namespace sonvera
