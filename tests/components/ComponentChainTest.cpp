// Chains of real components: a generator ticked by hand, filters, and an output that records
// what arrives.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "components/RecordingAudioOut.h"
#include "sonvera/components/SVBasicCompression.h"
#include "sonvera/components/SVBasicGenericFilter.h"
#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/components/SVCommonGen.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/components/SVStreamSource.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;

namespace {

const auto* const GComponentsStart =
    sonvera::testing::StartUnits({{InitializeMainThread, FinalizeMainThread},
                                  {InitializeQXBasicDispatcher},
                                  {InitializeSVBasicDispatcher},
                                  {InitializeSVSimpleAudioBuffer},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes}});

// A ramp generator: sample n of the stream is n (16-bit, every channel), through PopulateAudio.
class TRampGen : public TSVCommonGen {
public:
    using TSVCommonGen::TSVCommonGen;
    ~TRampGen() override { Stop(); }
    int DropTick = -1, StopTick = -1; // the ticks that send nothing, and that end the stream
    int Ticks() const { return FTick; }

protected:
    void GenerateBuffer(TRef<ISVAudioBuffer>& ABuffer, bool& ASend, bool& AStop) override {
        auto* samples = reinterpret_cast<int16_t*>(GetIntVarBuffer()->Write());
        for (uint32_t i = 0; i < GetIntVarBuffer()->GetByteSize() / 2; ++i)
            samples[i] = static_cast<int16_t>(FNext++);
        PopulateAudio(GetIntVarBuffer(), ABuffer);
        ASend = FTick != DropTick;
        AStop = FTick == StopTick;
        ++FTick;
    }

private:
    int FNext = 0, FTick = 0;
};

using TRecorder = sonvera::testing::TRecordingAudioOut;

// A filter that negates every sample, to show that processing reached the output.
class TNegate : public TSVCommonFilter {
public:
    using TSVCommonFilter::TSVCommonFilter;
    int Calls = 0;

protected:
    void FilterInternalOperation(const TRef<ISVAudioBuffer>&, TRef<ISVAudioBuffer>& AOut,
                                 bool&) override {
        ++Calls;
        AOut->MultiplyValue(-1);
    }
};

// A stream of the buffers it is given, in turn, announced in the first one's format.
class TListSource : public TSVStreamSource {
public:
    explicit TListSource(std::vector<TRef<ISVAudioBuffer>> ABuffers)
        : TSVStreamSource(nullptr), FBuffers(std::move(ABuffers)) {}
    ~TListSource() override { Stop(); }

protected:
    TSVWaveFormatExtensible OpenStream() override {
        FNext = 0;
        return FBuffers.front()->GetWaveFormat();
    }
    TRef<ISVAudioBuffer> ReadBuffer() override {
        return FNext < FBuffers.size() ? FBuffers[FNext++] : nullptr;
    }
    void CloseStream() override {}

private:
    std::vector<TRef<ISVAudioBuffer>> FBuffers;
    size_t FNext = 0;
};

} // namespace

