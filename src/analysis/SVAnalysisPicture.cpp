#include "sonvera/analysis/SVAnalysisPicture.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "sonvera/platform/runtime/Exceptions.h"

namespace sonvera {

namespace {

constexpr int32_t KLeftMargin = 64, KRightMargin = 86, KTitleHeight = 38, KBottomMargin = 34;
constexpr int32_t KPlotGap = 12;
constexpr double KWaveformShare = 0.38; // of the plots' height

struct TColour {
    double R, G, B;
};

constexpr TColour KBackground{0.086, 0.094, 0.114};
constexpr TColour KLaneBackground{0.118, 0.129, 0.157};
constexpr TColour KText{0.88, 0.89, 0.91};
constexpr TColour KPeakColour{0.29, 0.64, 0.87};
constexpr TColour KRmsColour{0.66, 0.85, 1.0};

// A perceptually even dark-to-light scale: black, violet, red, orange, pale yellow.
constexpr std::array<TColour, 5> KScale{{{0.0, 0.0, 0.016},
                                         {0.341, 0.063, 0.431},
                                         {0.737, 0.216, 0.329},
                                         {0.976, 0.557, 0.035},
                                         {0.988, 1.0, 0.643}}};

TColour ScaleColour(double AFraction) {
    const double at = std::clamp(AFraction, 0.0, 1.0) * (KScale.size() - 1);
    const auto low = std::min(static_cast<size_t>(at), KScale.size() - 2);
    const double t = at - static_cast<double>(low);
    const TColour& a = KScale[low];
    const TColour& b = KScale[low + 1];
    return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}

void SetColour(cairo_t* ACairo, const TColour& AColour, double AAlpha = 1.0) {
    cairo_set_source_rgba(ACairo, AColour.R, AColour.G, AColour.B, AAlpha);
}

using TSurface = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using TCairo = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

enum TAlign { alLeft, alCentre, alRight };

void DrawText(cairo_t* ACairo, const std::string& AText, double AX, double AY, TAlign AAlign) {
    cairo_text_extents_t extents;
    cairo_text_extents(ACairo, AText.c_str(), &extents);
    double x = AX;
    if (AAlign == alCentre)
        x -= extents.x_advance / 2;
    else if (AAlign == alRight)
        x -= extents.x_advance;
    cairo_move_to(ACairo, x, AY);
    cairo_show_text(ACairo, AText.c_str());
}

std::string FrequencyLabel(double AHertz) {
    return AHertz >= 1000 ? FormatMessage("%gk", AHertz / 1000) : FormatMessage("%g", AHertz);
}

std::string TimeLabel(double ASeconds, double AStep) {
    if (AStep >= 1 && ASeconds >= 60)
        return FormatMessage("%d:%02d", static_cast<int>(ASeconds) / 60,
                             static_cast<int>(ASeconds) % 60);
    return FormatMessage(AStep < 1 ? "%.1f s" : "%.0f s", ASeconds);
}

// The smallest step of time labels that leaves room for them.
double TimeStep(double ADuration, int32_t AWidth) {
    static constexpr std::array<double, 14> steps{0.1, 0.2, 0.5, 1,   2,   5,   10,
                                                  15,  30,  60,  120, 300, 600, 1800};
    const double most = std::max(1.0, AWidth / 90.0);
    for (const double step : steps)
        if (ADuration / step <= most)
            return step;
    return 3600;
}

// The bins a pixel row covers: their greatest power where it covers several, else the power
// between the two nearest bins.
struct TRowBins {
    size_t Low, High;
    double Fraction; // between Low and Low + 1 when Low == High
};

float RowPower(const std::vector<float>& APower, const TRowBins& ABins) {
    if (ABins.High > ABins.Low)
        return *std::max_element(APower.begin() + static_cast<ptrdiff_t>(ABins.Low),
                                 APower.begin() + static_cast<ptrdiff_t>(ABins.High) + 1);
    const size_t next = std::min(ABins.Low + 1, APower.size() - 1);
    return static_cast<float>(APower[ABins.Low] +
                              (APower[next] - APower[ABins.Low]) * ABins.Fraction);
}

cairo_status_t AppendBytes(void* AClosure, const unsigned char* AData, unsigned int ALength) {
    static_cast<std::string*>(AClosure)->append(reinterpret_cast<const char*>(AData), ALength);
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

TSVAnalysisPicture::TSVAnalysisPicture(int32_t AWidth, int32_t AHeight)
    : FWidth(AWidth), FHeight(AHeight) {
    if (AWidth < KMinWidth || AHeight < KMinHeight || AWidth > KMaxSide || AHeight > KMaxSide)
        throw EArgumentError(
            FormatMessage("TSVAnalysisPicture: size %dx%d out of range (%dx%d to %dx%d)", AWidth,
                          AHeight, KMinWidth, KMinHeight, KMaxSide, KMaxSide));
}

TSVPictureArea TSVAnalysisPicture::WaveformArea() const {
    const int32_t plots = FHeight - KTitleHeight - KBottomMargin - KPlotGap;
    return {KLeftMargin, KTitleHeight, FWidth - KLeftMargin - KRightMargin,
            static_cast<int32_t>(plots * KWaveformShare)};
}

TSVPictureArea TSVAnalysisPicture::SpectrogramArea() const {
    const TSVPictureArea wave = WaveformArea();
    const int32_t top = wave.Top + wave.Height + KPlotGap;
    return {KLeftMargin, top, wave.Width, FHeight - KBottomMargin - top};
}

double TSVAnalysisPicture::LowestFrequency() const {
    return FSpectra.empty() ? 20.0 : std::max(20.0, FSpectra.front().BinWidth);
}

double TSVAnalysisPicture::HighestFrequency() const {
    if (FSpectra.empty())
        return 22050.0;
    const TSVFrequencyColumn& column = FSpectra.front();
    return std::max(LowestFrequency() * 2,
                    column.BinWidth * static_cast<double>(column.Power.size() - 1));
}

double TSVAnalysisPicture::FrequencyOfRow(int32_t ARow) const {
    const double fraction = (ARow + 0.5) / SpectrogramArea().Height;
    return HighestFrequency() * std::pow(LowestFrequency() / HighestFrequency(), fraction);
}

std::string TSVAnalysisPicture::EncodePng() const {
    TSurface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, FWidth, FHeight),
                     cairo_surface_destroy);
    TCairo cairo(cairo_create(surface.get()), cairo_destroy);
    cairo_t* cr = cairo.get();
    SetColour(cr, KBackground);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

