// Effects in real chains: a source pin, the effect, and an output that records what arrives,
// measured against analytic responses and textbook curves.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/effects/SVBiquadFilters.h"
#include "sonvera/effects/SVChannelFilters.h"
#include "sonvera/effects/SVDynamicsFilters.h"
#include "sonvera/effects/SVEffects.h"
#include "sonvera/effects/SVRemixFilter.h"
#include "sonvera/effects/SVTimeFilters.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;
using sonvera::testing::MessageOf;

namespace {

const auto* const GEffectsStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializeQXBasicDispatcher},
                                  {InitializeSVBasicDispatcher},
                                  {InitializeSVSimpleAudioBuffer},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes},
                                  {RegisterSVEffects, UnregisterSVEffects}});

constexpr int32_t KRate = 48000;

// Runs AChannels-channel float frames through AFilters in order, in buffers of ABlock frames
// (0: one buffer), and returns the floats that arrive, stop included.
std::vector<float> RunChain(const std::vector<TSVCommonFilter*>& AFilters,
                            const std::vector<float>& AFrames, uint32_t AChannels,
                            uint32_t ABlock = 0) {
    TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
    sonvera::testing::TRecordingAudioOut out(nullptr);
    EXPECT_TRUE(up.Connect(AFilters.front()->GetInputPin()));
    for (size_t i = 0; i + 1 < AFilters.size(); ++i)
        EXPECT_TRUE(AFilters[i]->GetOutputPin()->Connect(AFilters[i + 1]->GetInputPin()));
    EXPECT_TRUE(AFilters.back()->GetOutputPin()->Connect(out.GetInputPin()));
    const TSVWaveFormatExtensible format = SVFloatFormatOf(
        TPXStartWaveOperation::CreateFormatObject(KRate, 32, int32_t(AChannels), false)
            ->GetWaveFormat());
    up.Notify(TPXStartWaveOperation::Create(&format, false));
    const size_t frames = AFrames.size() / AChannels;
    const size_t block = ABlock ? ABlock : frames;
    for (size_t first = 0; first < frames; first += block) {
        const size_t count = std::min(block, frames - first);
        const TRef<ISVAudioBuffer> buffer =
            TSVAudioBuffer::CreateWaveFormat(&format, int32_t(count));
        std::memcpy(buffer->Write(), AFrames.data() + first * AChannels,
                    count * AChannels * sizeof(float));
        up.SubmitBuffer(buffer);
    }
    up.Notify(TPXStopOperation::Create());
    std::vector<float> result(out.Bytes.size() / sizeof(float));
    std::memcpy(result.data(), out.Bytes.data(), out.Bytes.size());
    return result;
}

// The class name the registry holds under AShortName.
std::string RegisteredClassName(const std::string& AShortName) {
    for (TClassRef info : RegisteredComponents())
        if (info->ShortName == AShortName)
            return info->ClassName;
    ADD_FAILURE() << "no component " << AShortName;
    return {};
}

std::vector<float> Sine(double AFrequency, double AAmplitude, size_t AFrames) {
    std::vector<float> samples(AFrames);
    for (size_t i = 0; i < AFrames; ++i)
        samples[i] = float(AAmplitude * std::sin(2 * std::numbers::pi * AFrequency * i / KRate));
    return samples;
}

double RmsOfLastHalf(const std::vector<float>& ASamples) {
    double sum = 0;
    for (size_t i = ASamples.size() / 2; i < ASamples.size(); ++i)
        sum += double(ASamples[i]) * ASamples[i];
    return std::sqrt(sum / double(ASamples.size() - ASamples.size() / 2));
}

// The analog prototype of each section, warped as the bilinear transform warps it: the
// magnitude the digital filter must have at AFrequency.
double PrototypeDB(TSVBiquadKind AKind, double AFrequency, double ACorner, double AQ,
                   double AGain) {
    using C = std::complex<double>;
    const double w = std::tan(std::numbers::pi * AFrequency / KRate) /
                     std::tan(std::numbers::pi * ACorner / KRate);
    const C s(0, w);
    const double a = std::pow(10.0, AGain / 40), r = std::sqrt(a);
    const C poles = s * s + s / AQ + 1.0;
    C h;
    switch (AKind) {
    case bkLowpass:
        h = 1.0 / poles;
        break;
    case bkHighpass:
        h = s * s / poles;
        break;
    case bkBandpass:
        h = (s / AQ) / poles;
        break;
    case bkNotch:
        h = (s * s + 1.0) / poles;
        break;
    case bkPeak:
        h = (s * s + s * (a / AQ) + 1.0) / (s * s + s / (a * AQ) + 1.0);
        break;
    case bkLowShelf:
        h = a * (s * s + s * (r / AQ) + a) / (a * s * s + s * (r / AQ) + 1.0);
        break;
    case bkHighShelf:
        h = a * (a * s * s + s * (r / AQ) + 1.0) / (s * s + s * (r / AQ) + a);
        break;
    }
    return 20 * std::log10(std::abs(h));
}

} // namespace