TEST(ComponentChain, GeneratorFilterOutputDeliversStampedSamplesInlineAndThreaded) {
    for (const bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "threaded" : "inline");
        auto clock = std::make_shared<TQXManualTimeSource>();
        TRampGen gen(nullptr);
        TNegate filter(nullptr);
        TRecorder out(nullptr);
        gen.GetAudioFormat()->SetSampleRate(44100);
        gen.SetTimeSource(clock);
        filter.SetThreaded(threaded);
        ASSERT_TRUE(gen.GetOutputPin()->Connect(filter.GetInputPin()));
        ASSERT_TRUE(filter.GetOutputPin()->Connect(out.GetInputPin()));

        gen.Start();
        ASSERT_NE(gen.GetPumpClock(), nullptr);
        EXPECT_EQ(gen.GetPumpClock()->GetInterval(), 232200); // 232199.55 rounded to nearest
        for (int tick = 0; tick < 3; ++tick)
            clock->Advance(232200);
        gen.Stop(); // joins the clock, drains the filter's thread, stops downstream
        EXPECT_EQ(gen.GetPumpClock(), nullptr);

        EXPECT_EQ(out.Operations,
                  (std::vector<std::string>{"TPXStartWaveOperation", "TPXSuppliedBufferOperation",
                                            "TPXSuppliedBufferOperation",
                                            "TPXSuppliedBufferOperation", "TPXStopOperation"}));
        std::vector<int32_t> negated(3 * 1024);
        for (int32_t i = 0; i < 3 * 1024; ++i)
            negated[i] = -i;
        EXPECT_EQ(out.Samples, negated);
        const int64_t step = 1024 * 10'000'000LL / 44100;
        EXPECT_EQ(out.Begins, (std::vector<int64_t>{0, step, 2 * step}));
        EXPECT_EQ(out.Ends, (std::vector<int64_t>{step, 2 * step, 3 * step}));
    }
}

TEST(ComponentChain, GeneratorDropsAndStopsWhenToldAndFollowsAConsumersPump) {
    auto clock = std::make_shared<TQXManualTimeSource>();
    EXPECT_EQ(TSVCommonGen::PumpInterval(0, 1024), 0); // a stream without a rate has no clock
    TRampGen gen(nullptr);
    TRecorder out(nullptr);
    gen.GetAudioFormat()->SetBits(8);
    gen.GetAudioFormat()->SetBufferSize(4);
    gen.SetTimeSource(clock);
    gen.DropTick = 0;
    gen.StopTick = 1;
    ASSERT_TRUE(gen.GetOutputPin()->Connect(out.GetInputPin()));
    gen.Start();
    const int64_t interval = gen.GetPumpClock()->GetInterval();
    clock->Advance(interval); // dropped
    clock->Advance(interval); // sent, then the stream ends from the main thread
    EXPECT_TRUE(gen.GetRunning());
    TMainThread::ProcessQueue();
    EXPECT_FALSE(gen.GetRunning());
    // 8-bit samples of the second buffer: the ramp 4..7 converted from 16 bits, both channels.
    ASSERT_EQ(out.Samples.size(), 4u);
    for (size_t frame = 0; frame < 4; ++frame) // the mono signal in both channels
        EXPECT_EQ(out.Bytes[2 * frame + 1], out.Bytes[2 * frame]);
    EXPECT_EQ(out.Operations.back(), "TPXEndStopOperation");

    // A consumer that pumps, down the stream or over a clock connection from an output the
    // stream does not pass through (the output pin's data depends on the clock input): the
    // clock goes, each request makes one buffer on the spot.
    gen.StopTick = -1;
    EXPECT_EQ(gen.GetOutputPin()->GetDependencies(), std::vector<TPXPin*>{gen.GetClockInputPin()});
    TRecorder pacer(nullptr);
    ASSERT_TRUE(pacer.GetClockOutputPin()->Connect(gen.GetClockInputPin()));
    size_t samples = out.Samples.size();
    for (TPXPin* pump : std::vector<TPXPin*>{out.GetInputPin(), pacer.GetClockOutputPin()}) {
        gen.Start();
        EXPECT_FALSE(pump->Notify(TPXMasterPumpOperation::Create()));
        EXPECT_EQ(gen.GetPumpClock(), nullptr);
        EXPECT_TRUE(pump->Notify(TPXPumpRequestOperation::Create()));
        EXPECT_EQ(out.Samples.size(), samples += 4);
        gen.Stop();
    }
}

