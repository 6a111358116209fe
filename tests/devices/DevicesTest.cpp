// The sound-server output and input against a private server with a null sink: a tone played
// through the output and recorded from the sink's monitor by the input, a server killed under
// both, the device list and the errors a user meets.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "PrivateSoundServer.h"
#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/components/SVCommonGen.h"
#include "sonvera/devices/SVPulseAudioIn.h"
#include "sonvera/devices/SVPulseAudioOut.h"
#include "sonvera/devices/SVPulseDevices.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;

namespace {

const auto* const GDevicesStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes}});

constexpr uint32_t KRate = 48000;
constexpr uint32_t KBuffer = 480; // 10 ms

// ATotal frames (0: endless) of a sine at AFrequency and AScale of full scale in every
// channel after ALead frames of silence, as fast as the chain takes them: an output that waits
// for its device paces it.
class TToneGen : public TSVCommonGen {
public:
    TToneGen(int64_t ATotal, double AFrequency, double AScale, int64_t ALead = 0)
        : TSVCommonGen(nullptr), FTotal(ATotal), FLead(ALead), FFrequency(AFrequency),
          FScale(AScale) {
        GetAudioFormat()->SetSampleRate(KRate);
        GetAudioFormat()->SetBufferSize(KBuffer);
        SetTimeSource(std::make_shared<TQXFreeRunningTimeSource>());
    }
    ~TToneGen() override { Stop(); }
    std::atomic<int64_t> Generated{0};

protected:
    void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool& ASend, bool& AStop) override {
        const int64_t next = Generated.load();
        const auto frames = static_cast<uint32_t>(
            FTotal > 0 ? std::min<int64_t>(ABuffer->GetSize(), FTotal - next) : ABuffer->GetSize());
        // Ticks may come after the end, until the stop arrives: they send nothing.
        ASend = frames > 0;
        AStop = FTotal > 0 && next + frames == FTotal;
        if (!ASend)
            return;
        ABuffer->Resize(frames, false);
        for (uint32_t i = 0; i < frames; ++i) {
            const int64_t frame = next + i;
            const double x = frame < FLead ? 0
                                           : std::sin(2 * std::numbers::pi * FFrequency *
                                                      static_cast<double>(frame - FLead) / KRate);
            for (int32_t c = 0; c < ABuffer->GetChannels(); ++c)
                ABuffer->SetItem(i, static_cast<uint32_t>(c),
                                 static_cast<int32_t>(std::lround(x * FScale * 32767)));
        }
        Generated = next + frames;
    }
    // A tone that ran its length ends complete, so that an output plays it out.
    TRef<IPXNotifyOperation> IntStopStream() override {
        if (FTotal > 0 && Generated.load() == FTotal)
            return TPXEndStopOperation::Create();
        return TPXStopOperation::Create();
    }

private:
    int64_t FTotal, FLead;
    double FFrequency, FScale;
};

// Serves the main thread until AStopped holds; a generous bound turns a hang into a failure.
template <class TCondition> bool ServeUntil(TCondition AStopped) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!AStopped() && std::chrono::steady_clock::now() < deadline) {
        TMainThread::ProcessQueue();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    TMainThread::ProcessQueue();
    return AStopped();
}

void Connect(TPXPin* AOutput, TPXPin* AInput) {
    ASSERT_TRUE(AOutput->Connect(AInput));
}

class PulseDevices : public ::testing::Test {
protected:
    void SetUp() override {
        if (!FServer.IsReady())
            GTEST_SKIP() << "no private sound server could start (is pulseaudio installed?)";
    }
    // A generous latency: a busy machine (or a sanitizer) must not make the stream run dry.
    void Configure(TSVPulseAudioOut& AOut) {
        AOut.SetLatency(500);
        AOut.SetServer(FServer.Server());
        AOut.SetDevice(sonvera::testing::TPrivateSoundServer::KSink);
    }
    void Configure(TSVPulseAudioIn& AIn) {
        AIn.SetServer(FServer.Server());
        AIn.SetDevice(std::string(sonvera::testing::TPrivateSoundServer::KSink) + ".monitor");
        AIn.GetAudioFormat()->SetSampleRate(KRate);
        AIn.GetAudioFormat()->SetBufferSize(KBuffer);
    }

    sonvera::testing::TPrivateSoundServer FServer;
};

} // namespace