TEST(EffectChain, BiquadsMeasureTheirAnalyticResponse) {
    struct TCase {
        const char* ShortName;
        TSVBiquadKind Kind;
        double Corner, Q, Gain;
        uint32_t Poles;
    };
    const TCase cases[] = {{"lowpass", bkLowpass, 1000, 0.7071, 0, 2},
                           {"lowpass", bkLowpass, 3000, 2, 0, 4},
                           {"highpass", bkHighpass, 1000, 0.7071, 0, 2},
                           {"highpass", bkHighpass, 200, 0.5, 0, 4},
                           {"bandpass", bkBandpass, 2000, 1.5, 0, 2},
                           {"notch", bkNotch, 1000, 3, 0, 2},
                           {"peak", bkPeak, 1500, 1, 9, 2},
                           {"lowshelf", bkLowShelf, 300, 0.7071, -8, 2},
                           {"highshelf", bkHighShelf, 5000, 0.9, 6, 2}};
    for (const TCase& test : cases) {
        for (const double frequency : {100.0, 200.0, 1000.0, 1500.0, 4000.0, 12000.0}) {
            SCOPED_TRACE(std::string(test.ShortName) + " at " + std::to_string(frequency));
            const std::unique_ptr<TPersistent> component =
                CreateComponent(RegisteredClassName(test.ShortName), nullptr);
            auto* filter = static_cast<TSVBiquadFilter*>(component.get());
            ASSERT_EQ(filter->GetKind(), test.Kind);
            filter->SetFrequency(test.Corner);
            filter->SetQ(test.Q);
            if (auto* gain = dynamic_cast<TSVGainBiquadFilter*>(filter))
                gain->SetGain(test.Gain);
            if (auto* pass = dynamic_cast<TSVPassFilter*>(filter))
                pass->SetPoles(test.Poles);
            const std::vector<float> in = Sine(frequency, 0.25, KRate / 2);
            const double measured =
                20 * std::log10(RmsOfLastHalf(RunChain({filter}, in, 1, 1024)) / RmsOfLastHalf(in));
            const double expected =
                PrototypeDB(test.Kind, frequency, test.Corner, test.Q, test.Gain) * test.Poles / 2;
            if (expected > -60) // deeper than that the measure is the float's noise
                EXPECT_NEAR(measured, expected, 0.05);
            else
                EXPECT_LT(measured, -50);
        }
    }
}

// Every registered effect keeps its state across buffers: one buffer or many uneven ones give
// the same samples, and the stream keeps its length.
TEST(EffectChain, EveryEffectGivesTheSameSamplesInOneBufferAndInMany) {
    std::vector<float> noise(2 * 9000);
    uint32_t seed = 12345;
    for (size_t i = 0; i < noise.size(); ++i) { // loud noise with a quiet stretch, for the gate
        seed = seed * 1664525u + 1013904223u;
        noise[i] = float(int32_t(seed) / 2147483648.0) * (i / 6000 % 2 ? 0.001f : 1.5f);
    }
    for (const TComponentClass& effect : SVEffectClasses()) {
        SCOPED_TRACE(effect.Class->ShortName);
        const std::unique_ptr<TPersistent> whole = effect.Factory(nullptr);
        const std::unique_ptr<TPersistent> pieces = effect.Factory(nullptr);
        if (!dynamic_cast<TSVCommonFilter*>(whole.get()))
            continue; // several inputs: the mix has its own test
        for (TPersistent* component : {whole.get(), pieces.get()}) // 0 dB would pass it through
            if (auto* shelf = dynamic_cast<TSVGainBiquadFilter*>(component))
                shelf->SetGain(6);
            else if (auto* fade = dynamic_cast<TSVFadeFilter*>(component))
                fade->SetIn(0.1);
            else if (auto* pan = dynamic_cast<TSVPanFilter*>(component))
                pan->SetPan(0.5);
            else if (auto* remix = dynamic_cast<TSVRemixFilter*>(component))
                remix->SetLayout("mono");
        const std::vector<float> once =
            RunChain({static_cast<TSVCommonFilter*>(whole.get())}, noise, 2);
        const std::vector<float> many =
            RunChain({static_cast<TSVCommonFilter*>(pieces.get())}, noise, 2, 777);
        const size_t outputs = dynamic_cast<TSVRemixFilter*>(whole.get()) ? 1 : 2;
        ASSERT_EQ(once.size(), noise.size() / 2 * outputs);
        EXPECT_EQ(std::memcmp(once.data(), many.data(), once.size() * sizeof(float)), 0);
        EXPECT_NE(std::vector<float>(once.begin(), once.begin() + 100),
                  std::vector<float>(noise.begin(), noise.begin() + 100));
    }
}