TEST(ComponentChain, GeneratorEndsExactlyWhereItSaysOnEveryClockAndARenderEndsByItself) {
    enum TClock { ckManual, ckSteady, ckFreeRunning, ckRender };
    for (const TClock kind : {ckManual, ckSteady, ckFreeRunning, ckRender}) {
        SCOPED_TRACE(kind);
        TRampGen gen(nullptr);
        TRecorder out(nullptr);
        gen.GetAudioFormat()->SetSampleRate(48000);
        gen.GetAudioFormat()->SetBufferSize(48); // a tick every millisecond on the steady clock
        gen.StopTick = 4;
        ASSERT_TRUE(gen.GetOutputPin()->Connect(out.GetInputPin()));
        auto manual = std::make_shared<TQXManualTimeSource>();
        if (kind == ckManual)
            gen.SetTimeSource(manual);
        if (kind == ckFreeRunning)
            gen.SetTimeSource(std::make_shared<TQXFreeRunningTimeSource>());
        if (kind == ckRender) {
            EXPECT_TRUE(out.Render(gen));
        } else {
            gen.Start();
            for (int tick = 0; kind == ckManual && tick < 8; ++tick)
                manual->Advance(gen.GetPumpClock()->GetInterval());
            while (gen.GetRunning() && TMainThread::WaitForWork())
                TMainThread::ProcessQueue();
        }
        EXPECT_FALSE(gen.GetRunning());
        EXPECT_EQ(gen.Ticks(), 5);
        EXPECT_EQ(out.Samples.size(), 5u * 48);
        EXPECT_EQ(out.Operations.back(), "TPXEndStopOperation");
    }
    // A render whose pump requests reach nothing stops and says so instead of waiting.
    TRampGen gen(nullptr);
    TRecorder out(nullptr);
    EXPECT_THROW(out.Render(gen), Exception);
    EXPECT_FALSE(gen.GetRunning());
}

TEST(TSVCommonFilter, RoutesOperationsBothWays) {
    TNegate filter(nullptr);
    TRecorder down(nullptr);
    TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
    // With nothing connected at the output, a buffer is not processed but still submitted.
    ASSERT_TRUE(up.Connect(filter.GetInputPin()));
    up.Notify(TPXStartWaveOperation::CreateFormat(44100, 16, 2, false));
    const TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateSize(44100, 16, 2, 441);
    buffer->SetValue(5);
    buffer->GetTimeStamp()->SetAvailable(false);
    up.SubmitBuffer(buffer);
    EXPECT_EQ(filter.Calls, 0);
    EXPECT_EQ(filter.GetCurrentTime(), 100000); // 441 frames at 44100 Hz
    EXPECT_EQ(buffer->GetTimeStamp()->GetEnd(), 100000);
    // A stamped buffer sets the clock to its end.
    buffer->GetTimeStamp()->SetEnd(777);
    ASSERT_TRUE(filter.GetOutputPin()->Connect(down.GetInputPin()));
    up.SubmitBuffer(buffer);
    EXPECT_EQ(filter.GetCurrentTime(), 777);
    EXPECT_EQ(down.Samples, std::vector<int32_t>(441, -5));
    EXPECT_EQ(buffer->GetItem(0, 0), 5); // the processing wrote its own copy
    // A start within the stream changes its format, not its clock.
    up.Notify(TPXStartWaveOperation::CreateFormat(22050, 16, 2, false));
    const TRef<ISVAudioBuffer> later = TSVAudioBuffer::CreateSize(22050, 16, 2, 441);
    later->GetTimeStamp()->SetAvailable(false);
    up.SubmitBuffer(later);
    EXPECT_EQ(filter.GetCurrentTime(), 777 + 200000);

    // A disabled filter passes buffers unchanged; a pump request reaches downstream once.
    filter.SetEnabled(false);
    up.SubmitBuffer(buffer);
    EXPECT_EQ(down.Samples.back(), 5);
    up.Notify(TPXPumpRequestOperation::Create());
    up.Notify(TPXStopOperation::Create());
    EXPECT_EQ(filter.GetCurrentTime(), 0);
    EXPECT_EQ(down.Operations,
              (std::vector<std::string>{"TPXStartWaveOperation", "TPXSuppliedBufferOperation",
                                        "TPXStartWaveOperation", "TPXSuppliedBufferOperation",
                                        "TPXSuppliedBufferOperation", "TPXPumpRequestOperation",
                                        "TPXStopOperation"}));

    // From downstream: upstream when the input is connected, else answered here.
    TRecorder asker(nullptr);
    TNegate lonely(nullptr);
    ASSERT_TRUE(lonely.GetOutputPin()->Connect(asker.GetInputPin()));
    asker.GetInputPin()->Notify(TPXQueryStreamOperation::Create());
    EXPECT_EQ(asker.Operations, std::vector<std::string>{"TPXIgnoreStreamOperation"});
}

