// Chains built from text, from documents and in C++, run through real components and files. The
// codec library's components are reached through the registry only, as chain text reaches
// them.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/chain/SVChain.h"
#include "sonvera/chain/SVPropertyText.h"
#include "sonvera/components/SVComponentClasses.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/components/SVToneGen.h"
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

using TRecorder = sonvera::testing::TRecordingAudioOut;

// Runs AChain with ARecorder fed by its component AFrom.
void RunInto(TSVChain& AChain, const std::string& AFrom, TRecorder& ARecorder) {
    AChain.Add(ARecorder, "record");
    AChain.Connect(AFrom, "record");
    AChain.Run();
}

TEST(ChainTest, TextDocumentAndCppChainsDeliverTheSameBytes) {
    const std::string text = "tone frequency=997 amplitude=0.9 duration=300ms "
                             "audioformat.bits=24 ! format bits=16 ! gain gain=-6dB";
    TRecorder fromText(nullptr);
    TSVChain parsed = TSVChain::Parse(text);
    RunInto(parsed, "gain", fromText);

    // The same chain built by hand and run by the pumping loop of old.
    TRecorder fromCpp(nullptr);
    {
        TSVToneGen tone(nullptr);
        TSVFormatFilter format(nullptr);
        TSVGainFilter gain(nullptr);
        tone.SetFrequency(997);
        tone.SetAmplitude(0.9);
        tone.SetDurationSeconds(0.3);
        tone.GetAudioFormat()->SetBits(24);
        format.SetBits(16);
        gain.SetGainDB(-6);
        ASSERT_TRUE(tone.GetOutputPin()->Connect(format.GetInputPin()));
        ASSERT_TRUE(format.GetAudioOutputPin()->Connect(gain.GetInputPin()));
        ASSERT_TRUE(gain.GetAudioOutputPin()->Connect(fromCpp.GetInputPin()));
        tone.Start();
        while (tone.GetRunning() && TMainThread::WaitForWork())
            TMainThread::ProcessQueue();
    }

    TRecorder fromDocument(nullptr);
    TSVChain loaded = TSVChain::Load(TSVChain::Parse(text).Save());
    RunInto(loaded, "gain", fromDocument);

    const TSVWaveFormatExtensible& format = fromCpp.Format;
    EXPECT_EQ(fromCpp.Bytes.size(),
              std::llround(0.3 * format.Format.nSamplesPerSec) * format.Format.nBlockAlign);
    EXPECT_EQ(fromText.Bytes, fromCpp.Bytes);
    EXPECT_EQ(fromText.Ends, fromCpp.Ends);
    EXPECT_EQ(fromDocument.Bytes, fromCpp.Bytes);
}

// Through files: a branch writes the whole stream twice, a saved chain the same bytes again,
// and the file source reads back exactly the frames generated.
TEST(ChainTest, BranchesAndSavedChainsWriteTheSameFiles) {
    const std::string text =
        "tone name=t duration=0.25 audioformat.samplerate=8k ! file-writer "
        "filename=" +
        TempFile("a.wav") + "  t. ! gain gain=1 ! file-writer name=b filename=" + TempFile("b.wav");
    TSVChain::Parse(text).Run();
    TSVChain saved = TSVChain::Load(TSVChain::Parse(text).Save());
    saved.SetProperty("b", "file-name", TempFile("c.wav"));
    saved.Run();
    TRecorder readBack(nullptr);
    TSVChain reader = TSVChain::Parse("file-source filename=" + TempFile("a.wav"));
    RunInto(reader, "file-source", readBack);

    EXPECT_EQ(readBack.Samples.size(), 2000u);
    EXPECT_EQ(Bytes(TempFile("a.wav")), Bytes(TempFile("b.wav")));
    EXPECT_EQ(Bytes(TempFile("a.wav")), Bytes(TempFile("c.wav")));
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        std::filesystem::remove(TempFile(name));
}

// Typed values with units, read into real components' properties.
TEST(ChainTest, ValuesWithUnitsReachTheProperties) {
    TSVChain chain = TSVChain::Parse(
        "tone duration=250ms frequency=1.5kHz amplitude=-6dB ! resample sample-rate=44.1k ! "
        "format bits=24 channel_mask=stereo ! gain gain=50% ! file-writer "
        "compression.bitrate=192k");
    const auto value = [&](const char* AComponent, const char* AProperty) {
        const TSVPropertyPath path = SVFindProperty(*chain.Find(AComponent), AProperty);
        return path.Info->GetValue(*path.Object);
    };
    EXPECT_EQ(value("tone", "Duration"), TPropertyValue(0.25));
    EXPECT_EQ(value("tone", "Frequency"), TPropertyValue(1500.0));
    EXPECT_EQ(value("tone", "Amplitude"), TPropertyValue(std::pow(10.0, -6.0 / 20)));
    EXPECT_EQ(value("resample", "SampleRate"), TPropertyValue(44100u));
    EXPECT_EQ(value("format", "ChannelMask"), TPropertyValue(KSVSpeakersStereo.Mask()));
    EXPECT_EQ(value("gain", "Gain"), TPropertyValue(0.5));
    EXPECT_EQ(value("file-writer", "Compression.BitRate"), TPropertyValue(192000));
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
        {false, "tone ! resample ! tone",
         "resample's output (audio) cannot feed tone2's input (clock)"},
        {false, "tone !", "'!' at the end needs a component after it"},
        {false, "! gain", "'!' needs a component before it"},
        {false, "tone ! ! gain", "'! !': a component is missing between them"},
        {false, "tone ! echo", "no component called 'echo' (sonvera inspect lists them)"},
        {false, "gain gain=loud", "gain Gain=loud: 'loud' is not a number"},
        {false, "gain gain=-2", "gain Gain=-2: Gain -2 is not a factor of 0 or more (-2dB is a level)"},
        {false, "tone frequency=3parsecs", "unknown unit 'parsecs' in '3parsecs'"},
        {false, "x. ! gain", "no component named 'x'"},
        {false, "tone name=a ! gain name=a", "two components named 'a'"},
        {false, "file-source filename=\"in.wav", "unterminated quote in '\"in.wav'"},
        {false, "tone.3 ! gain", "no component named 'tone'"},
        {false, "tone name=t ! gain  t.5 ! gain", "t has no output 5 (it has 1)"},
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
        while (dynamic_cast<TQXBasicCommonGen&>(*endless.Find("tone")).GetStreamPosition() == 0)
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

// A document names a component by its property table's class; every registered component must
// be created again from that name, or a saved chain would not load.
TEST(ChainTest, EveryRegisteredComponentIsSavedUnderItsOwnClass) {
    const std::vector<TClassRef> classes = RegisteredComponents();
    ASSERT_FALSE(classes.empty());
    for (const TClassRef type : classes) {
        const std::unique_ptr<TPersistent> component = CreateComponent(type->ClassName, nullptr);
        EXPECT_EQ(component->GetPropertyTable().ClassName(), type->ClassName) << type->ShortName;
    }
}
