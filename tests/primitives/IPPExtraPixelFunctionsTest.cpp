#include "sonvera/primitives/IPPExtraPixelFunctions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
    Ipp16u* Words() { return reinterpret_cast<Ipp16u*>(Bytes.data()); }
    const Ipp16u* Words() const { return reinterpret_cast<const Ipp16u*>(Bytes.data()); }
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

TComponents Fields565(int APixel) {
    return {APixel % 32, APixel / 32 % 64, APixel / 2048};
}
TComponents Fields555(int APixel) {
    return {APixel % 32, APixel / 32 % 32, APixel / 1024 % 32};
}
int Scaled(int AField, int AMax) {
    return static_cast<int>(std::lround(AField * 255.0 / AMax));
}
TComponents Widened565(int APixel) {
    const TComponents f = Fields565(APixel);
    return {Scaled(f.C0, 31), Scaled(f.C1, 63), Scaled(f.C2, 31)};
}
TComponents Widened555(int APixel) {
    const TComponents f = Fields555(APixel);
    return {Scaled(f.C0, 31), Scaled(f.C1, 31), Scaled(f.C2, 31)};
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

constexpr int32_t kWidth = 5; // odd, so every lone-pixel rule is exercised
constexpr int32_t kHeight = 3;
const IppiSize kRoi{kWidth, kHeight};

// ---- 16-bit RGB.

TEST(IPPExtraPixelFunctions, SixteenBitPixelsWidenAndNarrowByTheirTopBits) {
    // Every 16-bit value, one row, widened and compared field by field.
    std::vector<Ipp16u> all(65536);
    for (int p = 0; p < 65536; ++p)
        all[static_cast<size_t>(p)] = static_cast<Ipp16u>(p);
    const IppiSize row{65536, 1};
    std::vector<Ipp8u> bgr(65536 * 3), bgra(65536 * 4);
    ASSERT_EQ(ippiRGB565ToRGB_8u_C3R(all.data(), 131072, bgr.data(), 196608, row), ippStsNoErr);
    ASSERT_EQ(ippiRGB565ToRGBA_8u_AC4R(all.data(), 131072, bgra.data(), 262144, row), ippStsNoErr);
    for (int p = 0; p < 65536; ++p) {
        const TComponents f = Fields565(p);
        const std::array<int, 3> expected{f.C0 * 8, f.C1 * 4, f.C2 * 8};
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(bgr[static_cast<size_t>(3 * p + c)], expected[static_cast<size_t>(c)]);
            ASSERT_EQ(bgra[static_cast<size_t>(4 * p + c)], expected[static_cast<size_t>(c)]);
        }
        ASSERT_EQ(bgra[static_cast<size_t>(4 * p + 3)], 255);
    }
    // Narrowing back gives every 565 value again: widening keeps all the bits.
    std::vector<Ipp16u> back(65536);
    ASSERT_EQ(ippiRGB_8u_C3RToRGB565(bgr.data(), 196608, back.data(), 131072, row), ippStsNoErr);
    EXPECT_EQ(back, all);
    ASSERT_EQ(ippiRGBA_8u_AC4RToRGB565(bgra.data(), 262144, back.data(), 131072, row), ippStsNoErr);
    EXPECT_EQ(back, all);

    ASSERT_EQ(ippiRGB555ToRGB_8u_C3R(all.data(), 131072, bgr.data(), 196608, row), ippStsNoErr);
    ASSERT_EQ(ippiRGB555ToRGBA_8u_AC4R(all.data(), 131072, bgra.data(), 262144, row), ippStsNoErr);
    for (int p = 0; p < 65536; ++p) {
        const TComponents f = Fields555(p); // bit 15 is ignored
        const std::array<int, 3> expected{f.C0 * 8, f.C1 * 8, f.C2 * 8};
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(bgr[static_cast<size_t>(3 * p + c)], expected[static_cast<size_t>(c)]);
            ASSERT_EQ(bgra[static_cast<size_t>(4 * p + c)], expected[static_cast<size_t>(c)]);
        }
    }
    ASSERT_EQ(ippiRGB_8u_C3RToRGB555(bgr.data(), 196608, back.data(), 131072, row), ippStsNoErr);
    for (int p = 0; p < 65536; ++p)
        ASSERT_EQ(back[static_cast<size_t>(p)], p & 0x7FFF); // bit 15 written as 0

    // 565 <-> 555 for every value.
    std::vector<Ipp16u> converted(65536);
    ASSERT_EQ(ippiRGB565ToRGB555(all.data(), 131072, converted.data(), 131072, row), ippStsNoErr);
    for (int p = 0; p < 65536; ++p) {
        const TComponents f = Fields565(p);
        ASSERT_EQ(converted[static_cast<size_t>(p)], f.C0 + (f.C1 / 2) * 32 + f.C2 * 1024);
    }
    ASSERT_EQ(ippiRGB555ToRGB565(all.data(), 131072, converted.data(), 131072, row), ippStsNoErr);
    for (int p = 0; p < 65536; ++p) {
        const TComponents f = Fields555(p);
        ASSERT_EQ(converted[static_cast<size_t>(p)], f.C0 + (f.C1 * 2) * 32 + f.C2 * 2048);
    }
}