TEST(TSVSimpleGenericFilter, ProcessesOnTheChosenThreadAndInjectsCommands) {
    for (const TQXSynchronizeType type : {stDeliveringThread, stMainThread, stMainThreadLatest}) {
        SCOPED_TRACE(static_cast<int>(type));
        TSVSimpleGenericFilter filter(nullptr);
        TRecorder down(nullptr);
        TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
        int starts = 0, stops = 0;
        filter.SetSynchronizeType(type);
        filter.SetOnStart([&](TPersistent*) { ++starts; });
        filter.SetOnStop([&](TPersistent*) { ++stops; });
        filter.SetOnProcessData([](TPersistent*, const TRef<ISVAudioBuffer>&,
                                   TRef<ISVAudioBuffer>& AOut, bool&) { AOut->AddValue(1); });
        ASSERT_TRUE(up.Connect(filter.GetInputPin()));
        ASSERT_TRUE(filter.GetOutputPin()->Connect(down.GetInputPin()));
        up.Notify(TPXStartWaveOperation::CreateFormat(8000, 16, 1, false));
        up.Notify(TPXStartWaveOperation::CreateFormat(8000, 16, 1, false)); // no second OnStart
        const auto submit = [&](int32_t ARate, int32_t AValue) {
            const TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateSize(ARate, 16, 1, 2);
            buffer->SetValue(AValue);
            up.SubmitBuffer(buffer);
        };
        submit(8000, 10);
        submit(8000, 20);
        // Midway, another rate: downstream hears of it after the buffers before it.
        up.Notify(TPXStartWaveOperation::CreateFormat(16000, 16, 1, false));
        submit(16000, 30);
        EXPECT_EQ(down.Samples.size(), type == stDeliveringThread ? 6u : 0u);
        TMainThread::ProcessQueue();
        const std::vector<int32_t> latest = {31, 31}, every = {11, 11, 21, 21, 31, 31};
        EXPECT_EQ(down.Samples, type == stMainThreadLatest ? latest : every);
        const std::string start = "TPXStartWaveOperation", buffer = "TPXSuppliedBufferOperation";
        const std::vector<std::string> latestOrder = {start, start, start, buffer},
                                       everyOrder = {start, start, buffer, buffer, start, buffer};
        EXPECT_EQ(down.Operations, type == stMainThreadLatest ? latestOrder : everyOrder);
        EXPECT_EQ(down.Format.Format.nSamplesPerSec, 16000u);
        up.Notify(TPXStopOperation::Create());
        EXPECT_EQ(starts, 1);
        EXPECT_EQ(stops, 1);
    }
    // Commands: a start rounded to 44100 Hz goes downstream when nothing is upstream.
    TSVSimpleGenericFilter filter(nullptr);
    TRecorder down(nullptr);
    ASSERT_TRUE(filter.GetOutputPin()->Connect(down.GetInputPin()));
    filter.SendStartCommand(16, 2, 44099.6);
    filter.SendPauseCommand();
    filter.SendEndStopCommand();
    EXPECT_EQ(down.Format.Format.nSamplesPerSec, 44100u);
    EXPECT_EQ(down.Format.Format.nBlockAlign, 4u);
    EXPECT_EQ(down.Operations,
              (std::vector<std::string>{"TPXStartWaveOperation", "TPXPauseOperation",
                                        "TPXEndStopOperation"}));
}

