// The mix in real chains: two tone sources, each on its own clock thread, mixed and compared
// with the sum of what each tone gives alone; a late input fed by hand at its stamp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/components/SVComponentClasses.h"
#include "sonvera/effects/SVEffects.h"
#include "sonvera/effects/SVMixFilter.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;

namespace {

const auto* const GMixStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes},
                                  {RegisterSVComponentClasses, UnregisterSVComponentClasses},
                                  {RegisterSVEffects, UnregisterSVEffects}});

using TRecorder = sonvera::testing::TRecordingAudioOut;

std::vector<float> Floats(const TRecorder& ARecorder) {
    std::vector<float> samples(ARecorder.Bytes.size() / sizeof(float));
    std::memcpy(samples.data(), ARecorder.Bytes.data(), ARecorder.Bytes.size());
    return samples;
}

// The floats AText's component ALast sends into a recorder.
std::vector<float> Record(const std::string& AText, const std::string& ALast, TRecorder& AInto) {
    TSVChain chain = TSVChain::Parse(AText);
    chain.Add(AInto, "record");
    chain.Connect(ALast, "record");
    chain.Run();
    return Floats(AInto);
}

std::string Tone(const char* AName, double AFrequency, double ASeconds, const char* ARate) {
    return FormatMessage("tone name=%s frequency=%g duration=%g audioformat.samplerate=%s "
                         "audioformat.channels=1 ! "
                         "format float=true",
                         AName, AFrequency, ASeconds, ARate);
}

// A float buffer of AValues at 8 kHz stamped from ABegin seconds.
TRef<ISVAudioBuffer> Stamped(const std::vector<float>& AValues, double ABegin) {
    const TRef<ISVAudioBuffer> buffer =
        TSVAudioBuffer::CreateFloatSizeEx(8000, 1, int32_t(AValues.size()), KSVSpeakersMono);
    std::memcpy(buffer->Write(), AValues.data(), AValues.size() * sizeof(float));
    const auto begin = std::llround(ABegin * KUnitsPerSecond);
    SVStampBuffer(*buffer, begin, begin + SVFramesToUnits(int64_t(AValues.size()), 8000));
    return buffer;
}

TEST(MixChainTest, InputsAreSummedWithTheirGainsAtTheirTimesUntilTheEndRuleSays) {
    struct TCase {
        const char* Name;
        double SecondsA, SecondsB; // the tones' lengths; B < 0: B fed by hand, -B s late
        const char* RateB;
        const char* Mix;
        double Expected; // seconds; 0: refused
    } cases[] = {
        {"longest", 2, 3, "8k", "gains=-6,0", 3},
        {"shortest", 2, 3, "8k", "gains=-6dB shortest=true", 2},
        {"shorter second", 3, 2, "8k", "gains=-6", 3},
        {"late start", 0.25, -0.3, "8k", "gains=-6", 0.4},
        {"rates differ", 2, 3, "16k", "", 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const float gain = float(std::pow(10.0, -6.0 / 20));
        TRecorder aloneA(nullptr), aloneB(nullptr), mixed(nullptr);
        const std::vector<float> a = Record(Tone("a", 440, c.SecondsA, "8k"), "format", aloneA);
        std::vector<float> b(800, 0.25f);
        size_t lateB = 0;
        const std::string mix = Tone("a", 440, c.SecondsA, "8k") + " ! mix name=m " + c.Mix;
        if (c.SecondsB > 0) {
            b = Record(Tone("b", 1000, c.SecondsB, "8k"), "format", aloneB);
            const std::string text = mix + " " + Tone("b", 1000, c.SecondsB, c.RateB) + " ! m.1";
            if (c.Expected == 0) {
                EXPECT_EQ(sonvera::testing::MessageOf<Exception>([&] { Record(text, "m", mixed); }),
                          "b: mix: input 1 runs at 16000 Hz, 1 channel(s), the mix at 8000 Hz, 1 "
                          "channel(s) (resample or remix it first)");
                continue;
            }
            Record(text, "m", mixed);
        } else { // a's chain renders on this thread; b is fed by hand before it runs
            TSVChain chain = TSVChain::Parse(mix);
            chain.Add(mixed, "record");
            chain.Connect("m", "record");
            TSVPXAudioSourcePin pin(nullptr, nullptr, nullptr, nullptr);
            ASSERT_TRUE(pin.Connect(dynamic_cast<TSVMixFilter&>(*chain.Find("m")).GetInputPin(1)));
            chain.Start();
            const TSVWaveFormatExtensible format = Stamped(b, 0)->GetWaveFormat();
            pin.Notify(TPXStartWaveOperation::Create(&format, false));
            pin.SubmitBuffer(Stamped(b, -c.SecondsB));
            pin.Notify(TPXEndStopOperation::Create());
            chain.Wait();
            lateB = size_t(std::llround(-c.SecondsB * 8000));
        }
        const std::vector<float> out = Floats(mixed);
        ASSERT_EQ(out.size(), size_t(std::llround(c.Expected * 8000)));
        for (size_t i = 0; i < out.size(); ++i) {
            float sum = i < a.size() ? gain * a[i] : 0.0f;
            if (i >= lateB && i - lateB < b.size())
                sum += b[i - lateB];
            ASSERT_EQ(out[i], sum) << "frame " << i;
        }
        EXPECT_EQ(mixed.Operations.back(), "TPXEndStopOperation");
    }
}

} // namespace
