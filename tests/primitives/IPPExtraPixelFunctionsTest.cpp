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

TEST(IPPExtraPixelFunctions, SixteenBitPackingEdges) {
    const Ipp16u white565 = 0xFFFF;
    Ipp8u bgr[3] = {};
    ASSERT_EQ(ippiRGB565ToRGB_8u_C3R(&white565, 2, bgr, 3, IppiSize{1, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(bgr, bgr + 3), (std::vector<Ipp8u>{0xF8, 0xFC, 0xF8}));

    // Byte triples at the edges of every field's precision.
    const Ipp8u pixels[] = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x07, 0x03, 0x07,
                            0x08, 0x04, 0x08, 0xF8, 0xFC, 0xF8, 0x07, 0xFB, 0xFF};
    Ipp16u packed[6];
    ASSERT_EQ(ippiRGB_8u_C3RToRGB565(pixels, 18, packed, 12, IppiSize{6, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp16u>(packed, packed + 6),
              (std::vector<Ipp16u>{0xFFFF, 0x0000, 0x0000, 0x0821, 0xFFFF, 0xFFC0}));
    ASSERT_EQ(ippiRGB_8u_C3RToRGB555(pixels, 18, packed, 12, IppiSize{6, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp16u>(packed, packed + 6),
              (std::vector<Ipp16u>{0x7FFF, 0x0000, 0x0000, 0x0401, 0x7FFF, 0x7FE0}));
    // Only the lowest green bit is lost going to 555.
    const Ipp16u greens[] = {0x0020, 0x0040, 0x07E0};
    Ipp16u narrowed[3];
    ASSERT_EQ(ippiRGB565ToRGB555(greens, 6, narrowed, 6, IppiSize{3, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp16u>(narrowed, narrowed + 3),
              (std::vector<Ipp16u>{0x0000, 0x0020, 0x03E0}));
}

TEST(IPPExtraPixelFunctions, SixteenBitRowsHonourStepsAtAnyAlignment) {
    // Odd steps put every other 16-bit row at an odd address; padding must stay as it was.
    const TImage src = RandomImage(3 * kWidth + 4, kHeight, 1);
    TImage dst = RandomImage(2 * kWidth + 3, kHeight, 2);
    TImage expected = dst;
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            const Ipp8u* p = src.Row(row) + 3 * x;
            PutWord(expected.Row(row), x, p[0] / 8 + p[1] / 4 * 32 + p[2] / 8 * 2048);
        }
    ASSERT_EQ(ippiRGB_8u_C3RToRGB565(src.Bytes.data(), src.Step,
                                     reinterpret_cast<Ipp16u*>(dst.Bytes.data()), dst.Step, kRoi),
              ippStsNoErr);
    EXPECT_EQ(dst.Bytes, expected.Bytes);

    TImage wide = RandomImage(4 * kWidth + 1, kHeight, 3);
    TImage wideExpected = wide;
    for (int row = 0; row < kHeight; ++row)
        for (int x = 0; x < kWidth; ++x) {
            const TComponents f = Fields555(Word(dst.Row(row), x));
            Ipp8u* q = wideExpected.Row(row) + 4 * x;
            q[0] = static_cast<Ipp8u>(f.C0 * 8);
            q[1] = static_cast<Ipp8u>(f.C1 * 8);
            q[2] = static_cast<Ipp8u>(f.C2 * 8);
            q[3] = 255;
        }
    ASSERT_EQ(ippiRGB555ToRGBA_8u_AC4R(reinterpret_cast<const Ipp16u*>(dst.Bytes.data()), dst.Step,
                                       wide.Bytes.data(), wide.Step, kRoi),
              ippStsNoErr);
    EXPECT_EQ(wide.Bytes, wideExpected.Bytes);
}

// ---- To 4:2:2.

struct TEncoderCase {
    const char* Name;
    int SrcPixelBytes; // per pixel, 0 for 4-bit sources
    TLayout Layout;
    std::function<IppStatus(const TImage&, TImage&)> Run;
    std::function<TYuvaRef(const Ipp8u*, int)> Pixel;
};

const Ipp16u* WordsOf(const TImage& AImage) {
    return AImage.Words();
}

std::vector<TEncoderCase> EncoderCases() {
    const auto bgr = [](int ASize) {
        return [ASize](const Ipp8u* ARow, int AIndex) {
            const Ipp8u* p = ARow + ASize * AIndex;
            return YuvRef({p[0], p[1], p[2]});
        };
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
    using S = const TImage&;
    using D = TImage&;
    return {
        {"BGRToUYV422 3", 3, lyUYVY,
         [](S s, D d) {
             return ippiBGRToUYV422_8u_C3C2R(s.Bytes.data(), s.Step, 3, d.Bytes.data(), d.Step,
                                             kRoi);
         },
         bgr(3)},
        {"BGRToUYV422 4", 4, lyUYVY,
         [](S s, D d) {
             return ippiBGRToUYV422_8u_C3C2R(s.Bytes.data(), s.Step, 4, d.Bytes.data(), d.Step,
                                             kRoi);
         },
         bgr(4)},
        {"BGRToYUYV422 3", 3, lyYUYV,
         [](S s, D d) {
             return ippiBGRToYUYV422_8u_C3C2R(s.Bytes.data(), s.Step, 3, d.Bytes.data(), d.Step,
                                              kRoi);
         },
         bgr(3)},
        {"BGRToYUYV422 4", 4, lyYUYV,
         [](S s, D d) {
             return ippiBGRToYUYV422_8u_C3C2R(s.Bytes.data(), s.Step, 4, d.Bytes.data(), d.Step,
                                              kRoi);
         },
         bgr(4)},
        {"BGRAToUYVA422", 4, lyUYVA,
         [](S s, D d) {
             return ippiBGRAToUYVA422_8u_C4C3R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                               kRoi);
         },
         [](const Ipp8u* ARow, int AIndex) {
             const Ipp8u* p = ARow + 4 * AIndex;
             return YuvRef({p[0], p[1], p[2]}, p[3]);
         }},
        {"BGR555ToUYV422", 2, lyUYVY,
         [](S s, D d) {
             return ippiBGR555ToUYV422_8u_C3C2R(WordsOf(s), s.Step, d.Bytes.data(), d.Step, kRoi);
         },
         from555},
        {"BGR565ToUYV422", 2, lyUYVY,
         [](S s, D d) {
             return ippiBGR565ToUYV422_8u_C3C2R(WordsOf(s), s.Step, d.Bytes.data(), d.Step, kRoi);
         },
         from565},
        {"BGR555ToYUYV422", 2, lyYUYV,
         [](S s, D d) {
             return ippiBGR555ToYUYV422_8u_C3C2R(WordsOf(s), s.Step, d.Bytes.data(), d.Step, kRoi);
         },
         from555},
        {"BGR565ToYUYV422", 2, lyYUYV,
         [](S s, D d) {
             return ippiBGR565ToYUYV422_8u_C3C2R(WordsOf(s), s.Step, d.Bytes.data(), d.Step, kRoi);
         },
         from565},
        {"GrayscaleToUYV422", 1, lyUYVY,
         [](S s, D d) {
             return ippiGrayscaleToUYV422_8u_C1C2R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                                   kRoi);
         },
         gray8},
        {"GrayscaleToYUYV422", 1, lyYUYV,
         [](S s, D d) {
             return ippiGrayscaleToYUYV422_8u_C1C2R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                                    kRoi);
         },
         gray8},
        {"Grayscale16ToUYV422", 2, lyUYVY,
         [](S s, D d) {
             return ippiGrayscale16ToUYV422_16u8u_C1C2R(WordsOf(s), s.Step, d.Bytes.data(), d.Step,
                                                        kRoi);
         },
         gray16},
        {"Grayscale16ToYUYV422", 2, lyYUYV,
         [](S s, D d) {
             return ippiGrayscale16ToYUYV422_16u8u_C1C2R(WordsOf(s), s.Step, d.Bytes.data(), d.Step,
                                                         kRoi);
         },
         gray16},
        {"Grayscale4ToUYV422", 0, lyUYVY,
         [](S s, D d) {
             return ippiGrayscale4ToUYV422_4u8u_C1C2R(s.Bytes.data(), s.Step, d.Bytes.data(),
                                                      d.Step, kRoi);
         },
         gray4},
        {"Grayscale4ToYUYV422", 0, lyYUYV,
         [](S s, D d) {
             return ippiGrayscale4ToYUYV422_4u8u_C1C2R(s.Bytes.data(), s.Step, d.Bytes.data(),
                                                       d.Step, kRoi);
         },
         gray4},
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

TEST(IPPExtraPixelFunctions, EncoderKnownBytes) {
    const Ipp8u white[] = {255, 255, 255, 255, 255, 255};
    const Ipp8u whiteBgra[] = {255, 255, 255, 0, 255, 255, 255, 0};
    const Ipp8u black[] = {0, 0, 0, 0, 0, 0};
    Ipp8u out[4];
    ASSERT_EQ(ippiBGRToUYV422_8u_C3C2R(white, 6, 3, out, 4, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(out, out + 4), (std::vector<Ipp8u>{0x80, 0xEB, 0x80, 0xEB}));
    ASSERT_EQ(ippiBGRToUYV422_8u_C3C2R(whiteBgra, 8, 4, out, 4, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(out, out + 4), (std::vector<Ipp8u>{0x80, 0xEB, 0x80, 0xEB}));
    ASSERT_EQ(ippiBGRToUYV422_8u_C3C2R(black, 6, 3, out, 4, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(out, out + 4), (std::vector<Ipp8u>{0x80, 0x10, 0x80, 0x10}));

    const Ipp8u grays[] = {0, 255};
    ASSERT_EQ(ippiGrayscaleToYUYV422_8u_C1C2R(grays, 2, out, 4, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(out, out + 4), (std::vector<Ipp8u>{16, 128, 235, 128}));

    // A one-pixel-wide column: the first lone pixel averages with 0, later ones with the
    // chroma carried from the row above.
    const Ipp8u column[] = {255, 255, 255};
    Ipp8u pairs[12];
    ASSERT_EQ(ippiGrayscaleToUYV422_8u_C1C2R(column, 1, pairs, 4, IppiSize{1, 3}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(pairs, pairs + 12),
              (std::vector<Ipp8u>{64, 235, 64, 235, 128, 235, 128, 235, 128, 235, 128, 235}));

    // BGRA to UYVA: alpha follows each pixel, and a lone pixel repeats its alpha.
    const Ipp8u bgra[] = {0, 0, 0, 10, 255, 255, 255, 20, 255, 255, 255, 30};
    Ipp8u uyva[12];
    ASSERT_EQ(ippiBGRAToUYVA422_8u_C4C3R(bgra, 12, uyva, 12, IppiSize{3, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(uyva, uyva + 12),
              (std::vector<Ipp8u>{128, 16, 10, 128, 235, 20, 128, 235, 30, 128, 235, 30}));
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
    using S = const TImage&;
    using D = TImage&;
    const auto words = [](D d) { return d.Words(); };
    return {
        {"UYVY422ToBGR", 15, lyUYVY,
         [](S s, D d) {
             return ippiUYVY422ToBGR_8u_C2C3R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step, kRoi);
         },
         putBgr},
        {"UYVY422ToBGRA", 20, lyUYVY,
         [](S s, D d) {
             return ippiUYVY422ToBGRA_8u_C2C4R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                               kRoi);
         },
         putBgra},
        {"UYVY422ToBGR555", 10, lyUYVY,
         [words](S s, D d) {
             return ippiUYVY422ToBGR555_8u_C2C3R(s.Bytes.data(), s.Step, words(d), d.Step, kRoi);
         },
         put555},
        {"UYVY422ToBGR565", 10, lyUYVY,
         [words](S s, D d) {
             return ippiUYVY422ToBGR565_8u_C2C3R(s.Bytes.data(), s.Step, words(d), d.Step, kRoi);
         },
         put565},
        {"UYVY422ToGrayscale8", 5, lyUYVY,
         [](S s, D d) {
             return ippiUYVY422ToGrayscale_8u_C2C1R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                                    kRoi);
         },
         putGray8},
        {"UYVY422ToGrayscale16", 10, lyUYVY,
         [words](S s, D d) {
             return ippiUYVY422ToGrayscale_16u_C2C1R(s.Bytes.data(), s.Step, words(d), d.Step,
                                                     kRoi);
         },
         putGray16},
        {"UYVY422ToGrayscale4", 3, lyUYVY,
         [](S s, D d) {
             return ippiUYVY422ToGrayscale_4u_C2C1R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                                    kRoi);
         },
         putGray4},
        {"YUYV422ToBGR", 15, lyYUYV,
         [](S s, D d) {
             return ippiYUYV422ToBGR_8u_C2C3R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step, kRoi);
         },
         putBgr},
        {"YUYV422ToBGRA", 20, lyYUYV,
         [](S s, D d) {
             return ippiYUYV422ToBGRA_8u_8u_C2C4R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                                  kRoi);
         },
         putBgra},
        {"YUYV422ToBGR555", 10, lyYUYV,
         [words](S s, D d) {
             return ippiYUYV422ToBGR555_8u_C2C3R(s.Bytes.data(), s.Step, words(d), d.Step, kRoi);
         },
         put555},
        {"YUYV422ToBGR565", 10, lyYUYV,
         [words](S s, D d) {
             return ippiYUYV422ToBGR565_8u_C2C3R(s.Bytes.data(), s.Step, words(d), d.Step, kRoi);
         },
         put565},
        {"YUYV422ToGrayscale8", 5, lyYUYV,
         [](S s, D d) {
             return ippiYUYV422ToGrayscale_8u_C2C1R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                                    kRoi);
         },
         putGray8},
        {"YUYV422ToGrayscale16", 10, lyYUYV,
         [words](S s, D d) {
             return ippiYUYV422ToGrayscale_16u_C2C1R(s.Bytes.data(), s.Step, words(d), d.Step,
                                                     kRoi);
         },
         putGray16},
        {"YUYV422ToGrayscale4", 3, lyYUYV,
         [](S s, D d) {
             return ippiYUYV422ToGrayscale_4u_C2C1R(s.Bytes.data(), s.Step, d.Bytes.data(), d.Step,
                                                    kRoi);
         },
         putGray4},
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

TEST(IPPExtraPixelFunctions, DecoderKnownBytes) {
    const Ipp8u white[] = {0x80, 0xEB, 0x80, 0xEB};
    const Ipp8u black[] = {0x80, 0x10, 0x80, 0x10};
    Ipp8u bgr[6];
    ASSERT_EQ(ippiUYVY422ToBGR_8u_C2C3R(white, 4, bgr, 6, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(bgr, bgr + 6), std::vector<Ipp8u>(6, 255));
    ASSERT_EQ(ippiUYVY422ToBGR_8u_C2C3R(black, 4, bgr, 6, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(bgr, bgr + 6), std::vector<Ipp8u>(6, 0));
    // White masked to 565 precision is (248, 252, 248): gray round(250.348) = 250.
    Ipp8u gray[2];
    Ipp16u gray16[2];
    ASSERT_EQ(ippiUYVY422ToGrayscale_8u_C2C1R(white, 4, gray, 2, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(gray[0], 250);
    ASSERT_EQ(ippiUYVY422ToGrayscale_16u_C2C1R(white, 4, gray16, 4, IppiSize{2, 1}), ippStsNoErr);
    EXPECT_EQ(gray16[1], 63839); // round(63838.74)
    // Two pixels pack into one byte, the first in the high nibble.
    const Ipp8u blackThenWhite[] = {0x80, 0x10, 0x80, 0xEB};
    Ipp8u packed = 0;
    ASSERT_EQ(ippiUYVY422ToGrayscale_4u_C2C1R(blackThenWhite, 4, &packed, 1, IppiSize{2, 1}),
              ippStsNoErr);
    EXPECT_EQ(packed, 0x0F);
}

// ---- To grayscale.

TEST(IPPExtraPixelFunctions, GrayscaleFromBgrAndSixteenBitPixels) {
    uint32_t seed = 300;
    for (int size : {3, 4}) {
        const TImage src = RandomImage(kWidth * size + 2, kHeight, ++seed);
        TImage dst16 = RandomImage(2 * kWidth + 1, kHeight, ++seed);
        TImage dst4 = RandomImage(3 + 2, kHeight, ++seed);
        TImage expected16 = dst16, expected4 = dst4;
        for (int row = 0; row < kHeight; ++row)
            for (int x = 0; x < kWidth; ++x) {
                const Ipp8u* p = src.Row(row) + size * x;
                PutWord(expected16.Row(row), x, Gray16Ref(p[0], p[1], p[2]));
                PutNibble(expected4.Row(row), x, GrayRef(p[0], p[1], p[2]) / 16);
            }
        ASSERT_EQ(ippiBGRToGrayscale_16u_C3C1R(src.Bytes.data(), src.Step, size, dst16.Words(),
                                               dst16.Step, kRoi),
                  ippStsNoErr);
        ASSERT_EQ(ippiBGRToGrayscale_4u_C3C1R(src.Bytes.data(), src.Step, size, dst4.Bytes.data(),
                                              dst4.Step, kRoi),
                  ippStsNoErr);
        EXPECT_EQ(dst16.Bytes, expected16.Bytes);
        EXPECT_EQ(dst4.Bytes, expected4.Bytes); // includes the kept low nibble of the last byte
    }

    using TWordsFn = IppStatus (*)(const Ipp16u*, int32_t, Ipp8u*, int32_t, IppiSize);
    using TWords16Fn = IppStatus (*)(const Ipp16u*, int32_t, Ipp16u*, int32_t, IppiSize);
    struct TWordCase {
        TComponents (*Widen)(int);
        TWordsFn To8;
        TWordsFn To4;
        TWords16Fn To16;
    };
    const TWordCase cases[] = {
        {Widened555, ippiBGR555ToGrayscale_8u_C3C1R, ippiBGR555ToGrayscale_4u_C3C1R,
         ippiBGR555ToGrayscale_8u16u_C3C1R},
        {Widened565, ippiBGR565ToGrayscale_8u_C3C1R, ippiBGR565ToGrayscale_4u_C3C1R,
         ippiBGR565ToGrayscale_8u16u_C3C1R},
    };
    for (const TWordCase& wordCase : cases) {
        const TImage src = RandomImage(2 * kWidth + 3, kHeight, ++seed);
        TImage dst8 = RandomImage(kWidth + 1, kHeight, ++seed);
        TImage dst4 = RandomImage(3 + 1, kHeight, ++seed);
        TImage dst16 = RandomImage(2 * kWidth + 2, kHeight, ++seed);
        TImage expected8 = dst8, expected4 = dst4, expected16 = dst16;
        for (int row = 0; row < kHeight; ++row)
            for (int x = 0; x < kWidth; ++x) {
                const TComponents c = wordCase.Widen(Word(src.Row(row), x));
                expected8.Row(row)[x] = static_cast<Ipp8u>(GrayRef(c.C0, c.C1, c.C2));
                PutNibble(expected4.Row(row), x, GrayRef(c.C0, c.C1, c.C2) / 16);
                PutWord(expected16.Row(row), x, Gray16Ref(c.C0, c.C1, c.C2));
            }
        ASSERT_EQ(wordCase.To8(src.Words(), src.Step, dst8.Bytes.data(), dst8.Step, kRoi),
                  ippStsNoErr);
        ASSERT_EQ(wordCase.To4(src.Words(), src.Step, dst4.Bytes.data(), dst4.Step, kRoi),
                  ippStsNoErr);
        ASSERT_EQ(wordCase.To16(src.Words(), src.Step, dst16.Words(), dst16.Step, kRoi),
                  ippStsNoErr);
        EXPECT_EQ(dst8.Bytes, expected8.Bytes);
        EXPECT_EQ(dst4.Bytes, expected4.Bytes);
        EXPECT_EQ(dst16.Bytes, expected16.Bytes);
    }

    // White gives 255 and 65025; the 565 and 555 extremes widen to exactly 0 and 255.
    const Ipp8u white[] = {255, 255, 255};
    Ipp16u gray16 = 0;
    ASSERT_EQ(ippiBGRToGrayscale_16u_C3C1R(white, 3, 3, &gray16, 2, IppiSize{1, 1}), ippStsNoErr);
    EXPECT_EQ(gray16, 65025);
    const Ipp16u extremes[] = {0xFFFF, 0x0000, 0x001F, 0x07E0};
    Ipp8u grays[4];
    ASSERT_EQ(ippiBGR565ToGrayscale_8u_C3C1R(extremes, 8, grays, 4, IppiSize{4, 1}), ippStsNoErr);
    // The byte-0 field weighs 0.299: blue alone gives 76, green alone 150.
    EXPECT_EQ(std::vector<Ipp8u>(grays, grays + 4), (std::vector<Ipp8u>{255, 0, 76, 150}));
}

// ---- Grayscale depth.

TEST(IPPExtraPixelFunctions, GrayscaleDepthKeepsNibbleOrderAndRoundTrips) {
    // Widening every byte value (two nibbles each) in one row.
    std::vector<Ipp8u> nibbles(256);
    for (int b = 0; b < 256; ++b)
        nibbles[static_cast<size_t>(b)] = static_cast<Ipp8u>(b);
    const IppiSize row{512, 1};
    std::vector<Ipp8u> bytes(512);
    std::vector<Ipp16u> words(512);
    ASSERT_EQ(ippiScale_4u8u_C1R(nibbles.data(), 256, bytes.data(), 512, row), ippStsNoErr);
    ASSERT_EQ(ippiScale_4u16u_C1R(nibbles.data(), 256, words.data(), 1024, row), ippStsNoErr);
    for (int b = 0; b < 256; ++b) {
        ASSERT_EQ(bytes[static_cast<size_t>(2 * b)], (b >> 4) << 4);
        ASSERT_EQ(bytes[static_cast<size_t>(2 * b + 1)], (b & 15) << 4);
        ASSERT_EQ(words[static_cast<size_t>(2 * b)], (b >> 4) << 12);
        ASSERT_EQ(words[static_cast<size_t>(2 * b + 1)], (b & 15) << 12);
    }
    std::vector<Ipp8u> back(256);
    ASSERT_EQ(ippiScale_8u4u_C1R(bytes.data(), 512, back.data(), 256, row), ippStsNoErr);
    EXPECT_EQ(back, nibbles);
    std::fill(back.begin(), back.end(), 0);
    ASSERT_EQ(ippiScale_16u4u_C1R(words.data(), 1024, back.data(), 256, row), ippStsNoErr);
    EXPECT_EQ(back, nibbles);

    // Narrowing keeps the top nibble only; an odd width keeps the last byte's low nibble.
    const Ipp8u gray[] = {0x1F, 0xE0, 0x7A, 0x00, 0x00, 0x00, 0xFF, 0x80, 0x01};
    Ipp8u packed[] = {0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
    ASSERT_EQ(ippiScale_8u4u_C1R(gray, 6, packed, 3, IppiSize{3, 2}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(packed, packed + 6),
              (std::vector<Ipp8u>{0x1E, 0x7A, 0xAA, 0xF8, 0x0A, 0xAA}));
    const Ipp16u deep[] = {0xF000, 0x0FFF, 0x8001};
    Ipp8u fromDeep[] = {0x55, 0x55};
    ASSERT_EQ(ippiScale_16u4u_C1R(deep, 6, fromDeep, 2, IppiSize{3, 1}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(fromDeep, fromDeep + 2), (std::vector<Ipp8u>{0xF0, 0x85}));
}

// ---- 4-bit operations.

using TNibbleFn = IppStatus (*)(const Ipp8u*, int32_t, Ipp8u*, int32_t, IppiSize, int32_t);

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
        {"MulScale",
         [](const Ipp8u* s, int32_t ss, Ipp8u* d, int32_t ds, IppiSize r, int32_t) {
             return ippiMulScale_4u_C1IR(s, ss, d, ds, r);
         },
         [](int d, int s) { return d * s / 16; }},
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

TEST(IPPExtraPixelFunctions, NibbleLogicSetAndDifferenceCoverWholeBytes) {
    // Width 5 covers two bytes per row; the third byte of each row is untouched.
    const Ipp8u src[] = {0xF0, 0x3C, 0x99, 0xA5, 0x0F, 0x77};
    const Ipp8u start[] = {0xCC, 0xCC, 0xCC, 0x5A, 0x5A, 0x5A};
    Ipp8u dst[6];
    std::copy(start, start + 6, dst);
    ASSERT_EQ(ippiAnd_4u_C1IR(src, 3, dst, 3, IppiSize{5, 2}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(dst, dst + 6),
              (std::vector<Ipp8u>{0xC0, 0x0C, 0xCC, 0x00, 0x0A, 0x5A}));
    std::copy(start, start + 6, dst);
    ASSERT_EQ(ippiOr_4u_C1IR(src, 3, dst, 3, IppiSize{5, 2}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(dst, dst + 6),
              (std::vector<Ipp8u>{0xFC, 0xFC, 0xCC, 0xFF, 0x5F, 0x5A}));
    std::copy(start, start + 6, dst);
    ASSERT_EQ(ippiXor_4u_C1IR(src, 3, dst, 3, IppiSize{5, 2}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(dst, dst + 6),
              (std::vector<Ipp8u>{0x3C, 0xF0, 0xCC, 0xFF, 0x55, 0x5A}));

    std::copy(start, start + 6, dst);
    ASSERT_EQ(ippiSet_4u_C1R(0x5A, dst, 3, IppiSize{5, 2}), ippStsNoErr);
    EXPECT_EQ(std::vector<Ipp8u>(dst, dst + 6),
              (std::vector<Ipp8u>{0x55, 0x55, 0xCC, 0x55, 0x55, 0x5A}));

    // Absolute difference of every pair of bytes.
    std::vector<Ipp8u> a(65536), b(65536), diff(65536, 0xEE);
    for (int i = 0; i < 65536; ++i) {
        a[static_cast<size_t>(i)] = static_cast<Ipp8u>(i >> 8);
        b[static_cast<size_t>(i)] = static_cast<Ipp8u>(i & 0xFF);
    }
    ASSERT_EQ(
        ippiAbsDiff_4u_C1R(a.data(), 256, b.data(), 256, diff.data(), 256, IppiSize{512, 256}),
        ippStsNoErr);
    for (int i = 0; i < 65536; ++i) {
        const int x = i >> 8, y = i & 0xFF;
        ASSERT_EQ(diff[static_cast<size_t>(i)],
                  std::abs((x >> 4) - (y >> 4)) * 16 + std::abs((x & 15) - (y & 15)));
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