// ---- To 4:2:2.

struct TEncoderCase {
    const char* Name;
    int SrcPixelBytes; // per pixel, 0 for 4-bit sources
    TLayout Layout;
    std::function<IppStatus(const TImage&, TImage&)> Run;
    std::function<TYuvaRef(const Ipp8u*, int)> Pixel;
};

// A primitive of any of the shapes below over a whole source and destination image.
using TRun = std::function<IppStatus(const TImage&, TImage&)>;
template <class TSrc, class TDst>
TRun Over(IppStatus (*AFn)(const TSrc*, int32_t, TDst*, int32_t, IppiSize)) {
    return [AFn](const TImage& s, TImage& d) {
        return AFn(reinterpret_cast<const TSrc*>(s.Bytes.data()), s.Step,
                   reinterpret_cast<TDst*>(d.Bytes.data()), d.Step, kRoi);
    };
}
TRun Over(IppStatus (*AFn)(const Ipp8u*, int32_t, int32_t, Ipp8u*, int32_t, IppiSize),
          int32_t APixelSize) {
    return [AFn, APixelSize](const TImage& s, TImage& d) {
        return AFn(s.Bytes.data(), s.Step, APixelSize, d.Bytes.data(), d.Step, kRoi);
    };
}

std::vector<TEncoderCase> EncoderCases() {
    const auto bgr = [](int ASize) {
        return [ASize](const Ipp8u* ARow, int AIndex) {
            const Ipp8u* p = ARow + ASize * AIndex;
            return YuvRef({p[0], p[1], p[2]});
        };
    };
    const auto bgra = [](const Ipp8u* ARow, int AIndex) {
        const Ipp8u* p = ARow + 4 * AIndex;
        return YuvRef({p[0], p[1], p[2]}, p[3]);
    };
    const auto from555 = [](const Ipp8u* ARow, int AIndex) {
        return YuvRef(Widened555(Word(ARow, AIndex)));
    };
    const auto from565 = [](const Ipp8u* ARow, int AIndex) {
        return YuvRef(Widened565(Word(ARow, AIndex)));
    };
    const auto gray8 = [](const Ipp8u* ARow, int AIndex) { return GrayYuvRef(ARow[AIndex]); };
    const auto gray16 = [](const Ipp8u* ARow, int AIndex) {
        return GrayYuvRef(Word(ARow, AIndex) / 256);
    };
    const auto gray4 = [](const Ipp8u* ARow, int AIndex) {
        return GrayYuvRef(Nibble(ARow, AIndex) * 16);
    };
    return {
        {"BGRToUYV422 3", 3, lyUYVY, Over(ippiBGRToUYV422_8u_C3C2R, 3), bgr(3)},
        {"BGRToUYV422 4", 4, lyUYVY, Over(ippiBGRToUYV422_8u_C3C2R, 4), bgr(4)},
        {"BGRToYUYV422 3", 3, lyYUYV, Over(ippiBGRToYUYV422_8u_C3C2R, 3), bgr(3)},
        {"BGRToYUYV422 4", 4, lyYUYV, Over(ippiBGRToYUYV422_8u_C3C2R, 4), bgr(4)},
        {"BGRAToUYVA422", 4, lyUYVA, Over(ippiBGRAToUYVA422_8u_C4C3R), bgra},
        {"BGR555ToUYV422", 2, lyUYVY, Over(ippiBGR555ToUYV422_8u_C3C2R), from555},
        {"BGR565ToUYV422", 2, lyUYVY, Over(ippiBGR565ToUYV422_8u_C3C2R), from565},
        {"BGR555ToYUYV422", 2, lyYUYV, Over(ippiBGR555ToYUYV422_8u_C3C2R), from555},
        {"BGR565ToYUYV422", 2, lyYUYV, Over(ippiBGR565ToYUYV422_8u_C3C2R), from565},
        {"GrayscaleToUYV422", 1, lyUYVY, Over(ippiGrayscaleToUYV422_8u_C1C2R), gray8},
        {"GrayscaleToYUYV422", 1, lyYUYV, Over(ippiGrayscaleToYUYV422_8u_C1C2R), gray8},
        {"Grayscale16ToUYV422", 2, lyUYVY, Over(ippiGrayscale16ToUYV422_16u8u_C1C2R), gray16},
        {"Grayscale16ToYUYV422", 2, lyYUYV, Over(ippiGrayscale16ToYUYV422_16u8u_C1C2R), gray16},
        {"Grayscale4ToUYV422", 0, lyUYVY, Over(ippiGrayscale4ToUYV422_4u8u_C1C2R), gray4},
        {"Grayscale4ToYUYV422", 0, lyYUYV, Over(ippiGrayscale4ToYUYV422_4u8u_C1C2R), gray4},
    };
}