    const TSVPictureArea wave = WaveformArea();
    const TSVPictureArea spectrogram = SpectrogramArea();

    // The title line.
    cairo_set_font_size(cr, 15);
    SetColour(cr, KText);
    DrawText(cr, FTitle, KLeftMargin, 25, alLeft);
    cairo_set_font_size(cr, 11);

    // The waveform, one lane per channel.
    const size_t channels = FLevels.empty() ? std::max<size_t>(1, FChannelNames.size())
                                            : FLevels.front().Channels.size();
    const double lane = static_cast<double>(wave.Height) / static_cast<double>(channels);
    for (size_t channel = 0; channel < channels; ++channel) {
        const double top = wave.Top + lane * static_cast<double>(channel);
        const double middle = top + lane / 2;
        const double half = lane / 2 - 2;
        SetColour(cr, KLaneBackground);
        cairo_rectangle(cr, wave.Left, top + 1, wave.Width, lane - 2);
        cairo_fill(cr);
        SetColour(cr, KText, 0.08);
        cairo_rectangle(cr, wave.Left, std::round(middle), wave.Width, 1);
        cairo_fill(cr);
        SetColour(cr, KText);
        DrawText(cr,
                 channel < FChannelNames.size() ? FChannelNames[channel]
                                                : FormatMessage("%zu", channel + 1),
                 wave.Left - 10, middle + 4, alRight);
        if (FLevels.empty())
            continue;
        // Silent columns draw nothing; a column that moves draws at least a pixel.
        for (int pass = 0; pass < 2; ++pass) {
            for (int32_t x = 0; x < wave.Width; ++x) {
                const size_t index = static_cast<size_t>(x) * FLevels.size() / wave.Width;
                const TSVChannelLevels& levels = FLevels[index].Channels[channel];
                if (levels.Peak <= 0 && levels.Minimum >= 0)
                    continue;
                double high = levels.Maximum, low = levels.Minimum;
                if (pass == 1) {
                    high = std::min(high, levels.Dc + levels.Rms);
                    low = std::max(low, levels.Dc - levels.Rms);
                    if (high <= low)
                        continue;
                }
                const double y0 = middle - std::clamp(high, -1.0, 1.0) * half;
                const double y1 = middle - std::clamp(low, -1.0, 1.0) * half;
                cairo_rectangle(cr, wave.Left + x, y0, 1, std::max(1.0, y1 - y0));
            }
            SetColour(cr, pass == 0 ? KPeakColour : KRmsColour);
            cairo_fill(cr);
        }
    }

