// The meters and the picture on real chains: synthesised signals leave a source pin, pass the
// loudness, level and spectrum components (inline and on their processing threads) and end in
// nothing; what they measure is checked against the signals' known levels.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <iterator>
#include <numbers>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "TestSupport.h"
#include "sonvera/analysis/SVAnalysisPicture.h"
#include "sonvera/analysis/SVFrequencyMeter.h"
#include "sonvera/analysis/SVLevelMeter.h"
#include "sonvera/analysis/SVLoudnessMeter.h"
#include "sonvera/buffers/SVSampleView.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;

namespace {

const auto* const GAnalysisStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializeQXBasicDispatcher},
                                  {InitializeSVBasicDispatcher},
                                  {InitializeSVSimpleAudioBuffer},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes}});

constexpr int32_t KRate = 48000;

// A signal as a function of the frame, the same in every channel, at ABits; values are
// fractions of full scale.
using TSignal = std::function<double(int64_t)>;

TSignal Sine(double AHertz, double ADecibels, double APhase = 0) {
    const double amplitude = std::pow(10.0, ADecibels / 20);
    return [=](int64_t AFrame) {
        return amplitude * std::sin(2 * std::numbers::pi * AHertz * AFrame / KRate + APhase);
    };
}

// Streams ASeconds of ASignal through AFilters (chained in order) in buffers of 4096 frames,
// then stops; the main-thread queue is pumped after the stop.
void Stream(std::vector<TSVCommonFilter*> AFilters, const TSignal& ASignal, double ASeconds,
            int32_t ABits = 16, int32_t AChannels = 2, bool AThreaded = false) {
    TSVPXAudioSourcePin source(nullptr, nullptr, nullptr, nullptr);
    TPXPin* last = &source;
    for (TSVCommonFilter* filter : AFilters) {
        filter->SetThreaded(AThreaded);
        ASSERT_TRUE(last->Connect(filter->GetInputPin()));
        last = filter->GetOutputPin();
    }
    source.Notify(TPXStartWaveOperation::CreateFormat(KRate, ABits, AChannels, false));
    const auto frames = static_cast<int64_t>(ASeconds * KRate);
    const double scale = std::ldexp(1.0, ABits - 1);
    for (int64_t first = 0; first < frames; first += 4096) {
        const auto count = static_cast<uint32_t>(std::min<int64_t>(4096, frames - first));
        const TRef<ISVAudioBuffer> buffer =
            TSVAudioBuffer::CreateSize(KRate, ABits, AChannels, count);
        auto write = [&]<int32_t ABitsOf>(TSVSamples<ABitsOf> ASamples) {
            for (uint32_t frame = 0; frame < count; ++frame) {
                // 8-bit samples are unsigned about 128, as in files.
                const double value =
                    std::clamp(std::round(ASignal(first + frame) * scale), -scale, scale - 1);
                for (int32_t channel = 0; channel < AChannels; ++channel)
                    ASamples(frame, channel) =
                        static_cast<TSVSampleValue<ABitsOf>>(ABitsOf == 8 ? value + 128 : value);
            }
        };
        if (ABits == 8)
            write(SVWriteSamples<8>(buffer));
        else if (ABits == 16)
            write(SVWriteSamples<16>(buffer));
        else
            write(SVWriteSamples<24>(buffer));
        source.SubmitBuffer(buffer);
    }
    source.Notify(TPXStopOperation::Create());
    TMainThread::ProcessQueue();
}