TEST(IPPExtraPixelFunctions, EveryEncoderMatchesTheReferenceOnOddWidthsWithPadding) {
    uint32_t seed = 100;
    for (const TEncoderCase& encoder : EncoderCases()) {
        SCOPED_TRACE(encoder.Name);
        const int32_t srcRowBytes =
            encoder.SrcPixelBytes == 0 ? (kWidth + 1) / 2 : kWidth * encoder.SrcPixelBytes;
        const TImage src = RandomImage(srcRowBytes + 3, kHeight, ++seed);
        const int32_t pairs = (kWidth + 1) / 2;
        TImage dst = RandomImage(pairs * (encoder.Layout == lyUYVA ? 6 : 4) + 5, kHeight, ++seed);
        TImage expected = dst;
        // 4-bit sources convert whole bytes only; the lone last pixel is left out.
        const int pixels = encoder.SrcPixelBytes == 0 ? kWidth / 2 * 2 : kWidth;
        Encode422Ref(src, expected, pixels, encoder.Layout, encoder.Pixel);
        ASSERT_EQ(encoder.Run(src, dst), ippStsNoErr);
        EXPECT_EQ(dst.Bytes, expected.Bytes);
    }
}

// ---- From 4:2:2.

struct TDecoderCase {
    const char* Name;
    int DstRowBytes; // for kWidth pixels
    TLayout Layout;
    std::function<IppStatus(const TImage&, TImage&)> Run;
    std::function<void(Ipp8u*, int, TComponents)> Put;
};

int MaskedGray(TComponents AColour) {
    return GrayRef(AColour.C2 & 248, AColour.C1 & 252, AColour.C0 & 248);
}
int MaskedGray16(TComponents AColour) {
    return Gray16Ref(AColour.C2 & 248, AColour.C1 & 252, AColour.C0 & 248);
}