// A start that arrives while the main thread is still delivering the last buffer waiting
// (popped from the queue, so none waits) must not overtake it.
TEST(TSVSimpleGenericFilter, StartWaitsForTheBufferTheMainThreadIsIn) {
    TSVSimpleGenericFilter filter(nullptr);
    TRecorder down(nullptr);
    TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
    std::promise<void> inConsumer, startHanded;
    filter.SetSynchronizeType(stMainThread);
    filter.SetOnProcessData(
        [&](TPersistent*, const TRef<ISVAudioBuffer>&, TRef<ISVAudioBuffer>&, bool&) {
            inConsumer.set_value();
            EXPECT_EQ(startHanded.get_future().wait_for(std::chrono::seconds(10)),
                      std::future_status::ready);
        });
    ASSERT_TRUE(up.Connect(filter.GetInputPin()));
    ASSERT_TRUE(filter.GetOutputPin()->Connect(down.GetInputPin()));
    up.Notify(TPXStartWaveOperation::CreateFormat(8000, 16, 1, false));
    up.SubmitBuffer(TSVAudioBuffer::CreateSize(8000, 16, 1, 2));
    std::thread delivering([&] {
        inConsumer.get_future().wait();
        up.Notify(TPXStartWaveOperation::CreateFormat(16000, 16, 1, false));
        startHanded.set_value();
    });
    TMainThread::ProcessQueue();
    delivering.join();
    TMainThread::ProcessQueue();
    EXPECT_EQ(down.Operations,
              (std::vector<std::string>{"TPXStartWaveOperation", "TPXSuppliedBufferOperation",
                                        "TPXStartWaveOperation"}));
    EXPECT_EQ(down.Format.Format.nSamplesPerSec, 16000u);
}

TEST(TSVBasicAudioOut, KeepsOneFormatCopyAndTellsRealEnableChanges) {
    TRecorder out(nullptr);
    TSVWaveFormatExtensible record =
        TPXStartWaveOperation::CreateFormatObject(48000, 24, 6, false)->GetWaveFormat();
    out.SetAudioFormat(&record);
    const TSVWaveFormatExtensible* copy = out.GetAudioFormat();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy, &record, sizeof(record)), 0);
    out.SetAudioFormat(copy); // the stored pointer: nothing happens
    EXPECT_EQ(out.GetAudioFormat(), copy);
    out.SetAudioFormat(nullptr);
    EXPECT_EQ(out.GetAudioFormat(), nullptr);
    for (const bool enabled : {true, false, false}) // enabled from the start: one real change
        out.SetEnabled(enabled);
    EXPECT_EQ(out.EnableChanges, 1);
}

TEST(ComponentChain, FormatAndGainFiltersMatchTheBufferOperations) {
    TSVFormatFilter format(nullptr);
    TSVGainFilter gain(nullptr);
    TRecorder out(nullptr);
    TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
    const TSVSpeakers surround{spFrontLeft, spFrontRight, spFrontCenter,
                               spSubwoofer, spBackLeft,   spBackRight};
    format.SetBits(24);
    format.SetChannelMask(surround);
    format.SetRule(wrFullRange); // the buffers' own rule, CopyToAudio's
    gain.SetGainDB(-6.0);
    EXPECT_THROW(format.SetBits(12), EArgumentError);
    EXPECT_THROW(gain.SetGain(-1), EArgumentError);
    ASSERT_TRUE(up.Connect(format.GetInputPin()));
    ASSERT_TRUE(format.GetOutputPin()->Connect(gain.GetInputPin()));
    ASSERT_TRUE(gain.GetOutputPin()->Connect(out.GetInputPin()));

    up.Notify(TPXStartWaveOperation::CreateFormat(48000, 16, 2, false));
    const int16_t samples[] = {-32768, 32767, 1000, -1000, 0, 7};
    const TRef<ISVAudioBuffer> stereo = TSVAudioBuffer::CreateData(samples, 48000, 16, 2, 3);
    up.SubmitBuffer(stereo);

    // The same steps on the buffer itself: CopyToAudio into 24-bit 5.1, then the gain.
    const TRef<TSVAudioBuffer> expected =
        TSVAudioBuffer::CreateSizeExObject(48000, 24, 6, 3, surround);
    TSVAudioBuffer::CreateUniversalObject(stereo)->CopyToAudio(0, expected, 0, 3);
    expected->MultiplyByReal(gain.GetGain());
    const auto* bytes = static_cast<const uint8_t*>(expected->Read());
    EXPECT_EQ(out.Bytes, std::vector<uint8_t>(bytes, bytes + expected->GetByteSize()));
    EXPECT_EQ(out.Format.Format.nChannels, 6u);
    EXPECT_EQ(out.Format.Format.wBitsPerSample, 24u);
    EXPECT_EQ(out.Format.dwChannelMask, surround.Mask());
    EXPECT_EQ(stereo->GetItem(0, 0), -32768); // the source buffer is untouched
}