    // The spectrogram, pixel by pixel into an image of its own, then painted in place.
    TSurface image(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, spectrogram.Width, spectrogram.Height),
        cairo_surface_destroy);
    cairo_surface_flush(image.get());
    unsigned char* pixels = cairo_image_surface_get_data(image.get());
    const int stride = cairo_image_surface_get_stride(image.get());
    std::vector<TRowBins> rows;
    if (!FSpectra.empty()) {
        const double width = FSpectra.front().BinWidth;
        const size_t last = FSpectra.front().Power.size() - 1;
        const auto bin = [&](double AHertz) {
            return std::clamp(AHertz / width, 0.0, double(last));
        };
        for (int32_t y = 0; y < spectrogram.Height; ++y) {
            const double above =
                bin(FrequencyOfRow(y) *
                    std::pow(LowestFrequency() / HighestFrequency(), -0.5 / spectrogram.Height));
            const double below =
                bin(FrequencyOfRow(y) *
                    std::pow(LowestFrequency() / HighestFrequency(), 0.5 / spectrogram.Height));
            const double centre = bin(FrequencyOfRow(y));
            const auto low = static_cast<size_t>(std::ceil(below));
            const auto high = static_cast<size_t>(std::floor(above));
            if (high > low)
                rows.push_back({low, high, 0});
            else
                rows.push_back({static_cast<size_t>(centre), static_cast<size_t>(centre),
                                centre - std::floor(centre)});
        }
    }
    for (int32_t x = 0; x < spectrogram.Width && !FSpectra.empty(); ++x) {
        const std::vector<float>& power =
            FSpectra[static_cast<size_t>(x) * FSpectra.size() / spectrogram.Width].Power;
        if (power.size() != FSpectra.front().Power.size())
            continue;
        for (int32_t y = 0; y < spectrogram.Height; ++y) {
            const TColour colour = ScaleColour(
                (RowPower(power, rows[size_t(y)]) - KLowestDecibels) / -KLowestDecibels);
            auto* pixel = reinterpret_cast<uint32_t*>(pixels + ptrdiff_t{y} * stride) + x;
            *pixel = uint32_t(std::lround(colour.R * 255)) << 16 |
                     uint32_t(std::lround(colour.G * 255)) << 8 |
                     uint32_t(std::lround(colour.B * 255));
        }
    }
    cairo_surface_mark_dirty(image.get());
    cairo_set_source_surface(cr, image.get(), spectrogram.Left, spectrogram.Top);
    cairo_paint(cr);

    // The frequency axis.
    SetColour(cr, KText);
    DrawText(cr, "Hz", spectrogram.Left - 10, spectrogram.Top - 2, alRight);
    const double lowest = LowestFrequency(), highest = HighestFrequency();
    for (double decade = 10; decade <= highest; decade *= 10)
        for (const double step : {1.0, 2.0, 5.0}) {
            const double hertz = decade * step;
            if (hertz < lowest || hertz > highest)
                continue;
            const double y = spectrogram.Top + spectrogram.Height * std::log(highest / hertz) /
                                                   std::log(highest / lowest);
            SetColour(cr, KText, 0.18);
            cairo_rectangle(cr, spectrogram.Left, std::round(y), spectrogram.Width, 1);
            cairo_fill(cr);
            SetColour(cr, KText);
            cairo_rectangle(cr, spectrogram.Left - 5, std::round(y), 5, 1);
            cairo_fill(cr);
            DrawText(cr, FrequencyLabel(hertz), spectrogram.Left - 8, y + 4, alRight);
        }

    // The time axis, with its lines through both plots.
    if (FDuration > 0) {
        const double step = TimeStep(FDuration, spectrogram.Width);
        for (double seconds = 0; seconds <= FDuration + 1e-9; seconds += step) {
            const double x = spectrogram.Left + spectrogram.Width * seconds / FDuration;
            SetColour(cr, KText, 0.14);
            cairo_rectangle(cr, std::round(x), wave.Top, 1,
                            spectrogram.Top + spectrogram.Height - wave.Top);
            cairo_fill(cr);
            SetColour(cr, KText);
            cairo_rectangle(cr, std::round(x), spectrogram.Top + spectrogram.Height, 1, 5);
            cairo_fill(cr);
            DrawText(cr, TimeLabel(seconds, step), x, spectrogram.Top + spectrogram.Height + 18,
                     seconds == 0 ? alLeft : alCentre);
        }
    }

    // The colour scale's legend.
    const double barLeft = spectrogram.Left + spectrogram.Width + 14;
    cairo_pattern_t* gradient =
        cairo_pattern_create_linear(0, spectrogram.Top + spectrogram.Height, 0, spectrogram.Top);
    for (size_t stop = 0; stop < KScale.size(); ++stop)
        cairo_pattern_add_color_stop_rgb(gradient, double(stop) / (KScale.size() - 1),
                                         KScale[stop].R, KScale[stop].G, KScale[stop].B);
    cairo_set_source(cr, gradient);
    cairo_rectangle(cr, barLeft, spectrogram.Top, 14, spectrogram.Height);
    cairo_fill(cr);
    cairo_pattern_destroy(gradient);
    SetColour(cr, KText);
    DrawText(cr, "dBFS", barLeft, spectrogram.Top - 4, alLeft);
    for (int decibels = 0; decibels >= static_cast<int>(KLowestDecibels); decibels -= 20) {
        const double y = spectrogram.Top + spectrogram.Height * decibels / KLowestDecibels;
        cairo_rectangle(cr, barLeft + 14, std::round(y), 4, 1);
        cairo_fill(cr);
        DrawText(
            cr, FormatMessage("%d", decibels), barLeft + 21,
            std::clamp(y + 4, spectrogram.Top + 8.0, spectrogram.Top + spectrogram.Height + 0.0),
            alLeft);
    }

    cairo_surface_flush(surface.get());
    std::string png;
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(surface.get(), AppendBytes, &png);
    if (status != CAIRO_STATUS_SUCCESS)
        throw Exception(std::string("TSVAnalysisPicture: ") + cairo_status_to_string(status));
    return png;
}

} // namespace sonvera