std::vector<TDecoderCase> DecoderCases() {
    const auto putBgr = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        ARow[3 * AIndex] = static_cast<Ipp8u>(AColour.C0);
        ARow[3 * AIndex + 1] = static_cast<Ipp8u>(AColour.C1);
        ARow[3 * AIndex + 2] = static_cast<Ipp8u>(AColour.C2);
    };
    const auto putBgra = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        const Ipp8u bytes[] = {static_cast<Ipp8u>(AColour.C0), static_cast<Ipp8u>(AColour.C1),
                               static_cast<Ipp8u>(AColour.C2), 255};
        std::copy(bytes, bytes + 4, ARow + 4 * AIndex);
    };
    const auto put555 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        PutWord(ARow, AIndex, AColour.C0 / 8 + AColour.C1 / 8 * 32 + AColour.C2 / 8 * 1024);
    };
    const auto put565 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        PutWord(ARow, AIndex, AColour.C0 / 8 + AColour.C1 / 4 * 32 + AColour.C2 / 8 * 2048);
    };
    const auto putGray8 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        ARow[AIndex] = static_cast<Ipp8u>(MaskedGray(AColour));
    };
    const auto putGray16 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        PutWord(ARow, AIndex, MaskedGray16(AColour));
    };
    const auto putGray4 = [](Ipp8u* ARow, int AIndex, TComponents AColour) {
        PutNibble(ARow, AIndex, MaskedGray(AColour) / 16);
    };
    return {
        {"UYVY422ToBGR", 15, lyUYVY, Over(ippiUYVY422ToBGR_8u_C2C3R), putBgr},
        {"UYVY422ToBGRA", 20, lyUYVY, Over(ippiUYVY422ToBGRA_8u_C2C4R), putBgra},
        {"UYVY422ToBGR555", 10, lyUYVY, Over(ippiUYVY422ToBGR555_8u_C2C3R), put555},
        {"UYVY422ToBGR565", 10, lyUYVY, Over(ippiUYVY422ToBGR565_8u_C2C3R), put565},
        {"UYVY422ToGrayscale8", 5, lyUYVY, Over(ippiUYVY422ToGrayscale_8u_C2C1R), putGray8},
        {"UYVY422ToGrayscale16", 10, lyUYVY, Over(ippiUYVY422ToGrayscale_16u_C2C1R), putGray16},
        {"UYVY422ToGrayscale4", 3, lyUYVY, Over(ippiUYVY422ToGrayscale_4u_C2C1R), putGray4},
        {"YUYV422ToBGR", 15, lyYUYV, Over(ippiYUYV422ToBGR_8u_C2C3R), putBgr},
        {"YUYV422ToBGRA", 20, lyYUYV, Over(ippiYUYV422ToBGRA_8u_8u_C2C4R), putBgra},
        {"YUYV422ToBGR555", 10, lyYUYV, Over(ippiYUYV422ToBGR555_8u_C2C3R), put555},
        {"YUYV422ToBGR565", 10, lyYUYV, Over(ippiYUYV422ToBGR565_8u_C2C3R), put565},
        {"YUYV422ToGrayscale8", 5, lyYUYV, Over(ippiYUYV422ToGrayscale_8u_C2C1R), putGray8},
        {"YUYV422ToGrayscale16", 10, lyYUYV, Over(ippiYUYV422ToGrayscale_16u_C2C1R), putGray16},
        {"YUYV422ToGrayscale4", 3, lyYUYV, Over(ippiYUYV422ToGrayscale_4u_C2C1R), putGray4},
    };
}

