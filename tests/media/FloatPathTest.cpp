// The float path through files: a float decoder's samples reach the filters and the encoder as
// floats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
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

// Plays AFile through AFilter into the recorder, on the source's own clock.
void Play(const std::string& AFile, TSVCommonFilter& AFilter, TSVBasicAudioOut& AOut) {
    TSVLAVFileSource source(nullptr);
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
