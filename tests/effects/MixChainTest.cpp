// The mix in real chains: tone sources, each on its own clock thread, through a format filter
// to float, mixed and compared with the sum of what each branch gives alone; a late input fed
// by hand at its stamp while a tone runs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVToneGen.h"
#include "sonvera/effects/SVMixFilter.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;

namespace {

const auto* const GMixStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes}});

using TRecorder = sonvera::testing::TRecordingAudioOut;

// A mono tone of ASeconds at ARate Hz, turned into float.
struct TBranch {
    TSVToneGen Tone{nullptr};
    TSVFormatFilter Format{nullptr};
    TBranch(double AFrequency, double ASeconds, uint32_t ARate) {
        Tone.SetFrequency(AFrequency);
        Tone.SetDurationSeconds(ASeconds);
        Tone.GetAudioFormat()->SetSampleRate(ARate);
        Tone.GetAudioFormat()->SetCountChannels(1);
        Format.SetFloat(true);
        EXPECT_TRUE(Tone.GetOutputPin()->Connect(Format.GetInputPin()));
    }
};

// Starts the tones and pumps the main thread (where their ends arrive) until all have ended.
void RunTones(std::initializer_list<TSVToneGen*> ATones) {
    for (TSVToneGen* tone : ATones)
        tone->Start();
    for (TSVToneGen* tone : ATones)
        while (tone->GetRunning() && TMainThread::WaitForWork())
            TMainThread::ProcessQueue();
}

std::vector<float> Floats(const TRecorder& ARecorder) {
    std::vector<float> samples(ARecorder.Bytes.size() / sizeof(float));
    std::memcpy(samples.data(), ARecorder.Bytes.data(), ARecorder.Bytes.size());
    return samples;
}

// What ABranch gives alone.
std::vector<float> Alone(TBranch& ABranch) {
    TRecorder out(nullptr);
    EXPECT_TRUE(ABranch.Format.GetAudioOutputPin()->Connect(out.GetInputPin()));
    RunTones({&ABranch.Tone});
    ABranch.Format.GetAudioOutputPin()->Disconnect(out.GetInputPin());
    return Floats(out);
}

// A mono float buffer of AValues at 8 kHz stamped from ABegin seconds.
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
        double SecondsA, SecondsB; // the tones' lengths; B < 0: fed by hand, -B s late
        uint32_t RateB;
        const char* Gains;
        bool Shortest;
        double Expected; // seconds; 0: refused
    } cases[] = {
        {"longest", 2, 3, 8000, "-6 0", false, 3},
        {"shortest", 2, 3, 8000, "-6dB", true, 2},
        {"shorter second", 3, 2, 8000, "-6", false, 3},
        {"late start", 0.25, -0.3, 8000, "-6", false, 0.4},
        {"rates differ", 2, 3, 16000, "", false, 0},
    };
    // An input count outside 2 to 16 is refused and the pins stay as they were.
    TSVMixFilter sized(nullptr);
    for (int32_t inputs : {1, 17})
        EXPECT_EQ(sonvera::testing::MessageOf<EArgumentError>([&] { sized.SetInputs(inputs); }),
                  "Inputs out of range = " + std::to_string(inputs) + " (2 to 16)");
    EXPECT_EQ(sized.GetInputs(), 2);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const float gain = float(std::pow(10.0, -6.0 / 20));
        TBranch a(440, c.SecondsA, 8000), b(1000, std::max(c.SecondsB, 0.0), c.RateB);
        const std::vector<float> aloneA = Alone(a);
        std::vector<float> aloneB = c.SecondsB > 0 ? Alone(b) : std::vector<float>(800, 0.25f);
        TSVMixFilter mix(nullptr);
        TRecorder out(nullptr);
        mix.SetGains(c.Gains);
        mix.SetShortest(c.Shortest);
        ASSERT_TRUE(a.Format.GetAudioOutputPin()->Connect(mix.GetInputPin(0)));
        ASSERT_TRUE(mix.GetOutputPin()->Connect(out.GetInputPin()));
        size_t lateB = 0;
        if (c.Expected == 0) {
            ASSERT_TRUE(b.Format.GetAudioOutputPin()->Connect(mix.GetInputPin(1)));
            a.Tone.Start();
            const std::string refused = "mix: input 1 runs at 16000 Hz, 1 channel(s), the mix at "
                                        "8000 Hz, 1 channel(s) (resample or remix it first)";
            EXPECT_EQ(sonvera::testing::MessageOf<EArgumentError>([&] { b.Tone.Start(); }),
                      refused);
            EXPECT_EQ(mix.GetError(), refused);
            a.Tone.Stop();
            continue;
        }
        if (c.SecondsB > 0) {
            ASSERT_TRUE(b.Format.GetAudioOutputPin()->Connect(mix.GetInputPin(1)));
            RunTones({&a.Tone, &b.Tone});
        } else { // b arrives on this thread while a runs on its clock
            TSVPXAudioSourcePin pin(nullptr, nullptr, nullptr, nullptr);
            ASSERT_TRUE(pin.Connect(mix.GetInputPin(1)));
            a.Tone.Start();
            const TSVWaveFormatExtensible format = Stamped(aloneB, 0)->GetWaveFormat();
            pin.Notify(TPXStartWaveOperation::Create(&format, false));
            pin.SubmitBuffer(Stamped(aloneB, -c.SecondsB));
            pin.Notify(TPXEndStopOperation::Create());
            RunTones({&a.Tone});
            lateB = size_t(std::llround(-c.SecondsB * 8000));
        }
        const std::vector<float> mixed = Floats(out);
        ASSERT_EQ(mixed.size(), size_t(std::llround(c.Expected * 8000)));
        for (size_t i = 0; i < mixed.size(); ++i) {
            float sum = i < aloneA.size() ? gain * aloneA[i] : 0.0f;
            if (i >= lateB && i - lateB < aloneB.size())
                sum += aloneB[i - lateB];
            ASSERT_EQ(mixed[i], sum) << "frame " << i;
        }
        EXPECT_EQ(out.Operations.back(), "TPXEndStopOperation");
    }
}

} // namespace