TEST_F(PulseDevices, TheMonitorRecordsThePlayedToneWithoutGaps) {
    constexpr double KFrequency = 1000, KScale = 0.5;
    // The tone starts after the output's stream has started: a server makes a sink that takes a
    // new stream play it at once by rendering again what the monitor has already handed out,
    // and that start would not reach the recording.
    constexpr int64_t KLead = KRate / 2, KFrames = KRate * 3 / 2;
    TSVPulseAudioIn input(nullptr);
    Configure(input);
    sonvera::testing::TRecordingAudioOut recorder(nullptr);
    Connect(input.GetOutputPin(), recorder.GetInputPin());
    TToneGen tone(KLead + KFrames, KFrequency, KScale, KLead);
    TSVPulseAudioOut output(nullptr);
    Configure(output);
    Connect(tone.GetOutputPin(), output.GetInputPin());

    // The recording flows before the tone plays, and goes on for longer than the monitor's audio
    // takes to arrive after the tone has been played out.
    input.Start();
    ASSERT_TRUE(ServeUntil([&] { return input.GetPosition() > 0; }));
    tone.Start();
    ASSERT_TRUE(ServeUntil([&] { return !tone.GetRunning(); }));
    const int64_t played = input.GetPosition();
    ASSERT_TRUE(ServeUntil([&] { return input.GetPosition() > played + KUnitsPerSecond / 2; }));
    input.Finish();
    ASSERT_TRUE(ServeUntil([&] { return !input.GetRunning(); }));
    EXPECT_EQ(output.GetError(), "");
    EXPECT_EQ(input.GetError(), "");
    // Played out whole, then ended complete: the output drained, the input ended its stream.
    EXPECT_EQ(recorder.Operations.back(), "TPXEndStopOperation");
    for (size_t i = 1; i < recorder.Begins.size(); ++i)
        ASSERT_EQ(recorder.Begins[i], recorder.Ends[i - 1]);

    // The tone runs from the first loud sample to the last: as long as it was played (a gap
    // would lengthen it, lost audio shorten it), at its frequency and level.
    const std::vector<int32_t>& x = recorder.Samples;
    const auto loud = [](int32_t ASample) { return std::abs(ASample) > 0.1 * KScale * 32767; };
    const auto first = std::find_if(x.begin(), x.end(), loud);
    const auto last = std::find_if(x.rbegin(), x.rend(), loud).base();
    ASSERT_LT(first, last);
    EXPECT_NEAR(last - first, KFrames, KBuffer / 2);
    size_t quiet = 0, longestQuiet = 0, crossings = 0;
    double energy = 0;
    const auto begin = first + KRate / 10, end = last - KRate / 10; // past any fade
    for (auto it = begin; it != end; ++it) {
        quiet = std::abs(*it) < 0.01 * 32767 ? quiet + 1 : 0;
        longestQuiet = std::max(longestQuiet, quiet);
        crossings += (*it >= 0) != (*(it - 1) >= 0);
        energy += static_cast<double>(*it) * *it;
    }
    EXPECT_LT(longestQuiet, 4u);
    const double seconds = static_cast<double>(end - begin) / KRate;
    EXPECT_NEAR(crossings / (2 * seconds), KFrequency, 0.02 * KFrequency);
    const double rms = std::sqrt(energy / static_cast<double>(end - begin));
    EXPECT_NEAR(20 * std::log10(rms / (KScale * 32767 / std::sqrt(2.0))), 0.0, 0.5);
}

TEST_F(PulseDevices, AServerThatGoesAwayStopsBothStreamsWithAnError) {
    TToneGen tone(0, 440, 0.25);
    TSVPulseAudioOut output(nullptr);
    Configure(output);
    Connect(tone.GetOutputPin(), output.GetInputPin());
    TSVPulseAudioIn input(nullptr);
    Configure(input);
    sonvera::testing::TRecordingAudioOut recorder(nullptr);
    Connect(input.GetOutputPin(), recorder.GetInputPin());
    input.Start();
    tone.Start();
    ASSERT_TRUE(ServeUntil([&] { return tone.Generated.load() > KRate / 2; }));
    ASSERT_TRUE(tone.GetRunning());

    FServer.Kill(SIGKILL);
    // Each ends by itself, with a plain stop, and says why.
    ASSERT_TRUE(ServeUntil([&] { return !tone.GetRunning() && !input.GetRunning(); }));
    EXPECT_NE(output.GetError().find("audio device 'sonvera_test'"), std::string::npos)
        << output.GetError();
    EXPECT_NE(input.GetError().find("audio device 'sonvera_test.monitor'"), std::string::npos)
        << input.GetError();
    EXPECT_EQ(recorder.Operations.back(), "TPXStopOperation");
}

TEST_F(PulseDevices, ListsTheNullSinkAndItsMonitor) {
    const std::vector<TSVPulseDevice> devices = SVListPulseDevices(FServer.Server());
    const auto find = [&](const std::string& AName) {
        return std::find_if(devices.begin(), devices.end(),
                            [&](const TSVPulseDevice& ADevice) { return ADevice.Name == AName; });
    };
    const auto sink = find("sonvera_test");
    const auto monitor = find("sonvera_test.monitor");
    ASSERT_NE(sink, devices.end());
    ASSERT_NE(monitor, devices.end());
    EXPECT_FALSE(sink->IsSource);
    EXPECT_TRUE(sink->IsDefault);
    EXPECT_TRUE(monitor->IsSource);
    EXPECT_EQ(monitor->MonitorOf, "sonvera_test");
    EXPECT_EQ(sink->Format, monitor->Format);
    EXPECT_GT(sink->Rate * sink->Channels * static_cast<uint32_t>(sink->Bits), 0u);
}

TEST_F(PulseDevices, RefusesWhatTheServerCannotDoWithOneLine) {
    struct TCase {
        std::string Server, Device;
        uint32_t Rate;
        std::string Message;
    };
    const std::string missing = "unix:/nonexistent/sonvera-socket";
    const TCase cases[] = {
        {FServer.Server(), "no_such_sink", KRate, "audio device 'no_such_sink': No such entity"},
        {missing, "", KRate, "sound server '" + missing + "': Connection refused"},
        {FServer.Server(), "", 4'000'000,
         "the default audio output: the sound server cannot take 4000000 Hz, 2 channels of "
         "16-bit samples"},
    };
    for (const TCase& c : cases) {
        TToneGen tone(KRate, 440, 0.25);
        tone.GetAudioFormat()->SetSampleRate(c.Rate);
        TSVPulseAudioOut output(nullptr);
        output.SetServer(c.Server);
        output.SetDevice(c.Device);
        Connect(tone.GetOutputPin(), output.GetInputPin());
        tone.Start();
        ASSERT_TRUE(ServeUntil([&] { return !tone.GetRunning(); }));
        EXPECT_EQ(output.GetError(), c.Message);
    }
    EXPECT_THROW(SVListPulseDevices(missing), EDeviceError);
}
