// Chains built from text, from documents and in C++, run through real components and files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "TestSupport.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/components/SVComponentClasses.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/components/SVToneGen.h"
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVResampleFilter.h"
#include "sonvera/platform/runtime/MainThread.h"

using namespace sonvera;

namespace {

const auto* const GChainStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes},
                                  {RegisterSVComponentClasses, UnregisterSVComponentClasses}});

std::string TempFile(const std::string& AName) {
    return (std::filesystem::temp_directory_path() /
            ("sonvera-chain-" + std::to_string(getpid()) + "-" + AName))
        .string();
}

std::string Bytes(const std::string& APath) {
    std::ifstream file(APath, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// A 24-bit stereo tone at 44.1 kHz of 0.3 s, as the input of the chains below.
std::string MakeInput() {
    const std::string input = TempFile("in.flac");
    TSVChain::Parse("tone frequency=997 amplitude=0.9 duration=300ms audioformat.bits=24 ! "
                    "file-writer filename=" +
                    input)
        .Run();
    return input;
}

TEST(ChainTest, TextDocumentAndCppChainsWriteTheSameBytes) {
    const std::string input = MakeInput();
    const std::string text = "file-source filename=" + input +
                             " ! resample samplerate=48kHz ! gain gain=-6dB"
                             " ! file-writer filename=" +
                             TempFile("text.wav");
    TSVChain::Parse(text).Run();

    // The same chain built by hand, from objects, and run by the pumping loop of old.
    {
        TSVLAVFileSource source(nullptr);
        TSVResampleFilter resample(nullptr);
        TSVGainFilter gain(nullptr);
        TSVLAVFileWriter writer(nullptr);
        source.SetFileName(input);
        resample.SetSampleRate(48000);
        gain.SetGainDB(-6);
        writer.SetFileName(TempFile("cpp.wav"));
        ASSERT_TRUE(source.GetOutputPin()->Connect(resample.GetInputPin()));
        ASSERT_TRUE(resample.GetAudioOutputPin()->Connect(gain.GetInputPin()));
        ASSERT_TRUE(gain.GetAudioOutputPin()->Connect(writer.GetInputPin()));
        source.Start();
        while (source.GetRunning() && TMainThread::WaitForWork())
            TMainThread::ProcessQueue();
        ASSERT_EQ(writer.GetError(), "");
    }

    // Saved, loaded into a new chain that writes elsewhere, and run.
    TSVChain saved = TSVChain::Load(TSVChain::Parse(text).Save());
    saved.SetProperty("file-writer", "file-name", TempFile("loaded.wav"));
    saved.Run();

    const std::string expected = Bytes(TempFile("cpp.wav"));
    EXPECT_GT(expected.size(), 48000u * 0.3 * 2 * 3);
    EXPECT_EQ(Bytes(TempFile("text.wav")), expected);
    EXPECT_EQ(Bytes(TempFile("loaded.wav")), expected);
    for (const char* name : {"in.flac", "text.wav", "cpp.wav", "loaded.wav"})
        std::filesystem::remove(TempFile(name));
}

TEST(ChainTest, BranchesFeedEveryOutputTheWholeStream) {
    TSVChain chain = TSVChain::Parse(
        "tone name=t duration=0.25 audioformat.samplerate=8k ! file-writer filename=" +
        TempFile("a.wav") +
        "  t. ! gain gain=1 ! file-writer name=b filename=" + TempFile("b.wav"));
    chain.Run();
    const auto* a = dynamic_cast<TSVLAVFileWriter*>(chain.Find("file-writer"));
    const auto* b = dynamic_cast<TSVLAVFileWriter*>(chain.Find("b"));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->GetFramesWritten(), 2000u);
    EXPECT_EQ(Bytes(TempFile("a.wav")), Bytes(TempFile("b.wav")));
    std::filesystem::remove(TempFile("a.wav"));
    std::filesystem::remove(TempFile("b.wav"));
}

// Typed values with units, read into real components' properties.
TEST(ChainTest, ValuesWithUnitsReachTheProperties) {
    TSVChain chain = TSVChain::Parse(
        "tone duration=250ms frequency=1.5kHz amplitude=-6dB ! resample sample-rate=44.1k ! "
        "format bits=24 channel_mask=stereo ! gain gain=50% ! file-writer "
        "compression.bitrate=192k");
    const auto& tone = dynamic_cast<TSVToneGen&>(*chain.Find("tone"));
    EXPECT_EQ(tone.GetDurationSeconds(), 0.25);
    EXPECT_EQ(tone.GetFrequency(), 1500);
    EXPECT_EQ(tone.GetAmplitude(), std::pow(10.0, -6.0 / 20));
    EXPECT_EQ(dynamic_cast<TSVResampleFilter&>(*chain.Find("resample")).GetSampleRate(), 44100u);
    EXPECT_EQ(dynamic_cast<TSVGainFilter&>(*chain.Find("gain")).GetGain(), 0.5);
    EXPECT_EQ(
        dynamic_cast<TSVLAVFileWriter&>(*chain.Find("file-writer")).GetCompression()->GetBitRate(),
        192000);
    const std::string saved = chain.Save();
    EXPECT_NE(saved.find("\"ChannelMask\": \"[spFrontLeft,spFrontRight]\""), std::string::npos);
}

// Every refusal is one line that points at what is wrong, and builds nothing that runs.
TEST(ChainTest, MalformedTextsAndDocumentsSayWhatIsWrong) {
    const std::string component =
        R"({"Version":1,"Components":[{"Name":"g","Class":"TSVGainFilter",%s}],"Connections":[]})";
    const auto document = [&](const std::string& AMember) {
        const size_t at = component.find("%s");
        return component.substr(0, at) + AMember + component.substr(at + 2);
    };
    const struct {
        bool Document;
        std::string Input;
        std::string Message;
    } cases[] = {
        {false, "gain gian=0.5", "unknown property 'gian' of gain"},
        {false, "tone ! resample ! tone", "resample's output (audio) cannot feed tone2 (no input)"},
        {false, "tone !", "'!' at the end needs a component after it"},
        {false, "! gain", "'!' needs a component before it"},
        {false, "tone ! ! gain", "'! !': a component is missing between them"},
        {false, "tone ! echo", "no component called 'echo' (sonvera inspect lists them)"},
        {false, "gain gain=loud", "gain Gain=loud: 'loud' is not a number"},
        {false, "gain gain=-2", "gain Gain=-2: Gain out of range"},
        {false, "tone frequency=3parsecs", "unknown unit 'parsecs' in '3parsecs'"},
        {false, "x. ! gain", "no component named 'x'"},
        {false, "tone name=a ! gain name=a", "two components named 'a'"},
        {false, "file-source filename=\"in.wav", "unterminated quote in '\"in.wav'"},
        {false, "tone.3 ! gain", "no component named 'tone'"},
        {false, "tone name=t ! gain  t.5 ! gain", "t has no output 5"},
        {false, "gain=2", "property 'gain=2' has no component before it"},
        {true, "{\"Version\":", "chain document: not JSON"},
        {true, "[]", "chain document: the document is not an object"},
        {true, R"({"Version":2,"Components":[],"Connections":[]})", "version 2 is not 1"},
        {true, R"({"Version":1,"Components":[],"Connections":[],"Extra":0})",
         "unknown entry 'Extra' in the document"},
        {true, R"({"Version":1,"Components":[{"Name":"e","Class":"TEcho"}],"Connections":[]})",
         "unknown class 'TEcho' of e"},
        {true, document(R"("Properties":{"Gian":"0.5"})"), "unknown property 'Gian' of g"},
        {true, document(R"("Properties":{"Gain":0.5})"),
         "property 'Gain' of g holds a value of the wrong type"},
        {true, document(R"("Properties":{"Gain":"x"})"), "chain document: g: "},
        {true, document(R"("Extra":1)"), "unknown entry 'Extra' in component 0"},
        {true,
         R"({"Version":1,"Components":[{"Name":"g","Class":"TSVGainFilter"}],)"
         R"("Connections":[{"From":"g","Output":4000000000,"To":"g","Input":0}]})",
         "Output of connection 0 is not a pin number"},
        {true,
         R"({"Version":1,"Components":[{"Name":"g","Class":"TSVGainFilter"}],)"
         R"("Connections":[{"From":"g","Output":0,"To":"h","Input":0}]})",
         "connection 0 names no component 'h'"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.Input);
        try {
            test.Document ? TSVChain::Load(test.Input) : TSVChain::Parse(test.Input);
            ADD_FAILURE() << "accepted";
        } catch (const std::exception& error) {
            const std::string message = error.what();
            EXPECT_NE(message.find(test.Message), std::string::npos) << message;
            EXPECT_EQ(message.find('\n'), std::string::npos) << message;
        }
    }
}

TEST(ChainTest, StopFromAnotherThreadAndFailuresEndTheRun) {
    TSVChain endless =
        TSVChain::Parse("tone ! file-writer filename=/dev/null fileformat.name=null");
    endless.Start();
    std::thread stopper([&] {
        while (dynamic_cast<TQXBasicCommonGen&>(*endless.Find("tone")).GetPosition() == 0)
            std::this_thread::yield();
        endless.Stop();
    });
    endless.Wait();
    stopper.join();
    EXPECT_TRUE(endless.GetStopped());
    EXPECT_FALSE(endless.GetRunning());

    TSVChain failing =
        TSVChain::Parse("tone duration=1 ! file-writer filename=/nonexistent-folder/out.wav");
    try {
        failing.Run();
        ADD_FAILURE() << "a writer that cannot open its file ran";
    } catch (const Exception& error) {
        EXPECT_EQ(std::string(error.what()).rfind("file-writer: ", 0), 0u) << error.what();
    }
    EXPECT_THROW(TSVChain::Parse("gain").Run(), EArgumentError); // no source
}

} // namespace