// The integrated loudness of 20 s alternating between a 1 kHz sine at -20 dBFS (5 s) and the
// same 20 dB lower, from the gating rule itself: 400 ms blocks every 100 ms, each weighed by its
// share of loud frames; blocks more than 10 LU below the mean of all are left out.
double GatedAlternating() {
    std::vector<double> energies; // relative to the loud sine's
    for (int block = 0; block * 100 + 400 <= 20'000; ++block) {
        const int begin = block * 100, end = begin + 400;
        int loud = 0;
        for (const int segment : {0, 10'000})
            loud += std::max(0, std::min(end, segment + 5000) - std::max(begin, segment));
        energies.push_back(loud / 400.0 + (1 - loud / 400.0) * 0.01);
    }
    const auto mean = [](const std::vector<double>& AValues) {
        return std::accumulate(AValues.begin(), AValues.end(), 0.0) / AValues.size();
    };
    const double gate = 10 * std::log10(mean(energies)) - 10;
    std::vector<double> kept;
    std::copy_if(energies.begin(), energies.end(), std::back_inserter(kept),
                 [&](double AEnergy) { return 10 * std::log10(AEnergy) > gate; });
    return -20 + 10 * std::log10(mean(kept));
}

} // namespace

TEST(Loudness, SynthesisedReferencesReadTheirLevelsInlineAndThreaded) {
    struct TCase {
        const char* Name;
        TSignal Signal;
        int32_t Bits;
        bool Threaded;
        double Integrated, SamplePeak, TruePeak; // LUFS (NaN: not checked), dBFS
    };
    // Alternating 5 s at -20 dBFS and 5 s at -40 dBFS: ungated the mean would read about
    // -23 LUFS; the relative gate leaves the quiet half out, but for the blocks that straddle.
    const TSignal alternating = [loud = Sine(1000, -20), quiet = Sine(1000, -40)](int64_t AFrame) {
        return (AFrame / (5 * KRate)) % 2 == 0 ? loud(AFrame) : quiet(AFrame);
    };
    const std::vector<TCase> cases = {
        {"-23 dBFS, 16-bit", Sine(1000, -23), 16, false, -23.0, -23.0, -23.0},
        {"-33 dBFS, 24-bit, threaded", Sine(1000, -33), 24, true, -33.0, -33.0, -33.0},
        {"-23 dBFS, 8-bit", Sine(1000, -23), 8, false, -23.0, -23.0, -23.0},
        {"alternating, gated", alternating, 16, true, GatedAlternating(), -20.0, -20.0},
        // A quarter of the rate, 45 degrees late: every sample misses the crest by 3 dB.
        {"crests between samples", Sine(KRate / 4, -6, std::numbers::pi / 4), 24, false, NAN,
         -6 + 20 * std::log10(std::sqrt(0.5)), -6.0},
    };
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Name);
        TSVLoudnessMeter meter(nullptr);
        meter.SetInterval(1000);
        std::vector<TSVLoudness> events;
        meter.SetOnLoudness([&](const TSVLoudness& AFigures) { events.push_back(AFigures); });
        Stream({&meter}, test.Signal, 20, test.Bits, 2, test.Threaded);
        const TSVLoudness figures = meter.GetLoudness();
        // 8 bits round a -23 dBFS sine to 5 steps: its level is off by a few tenths.
        const double tolerance = test.Bits == 8 ? 0.5 : 0.1;
        if (!std::isnan(test.Integrated)) {
            EXPECT_NEAR(figures.Integrated, test.Integrated, tolerance);
        }
        ASSERT_EQ(figures.TruePeak.size(), 2u);
        EXPECT_NEAR(figures.SamplePeak[1], test.SamplePeak, tolerance);
        EXPECT_NEAR(figures.TruePeak[0], test.TruePeak, 0.2);
        EXPECT_GE(figures.TruePeak[0], figures.SamplePeak[0]);
        // One event a second of stream time and one at the stop, the last one final.
        ASSERT_EQ(events.size(), 21u);
        EXPECT_EQ(events.back().Integrated, figures.Integrated);
        EXPECT_GE(events[9].Time, 100'000'000); // at the end of the buffer that crossed 10 s
        EXPECT_LT(events[9].Time, 100'000'000 + 4096 * 10'000'000LL / KRate);
    }
}

TEST(Levels, BlocksCarryPeakRmsDcAndClippedSamplesOfEveryWidth) {
    // A square wave between +A and -A around an offset D: peak |D| + A, RMS sqrt(A² + D²), DC D.
    // At full scale every sample sits on an extreme of its width and counts as clipped.
    struct TCase {
        int32_t Bits;
        double Amplitude, Offset;
        bool Clipped;
    };
    for (const TCase& test :
         {TCase{16, 0.5, 0.25, false}, TCase{24, 0.25, -0.125, false}, TCase{8, 0.5, 0.0, false},
          TCase{16, 2.0, 0.0, true}, TCase{8, 2.0, 0.0, true}}) {
        SCOPED_TRACE(test.Bits);
        TSVLevelMeter meter(nullptr);
        meter.SetInterval(10); // 480 frames
        std::vector<TSVLevels> blocks;
        meter.SetOnLevels([&](const TSVLevels& ABlock) { blocks.push_back(ABlock); });
        Stream(
            {&meter},
            [&](int64_t AFrame) { return test.Offset + (AFrame % 2 ? -1 : 1) * test.Amplitude; },
            0.105, test.Bits, 1);
        ASSERT_EQ(blocks.size(), 11u); // 5040 frames: ten whole blocks and what was left
        EXPECT_EQ(blocks[10].Frames, 240u);
        EXPECT_EQ(blocks[3].Begin, 300'000);
        const TSVChannelLevels total = meter.GetTotal().Channels.at(0);
        const double step = std::ldexp(1.0, 1 - test.Bits); // one step of the width
        const double amplitude = std::min(test.Amplitude, 1.0);
        EXPECT_NEAR(total.Maximum, test.Offset + amplitude, step * (test.Clipped ? 1 : 0.5));
        EXPECT_NEAR(total.Minimum, test.Offset - amplitude, step);
        EXPECT_NEAR(total.Peak, std::abs(test.Offset) + amplitude, step);
        EXPECT_NEAR(total.Rms, std::hypot(amplitude, test.Offset), step);
        EXPECT_NEAR(total.Dc, test.Offset, step / 2); // 8-bit samples centre on 128
        EXPECT_EQ(total.Clipped, test.Clipped ? 5040u : 0u);
    }
}

namespace {

// The picture's pixels, read back from its PNG.
struct TPixels {
    int32_t Width = 0, Height = 0;
    std::vector<uint32_t> Rgb;
    uint32_t At(int32_t AX, int32_t AY) const { return Rgb[size_t(AY) * Width + AX] & 0xFFFFFF; }
};

TPixels Decode(const std::string& APng) {
    struct TReader {
        const std::string& Bytes;
        size_t At = 0;
    } reader{APng};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* AClosure, unsigned char* AData, unsigned int ALength) {
            auto* from = static_cast<TReader*>(AClosure);
            if (from->Bytes.size() - from->At < ALength)
                return CAIRO_STATUS_READ_ERROR;
            std::memcpy(AData, from->Bytes.data() + from->At, ALength);
            from->At += ALength;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    TPixels pixels;
    pixels.Width = cairo_image_surface_get_width(surface);
    pixels.Height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; y < pixels.Height; ++y) {
        const auto* row =
            reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface) + y * stride);
        pixels.Rgb.insert(pixels.Rgb.end(), row, row + pixels.Width);
    }
    cairo_surface_destroy(surface);
    return pixels;
}