// The gain filter on integer samples, every width, against the exact rule: the signed value
// (8-bit about 128) times the gain, rounded to nearest with ties to even, saturated. A boost
// clips instead of wrapping, and 8-bit silence stays silence.
TEST(TSVGainFilter, ScalesEveryWidthRoundedAndSaturated) {
    for (const int32_t bits : {8, 16, 24, 32})
        for (const double factor : {0.5, 10.0}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, x" + std::to_string(factor));
            const int64_t top = (int64_t{1} << (bits - 1)) - 1;
            const std::vector<int64_t> values = {-top - 1, -top, -5, -3, -1, 0, 1,
                                                 3,        5,    top / 7, top - 1, top};
            const int32_t bytes = bits / 8;
            std::vector<uint8_t> raw, expected;
            for (const int64_t value : values) {
                const double product = std::nearbyint(double(value) * factor);
                const auto scaled = static_cast<int64_t>(
                    std::clamp(product, double(-top - 1), double(top)));
                for (int32_t b = 0; b < bytes; ++b) {
                    raw.push_back(uint8_t((bits == 8 ? value + 128 : value) >> (8 * b)));
                    expected.push_back(uint8_t((bits == 8 ? scaled + 128 : scaled) >> (8 * b)));
                }
            }
            TSVGainFilter gain(nullptr);
            TRecorder out(nullptr);
            TSVPXAudioSourcePin up(nullptr, nullptr, nullptr, nullptr);
            gain.SetGain(factor);
            ASSERT_TRUE(up.Connect(gain.GetInputPin()));
            ASSERT_TRUE(gain.GetOutputPin()->Connect(out.GetInputPin()));
            up.Notify(TPXStartWaveOperation::CreateFormat(8000, bits, 1, false));
            const TRef<ISVAudioBuffer> input = TSVAudioBuffer::CreateData(
                raw.data(), 8000, bits, 1, static_cast<int32_t>(values.size()));
            up.SubmitBuffer(input);
            EXPECT_EQ(out.Bytes, expected);
            EXPECT_EQ(std::memcmp(input->Read(), raw.data(), raw.size()), 0); // untouched
        }
}