// Steady levels well past the attack settle on the textbook curve: unchanged below the knee,
// T + (L - T) / R above it, and at the threshold of a soft knee K lowered by (1 - 1/R) K / 8.
TEST(EffectChain, CompressorSettlesOnItsStaticCurve) {
    const double threshold = -20, ratio = 4;
    struct TCase {
        double Knee, Level, Expected;
    };
    const TCase cases[] = {{0, -40, -40},
                           {0, -20, -20},
                           {0, -12, threshold + 8 / ratio},
                           {0, -2, threshold + 18 / ratio},
                           {6, -24, -24},
                           {6, -20, -20 - (1 - 1 / ratio) * 6 / 8},
                           {6, -10, threshold + 10 / ratio}};
    for (const TCase& test : cases) {
        SCOPED_TRACE(test.Level);
        TSVCompressor compressor(nullptr);
        compressor.SetThreshold(threshold);
        compressor.SetRatio(ratio);
        compressor.SetKnee(test.Knee);
        compressor.SetAttack(1);
        const std::vector<float> level(KRate / 2, float(std::pow(10.0, test.Level / 20)));
        const std::vector<float> out = RunChain({&compressor}, level, 1, 4096);
        EXPECT_NEAR(20 * std::log10(out.back()), test.Expected, 0.01);
    }
}

// A sine 12 dB over the ceiling never passes it, through a compressor before it too.
TEST(EffectChain, LimiterNeverPassesItsCeiling) {
    for (const double lookahead : {0.0, 5.0}) {
        TSVCompressor compressor(nullptr);
        TSVLimiter limiter(nullptr);
        limiter.SetLookahead(lookahead);
        compressor.SetMakeup(12);
        const float ceiling = float(std::pow(10.0, -1.0 / 20));
        std::vector<float> stereo(2 * KRate);
        const std::vector<float> sine = Sine(1000, std::pow(10.0, 11.0 / 20), KRate);
        for (size_t i = 0; i < sine.size(); ++i)
            stereo[2 * i] = stereo[2 * i + 1] = sine[i] * (i % 5000 < 2500 ? 1.0f : 0.5f);
        const std::vector<float> out = RunChain({&compressor, &limiter}, stereo, 2, 1000);
        ASSERT_EQ(out.size(), stereo.size());
        const float peak = SVPeakFloat(out.data(), out.size());
        EXPECT_LE(peak, ceiling);
        EXPECT_GT(peak, ceiling * 0.99f);
    }
}

TEST(EffectChain, SettingsOutOfRangeAreRefusedAndChangeNothing) {
    TSVHighpassFilter highpass(nullptr);
    TSVLimiter limiter(nullptr);
    TSVCompressor compressor(nullptr);
    EXPECT_EQ(MessageOf<EArgumentError>([&] { highpass.SetFrequency(0); }),
              "Frequency out of range = 0");
    EXPECT_EQ(MessageOf<EArgumentError>([&] { highpass.SetPoles(3); }),
              "Poles out of range = 3 (2 or 4)");
    EXPECT_EQ(MessageOf<EArgumentError>([&] { limiter.SetCeiling(0.5); }),
              "Ceiling out of range = 0.5 (-60 to 0)");
    EXPECT_EQ(MessageOf<EArgumentError>([&] { compressor.SetRatio(NAN); }),
              "Ratio out of range = nan (1 to 100)");
    EXPECT_EQ(highpass.GetFrequency(), 1000);
    EXPECT_EQ(highpass.GetPoles(), 2u);
    EXPECT_EQ(limiter.GetCeiling(), -1);
}