uint32_t Brightness(uint32_t APixel) {
    return (APixel >> 16 & 0xFF) + (APixel >> 8 & 0xFF) + (APixel & 0xFF);
}

} // namespace

TEST(Picture, ToneDrawsItsRowAndWaveformSilenceDrawsNoWaveform) {
    for (const double hertz : {1000.0, 0.0}) {
        SCOPED_TRACE(hertz);
        TSVAnalysisPicture picture(900, 560);
        const double seconds = 3;
        const double interval = seconds * 1000 / picture.PlotWidth();
        TSVLevelMeter levels(nullptr);
        TSVFrequencyMeter spectrum(nullptr);
        levels.SetInterval(interval);
        spectrum.SetInterval(interval);
        levels.SetOnLevels([&](const TSVLevels& ABlock) { picture.AddLevels(ABlock); });
        spectrum.SetOnSpectrum([&](const TSVFrequencyColumn& AColumn) {
            picture.AddSpectrum(AColumn);
            if (hertz > 0) { // the brightest bin is the tone's
                EXPECT_NEAR((std::max_element(AColumn.Power.begin(), AColumn.Power.end()) -
                             AColumn.Power.begin()) *
                                AColumn.BinWidth,
                            hertz, AColumn.BinWidth);
            }
        });
        Stream(
            {&levels, &spectrum}, hertz > 0 ? Sine(hertz, -6) : [](int64_t) { return 0.0; },
            seconds);
        picture.SetDuration(seconds);
        const TPixels pixels = Decode(picture.EncodePng());
        ASSERT_EQ(pixels.Width, 900);
        ASSERT_EQ(pixels.Height, 560);

        // The brightest row of the spectrogram, summed along the time axis.
        const TSVPictureArea spectrogram = picture.SpectrogramArea();
        int32_t brightest = 0;
        uint64_t most = 0;
        for (int32_t y = 0; y < spectrogram.Height; ++y) {
            uint64_t sum = 0;
            for (int32_t x = 0; x < spectrogram.Width; ++x)
                sum += Brightness(pixels.At(spectrogram.Left + x, spectrogram.Top + y));
            if (sum > most)
                std::tie(most, brightest) = std::tuple(sum, y);
        }
        // Waveform pixels: bluer than anything the lanes, lines and labels draw.
        const TSVPictureArea wave = picture.WaveformArea();
        int64_t drawn = 0;
        for (int32_t y = wave.Top; y < wave.Top + wave.Height; ++y)
            for (int32_t x = wave.Left; x < wave.Left + wave.Width; ++x) {
                const uint32_t pixel = pixels.At(x, y);
                drawn += (pixel & 0xFF) > 0xC0 && (pixel >> 16 & 0xFF) < 0xB0;
            }
        if (hertz > 0) {
            EXPECT_NEAR(std::log2(picture.FrequencyOfRow(brightest) / hertz), 0, 1.0 / 24);
            EXPECT_GT(drawn, 2 * wave.Width);
        } else {
            EXPECT_EQ(drawn, 0);
        }
    }
}

TEST(Analysis, RefusesSettingsOutOfRange) {
    TSVLoudnessMeter loudness(nullptr);
    TSVFrequencyMeter spectrum(nullptr);
    EXPECT_THROW(loudness.SetInterval(-1), EArgumentError);
    EXPECT_THROW(spectrum.SetSize(1000), EArgumentError);
    EXPECT_THROW(spectrum.SetSize(1 << 17), EArgumentError);
    EXPECT_THROW(TSVAnalysisPicture(100, 100), EArgumentError);
    EXPECT_EQ(spectrum.GetSize(), 4096);
}