TEST(IPPExtraPixelFunctions, EveryDecoderMatchesTheReferenceAndSkipsTheLonePixel) {
    uint32_t seed = 200;
    for (const TDecoderCase& decoder : DecoderCases()) {
        SCOPED_TRACE(decoder.Name);
        for (int pass = 0; pass < 20; ++pass) {
            const TImage src = RandomImage(12 + 3, kHeight, ++seed);
            TImage dst = RandomImage(decoder.DstRowBytes + 3, kHeight, ++seed);
            TImage expected = dst;
            Decode422Ref(src, expected, kWidth, decoder.Layout, decoder.Put);
            ASSERT_EQ(decoder.Run(src, dst), ippStsNoErr);
            ASSERT_EQ(dst.Bytes, expected.Bytes);
        }
    }
}

// ---- To grayscale.

// ---- Grayscale depth.

// ---- 4-bit operations.

using TNibbleFn = IppStatus (*)(const Ipp8u*, int32_t, Ipp8u*, int32_t, IppiSize, int32_t);

template <IppStatus (*AFn)(const Ipp8u*, int32_t, Ipp8u*, int32_t, IppiSize)>
IppStatus WithoutScale(const Ipp8u* ASrc, int32_t ASrcStep, Ipp8u* ADst, int32_t ADstStep,
                       IppiSize ARoi, int32_t) {
    return AFn(ASrc, ASrcStep, ADst, ADstStep, ARoi);
}

TEST(IPPExtraPixelFunctions, NibbleArithmeticSaturatesEachPixelAlone) {
    struct TCase {
        const char* Name;
        TNibbleFn Run;
        int (*Ref)(int, int);
    };
    const TCase cases[] = {
        {"Add", ippiAdd_4u_C1IRSfs, [](int d, int s) { return d + s > 15 ? 15 : d + s; }},
        {"Sub", ippiSub_4u_C1IRSfs, [](int d, int s) { return d < s ? 0 : d - s; }},
        {"Mul", ippiMul_4u_C1IRSfs, [](int d, int s) { return d * s > 15 ? 15 : d * s; }},
        {"Div", ippiDiv_4u_C1IRSfs, [](int d, int s) { return s == 0 ? 0 : d / s; }},
        {"MulScale", WithoutScale<ippiMulScale_4u_C1IR>, [](int d, int s) { return d * s / 16; }},
        {"And", WithoutScale<ippiAnd_4u_C1IR>, [](int d, int s) { return d & s; }},
        {"Or", WithoutScale<ippiOr_4u_C1IR>, [](int d, int s) { return d | s; }},
        {"Xor", WithoutScale<ippiXor_4u_C1IR>, [](int d, int s) { return d ^ s; }},
        {"AbsDiff",
         [](const Ipp8u* s, int32_t ss, Ipp8u* d, int32_t ds, IppiSize r, int32_t) {
             return ippiAbsDiff_4u_C1R(d, ds, s, ss, d, ds, r);
         },
         [](int d, int s) { return std::abs(d - s); }},
    };
    // Every pair of bytes: 256 rows of 512 pixels (256 bytes), the source cycling through all
    // bytes against a fixed destination byte per row.
    std::vector<Ipp8u> src(256 * 256), dst(256 * 256);
    for (int d = 0; d < 256; ++d)
        for (int s = 0; s < 256; ++s) {
            src[static_cast<size_t>(d * 256 + s)] = static_cast<Ipp8u>(s);
            dst[static_cast<size_t>(d * 256 + s)] = static_cast<Ipp8u>(d);
        }
    for (const TCase& op : cases) {
        SCOPED_TRACE(op.Name);
        std::vector<Ipp8u> result = dst;
        ASSERT_EQ(op.Run(src.data(), 256, result.data(), 256, IppiSize{512, 256}, 7), ippStsNoErr);
        for (int d = 0; d < 256; ++d)
            for (int s = 0; s < 256; ++s) {
                const int expected = op.Ref(d >> 4, s >> 4) * 16 + op.Ref(d & 15, s & 15);
                ASSERT_EQ(result[static_cast<size_t>(d * 256 + s)], expected) << d << " " << s;
            }
    }
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