// The same highpass as ffmpeg's and sox's (the cookbook section at Q 0.7071) gives the same
// samples within the float precision of their state.
TEST(EffectChain, HighpassAgreesWithFfmpegAndSox) {
    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "sonvera-mix.f32", out = dir + "sonvera-highpass.f32";
    const auto tool = [](const std::string& ACommand) {
        ASSERT_EQ(std::system((ACommand + " >/dev/null 2>&1").c_str()), 0) << ACommand;
    };
    const auto read = [](const std::string& AFile) {
        std::ifstream file(AFile, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(file)), {});
        std::vector<float> samples(bytes.size() / sizeof(float));
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
        return samples;
    };
    tool("ffmpeg -y -f lavfi -i \"aevalsrc=0.4*sin(2*PI*300*t)+0.4*sin(2*PI*3000*t):d=1:s=48000\" "
         "-f f32le " +
         in);
    const std::vector<float> mix = read(in);
    TSVHighpassFilter highpass(nullptr);
    const std::vector<float> ours = RunChain({&highpass}, mix, 1, 1000);
    for (const std::string& command :
         {"ffmpeg -y -f f32le -ar 48000 -ac 1 -i " + in + " -af highpass=f=1000 -f f32le " + out,
          "sox -t f32 -r 48000 -c 1 " + in + " -t f32 " + out + " highpass 1000 0.7071q"}) {
        SCOPED_TRACE(command);
        tool(command);
        const std::vector<float> reference = read(out);
        ASSERT_EQ(reference.size(), ours.size());
        float worst = 0;
        for (size_t i = 0; i < ours.size(); ++i)
            worst = std::max(worst, std::fabs(ours[i] - reference[i]));
        EXPECT_LT(worst, 1e-4f);
    }
}

// Channel-marked input (each channel its own power of two) shows every weight: 5.1 folds to
// stereo as ITU-R BS.775 gives it (centre and surrounds at -3 dB, no LFE), stereo to mono is the
// average, and a matrix text replaces the weights.
TEST(EffectChain, RemixFoldsChannelMarkedInputByTheStandardWeights) {
    const float fl = 1, fr = 2, c = 4, lfe = 8, bl = 16, br = 32, k = 0.70710678f;
    struct TCase {
        uint32_t Channels;
        const char* Layout;
        const char* Matrix;
        std::vector<float> Expected;
    };
    const TCase cases[] = {{6, "stereo", "", {fl + k * c + k * bl, fr + k * c + k * br}},
                           {2, "mono", "", {(fl + fr) / 2}},
                           {6, "mono", "", {(fl + fr) / 2 + k * c + k * (bl + br) / 2}},
                           {1, "stereo", "", {fl, fl}},
                           {2, "stereo", "0 1; 1 0.5", {fr, fl + fr / 2}}};
    for (const TCase& test : cases) {
        SCOPED_TRACE(std::string(test.Layout) + " from " + std::to_string(test.Channels));
        const float marks[] = {fl, fr, c, lfe, bl, br};
        std::vector<float> frames;
        for (int i = 0; i < 3; ++i)
            frames.insert(frames.end(), marks, marks + test.Channels);
        TSVRemixFilter remix(nullptr);
        remix.SetLayout(test.Layout);
        remix.SetMatrix(test.Matrix);
        const std::vector<float> out = RunChain({&remix}, frames, test.Channels);
        ASSERT_EQ(out.size(), 3 * test.Expected.size());
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_FLOAT_EQ(out[i], test.Expected[i % test.Expected.size()]);
    }
    TSVRemixFilter remix(nullptr);
    EXPECT_EQ(MessageOf<EArgumentError>([&] { remix.SetLayout("quad"); }),
              "remix: unknown layout 'quad' (mono, stereo, 5.1 or 7.1)");
    EXPECT_EQ(MessageOf<EArgumentError>([] { SVParseRemixMatrix("1 x", 1, 2); }),
              "remix: matrix weight 'x' is not a number");
    EXPECT_EQ(MessageOf<EArgumentError>([] { SVParseRemixMatrix("1 0; 0 1", 1, 2); }),
              "remix: matrix has 2 rows; the layout has 1 channels");
}