// The codec bases' binary side: encoded blocks travel from a compressor's output pin into a
// decompressor's processing, inline or on its thread, in order and whole; operations sent back
// from the decompressor reach the compressor's SourceDispatch.
TEST(SVBasicCompression, BlocksReachTheDecompressorAndOperationsComeBack) {
    class TCompressor : public TSVBasicCompressor {
    public:
        using TSVBasicCompressor::TSVBasicCompressor;
        std::vector<std::string> Back;
        bool SourceDispatch(TPXPin*, TPXPin*, const TGUID&,
                            const TRef<IPXNotifyOperation>& AOperation, uint32_t) override {
            Back.push_back(AOperation->GetOperation().GetClassName());
            return true;
        }

    protected:
        bool IntSingleOperation(const TRef<IPXNotifyOperation>&) override { return false; }
    };
    class TDecompressor : public TSVBasicDecompressor {
    public:
        using TSVBasicDecompressor::TSVBasicDecompressor;
        std::vector<uint8_t> Bytes;

    protected:
        bool IntSingleOperation(const TRef<IPXNotifyOperation>& AOperation) override {
            const auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation);
            const auto block = TQXBlockBuffer::CreateUniversal(supplied->GetData());
            Bytes.insert(Bytes.end(), block->Read(), block->Read() + block->GetByteSize());
            return true;
        }
    };
    for (const bool threaded : {false, true}) {
        SCOPED_TRACE(threaded ? "threaded" : "inline");
        TCompressor compressor(nullptr);
        TDecompressor decompressor(nullptr);
        decompressor.SetThreaded(threaded);
        ASSERT_TRUE(compressor.GetOutputPin()->Connect(decompressor.GetInputPin()));
        compressor.GetOutputPin()->Notify(TPXStartRateOperation::Create(1000)); // starts the thread
        std::vector<uint8_t> sent;
        for (uint8_t i = 0; i < 3; ++i) {
            const TRef<TQXBlockBuffer> block = TQXBlockBuffer::CreateSizeObject(100 + i);
            std::memset(block->Write(), i + 1, block->GetByteSize());
            sent.insert(sent.end(), block->GetByteSize(), static_cast<uint8_t>(i + 1));
            EXPECT_TRUE(compressor.GetOutputPin()->SubmitBuffer(block));
        }
        compressor.GetOutputPin()->Notify(TPXStopOperation::Create()); // drains the thread
        EXPECT_EQ(decompressor.Bytes, sent);
        EXPECT_TRUE(decompressor.GetInputPin()->Notify(TPXPauseOperation::Create()));
        EXPECT_EQ(compressor.Back, std::vector<std::string>{"TPXPauseOperation"});
    }
}

// Every change a buffer brings is announced before it, floats of the same width included: a
// consumer that took 32-bit floats as integers would turn them into noise.
TEST(TSVStreamSource, AnnouncesEveryChangeOfTheStreamsFormatBeforeItsBuffer) {
    const auto integers = [](int32_t ARate, int32_t ABits) {
        return TSVAudioBuffer::CreateSizeEx(ARate, ABits, 2, 4, TSVSpeakers{});
    };
    const auto floats = [](int32_t ARate) {
        return TSVAudioBuffer::CreateFloatSizeEx(ARate, 2, 4, TSVSpeakers{});
    };
    struct TCase {
        const char* Name;
        std::vector<TRef<ISVAudioBuffer>> Buffers;
        uint64_t Changes;
    };
    const TCase cases[] = {
        {"one format", {integers(48000, 32), integers(48000, 32)}, 0},
        {"integers to floats", {integers(48000, 32), floats(48000), integers(48000, 32)}, 2},
        {"another rate and width",
         {integers(48000, 16), integers(44100, 16), integers(44100, 24)},
         2},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TListSource source(c.Buffers);
        TRecorder out(nullptr);
        ASSERT_TRUE(source.GetOutputPin()->Connect(out.GetInputPin()));
        source.Start();
        while (source.GetRunning() && TMainThread::WaitForWork())
            TMainThread::ProcessQueue();
        EXPECT_EQ(source.GetFormatChanges(), c.Changes);
        EXPECT_EQ(std::count(out.Operations.begin(), out.Operations.end(),
                             std::string("TPXStartWaveOperation")),
                  static_cast<long>(1 + c.Changes));
        EXPECT_TRUE(SVIsSameStreamFormat(out.Format, c.Buffers.back()->GetWaveFormat()));
        EXPECT_EQ(out.Operations.back(), "TPXEndStopOperation");
    }
}
