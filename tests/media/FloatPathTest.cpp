// The float path through files: a float decoder's samples reach the filters and the encoder as
// floats, also when the stream's format changes midway.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>

#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVResampleFilter.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/primitives/SVFloatKernels.h"

using namespace sonvera;
using TRecorder = sonvera::testing::TRecordingAudioOut;

namespace {

const auto* const GFloatPathStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes}});

std::string TempFile(const std::string& AName) {
    return (std::filesystem::temp_directory_path() /
            ("sonvera-float-" + std::to_string(getpid()) + "-" + AName))
        .string();
}

// Runs a shell command of the outside tools; the test needs them.
void Tool(const std::string& ACommand) {
    ASSERT_EQ(std::system((ACommand + " >/dev/null 2>&1").c_str()), 0) << ACommand;
}

// Plays AFile through AFilter into the recorder, on the source's own clock (ASource's, when
// given).
void Play(const std::string& AFile, TSVCommonFilter& AFilter, TSVBasicAudioOut& AOut,
          TSVLAVFileSource* ASource = nullptr) {
    TSVLAVFileSource own(nullptr);
    TSVLAVFileSource& source = ASource ? *ASource : own;
    source.SetFileName(AFile);
    ASSERT_TRUE(source.GetOutputPin()->Connect(AFilter.GetInputPin()));
    ASSERT_TRUE(AFilter.GetOutputPin()->Connect(AOut.GetInputPin()));
    source.Start();
    while (source.GetRunning() && TMainThread::WaitForWork())
        TMainThread::ProcessQueue();
    EXPECT_EQ(source.GetError(), "");
}

std::vector<float> Floats(const TRecorder& ARecorder) {
    std::vector<float> samples(ARecorder.Bytes.size() / sizeof(float));
    std::memcpy(samples.data(), ARecorder.Bytes.data(), ARecorder.Bytes.size());
    return samples;
}

// The stereo frames ffmpeg decodes from AFile, with AOptions applied.
uintmax_t FFmpegFrames(const std::string& AFile, const std::string& AOptions) {
    const std::string raw = TempFile("reference.raw");
    Tool("ffmpeg -y -i " + AFile + " " + AOptions + " -f f32le " + raw);
    const uintmax_t frames = std::filesystem::file_size(raw) / 8;
    std::filesystem::remove(raw);
    return frames;
}

// Holds every buffer, on the thread that delivers it, until AOpen says so.
class TGatedRecorder : public TRecorder {
public:
    explicit TGatedRecorder(std::function<bool()> AOpen)
        : TRecorder(nullptr), FOpen(std::move(AOpen)) {}
    bool SinkDispatch(TPXPin* AReceiving, TPXPin* AOther, const TGUID& AStreamId,
                      const TRef<IPXNotifyOperation>& AOperation, uint32_t AState) override {
        while (OperationAs<TPXSuppliedBufferOperation>(AOperation) && !FOpen())
            std::this_thread::yield();
        return TRecorder::SinkDispatch(AReceiving, AOther, AStreamId, AOperation, AState);
    }

private:
    std::function<bool()> FOpen;
};

} // namespace

// MP3 in, gain, MP3 out: the decoder's floats are announced as float, the gain scales floats, and
// the writer, which refuses a buffer of another kind than the one it opened with, encodes them.
TEST(FloatPath, Mp3ThroughGainIntoMp3NeverBecomesIntegers) {
    const std::string in = TempFile("in.mp3"), out = TempFile("out.mp3");
    Tool("ffmpeg -y -f lavfi -i sine=frequency=1000:duration=1 -c:a libmp3lame " + in);
    TSVGainFilter gain(nullptr);
    gain.SetGain(0.5);
    TRecorder recorder(nullptr);
    Play(in, gain, recorder);
    EXPECT_TRUE(SVIsFloatFormat(recorder.Format));
    EXPECT_TRUE(recorder.Samples.empty()); // no integer buffer arrived
    EXPECT_NEAR(SVPeakFloat(Floats(recorder).data(), recorder.Bytes.size() / 4), 0.0625, 0.01);

    TSVResampleFilter resample(nullptr); // libswresample takes the floats as floats
    resample.SetSampleRate(48000);
    TRecorder resampled(nullptr);
    Play(in, resample, resampled);
    EXPECT_TRUE(SVIsFloatFormat(resampled.Format));
    EXPECT_EQ(resampled.Format.Format.nSamplesPerSec, 48000u);
    EXPECT_NEAR(SVPeakFloat(Floats(resampled).data(), resampled.Bytes.size() / 4), 0.125, 0.02);

    TSVGainFilter again(nullptr);
    TSVLAVFileWriter writer(nullptr);
    writer.SetFileName(out);
    Play(in, again, writer);
    EXPECT_EQ(writer.GetError(), "");
    EXPECT_TRUE(std::filesystem::file_size(out) > 1000);
    std::filesystem::remove(in);
    std::filesystem::remove(out);
}

// A chained Ogg (44.1 kHz, then 16 kHz). A threaded resampler whose processing waits until the
// source announces the second format has all of the first format's buffers queued when the new
// start reaches it, and must still resample them from the first rate: threaded or not, it gives
// the same bytes, as many as ffmpeg. A writer opened at 44.1 kHz float converts the second
// format and keeps as much as ffmpeg.
TEST(FloatPath, AFormatChangeMidwayWaitsForTheBuffersQueuedBeforeIt) {
    const std::string a = TempFile("a.ogg"), b = TempFile("b.ogg"), chained = TempFile("ab.ogg");
    Tool("ffmpeg -y -f lavfi -i sine=440:sample_rate=44100:d=2 -ac 2 -c:a libvorbis " + a);
    Tool("ffmpeg -y -f lavfi -i sine=660:sample_rate=16000:d=2 -ac 2 -c:a libvorbis " + b);
    std::ofstream(chained, std::ios::binary) << std::ifstream(a, std::ios::binary).rdbuf()
                                             << std::ifstream(b, std::ios::binary).rdbuf();
    for (const uint32_t rate : {48000u, 44100u}) {
        SCOPED_TRACE(rate);
        std::vector<uint8_t> unthreaded;
        for (const bool threaded : {false, true}) {
            TSVResampleFilter resample(nullptr);
            resample.SetSampleRate(rate);
            resample.SetThreaded(threaded);
            resample.SetQueueLength(4096); // room for all of the first format
            TSVLAVFileSource source(nullptr);
            TGatedRecorder out([&] { return !threaded || source.GetFormatChanges() > 0; });
            Play(chained, resample, out, &source);
            EXPECT_EQ(source.GetFormatChanges(), 1u);
            EXPECT_EQ(out.Operations.back(), "TPXEndStopOperation");
            if (threaded) {
                EXPECT_TRUE(out.Bytes == unthreaded);
            }
            unthreaded = out.Bytes;
            EXPECT_NEAR(out.Bytes.size() / 8, FFmpegFrames(chained, FormatMessage("-ar %u", rate)),
                        32); // the resampler's delay
        }
    }
    TSVLAVFileSource source(nullptr);
    TSVLAVFileWriter writer(nullptr);
    source.SetFileName(chained);
    writer.SetFileName(TempFile("ab.wav"));
    ASSERT_TRUE(source.GetOutputPin()->Connect(writer.GetInputPin()));
    writer.Render(source);
    EXPECT_EQ(writer.GetError(), "");
    EXPECT_NEAR(writer.GetFramesWritten(), FFmpegFrames(chained, ""), 32);
    for (const std::string& file : {a, b, chained, writer.GetFileName()})
        std::filesystem::remove(file);
}
