#include "sonvera/streams/SVStreamTypes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestSupport.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/streams/RVStreamTypes.h"

using namespace sonvera;

namespace {

const auto* const GStreamsStart =
    sonvera::testing::StartUnits({{InitializeQXBasicDispatcher},
                                  {InitializeSVBasicDispatcher},
                                  {InitializePXStreams, FinalizePXStreams},
                                  {InitializeSVStreamTypes, FinalizeSVStreamTypes},
                                  {InitializeRVStreamTypes, FinalizeRVStreamTypes}});

// A pin's handler that keeps every operation it receives.
struct TReceived {
    std::vector<TRef<IPXNotifyOperation>> Operations;
    TPXDispatchHandler Handler() {
        return [this](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                      uint32_t) {
            Operations.push_back(AOperation);
            return true;
        };
    }
    template <class T> T* At(size_t AIndex) const {
        return AIndex < Operations.size() ? OperationAs<T>(Operations[AIndex]) : nullptr;
    }
};

std::vector<uint8_t> Bytes(const TSVWaveFormatExtensible& ARecord) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&ARecord);
    return {bytes, bytes + sizeof(ARecord)};
}

// The 40 bytes of an extensible PCM record.
std::vector<uint8_t> Pcm(uint16_t AChannels, uint32_t ARate, uint16_t ABits, uint16_t ABlockAlign,
                         uint32_t AMask) {
    TSVWaveFormatExtensible record{};
    record.Format = {0xFFFE, AChannels, ARate, ABlockAlign * ARate, ABlockAlign, ABits, 22};
    record.Samples.wValidBitsPerSample = ABits;
    record.dwChannelMask = AMask;
    record.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return Bytes(record);
}

} // namespace

TEST(TPXStartWaveOperation, RecordsRatesAndPauseFlags) {
    TSVWaveFormatExtensible odd{};
    std::memset(static_cast<void*>(&odd), 0xA5, sizeof(odd));
    const tWAVEFORMATEX basic{1, 6, 48000, 576000, 12, 16, 0};
    struct TCase {
        TRef<TPXStartWaveOperation> Operation;
        std::vector<uint8_t> Record;
        double Rate;
        bool Paused;
    };
    using TOp = TPXStartWaveOperation;
    const TCase cases[] = {
        {TOp::CreateFormatObject(44100, 16, 2, false), Pcm(2, 44100, 16, 4, 3), 44100.0, false},
        {TOp::CreateFormatExObject(48000, 24, 3, {spFrontLeft, spFrontRight, spSubwoofer}, true),
         Pcm(3, 48000, 24, 9, 0xB), 48000.0, true},
        // A mask from a channel count needs a 32-bit shift: 32 channels get none.
        {TOp::CreateFormatObject(8000, 8, 32, false), Pcm(32, 8000, 8, 32, 0), 8000.0, false},
        // The default format: 11024 Hz, not 11025.
        {TOp::CreateObject(nullptr, true), Pcm(2, 11024, 16, 4, 3), 11024.0, true},
        // A given record is copied verbatim, even one that makes no sense.
        {TOp::CreateObject(odd, false), Bytes(odd), double(odd.Format.nSamplesPerSec), false},
        // The buffer rate, not the sample rate; the basic record made extensible.
        {TOp::CreateWaveObject(12.5f, &basic, false), Pcm(6, 48000, 16, 12, 0x3F), 12.5, false},
        {TOp::CreateWaveObject(3.0f, nullptr, true), Pcm(2, 11024, 16, 4, 3), 3.0, true}};
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(Bytes(cases[i].Operation->GetWaveFormat()), cases[i].Record) << i;
        EXPECT_EQ(cases[i].Operation->GetRate(), cases[i].Rate) << i;
        EXPECT_EQ(cases[i].Operation->GetPaused(), cases[i].Paused) << i;
    }
}

TEST(TSVPXAudioSourcePin, ReplaysTheRunningStreamToLateSinksOnly) {
    TReceived early, late, afterStop, converted;
    TSVPXAudioSourcePin source(nullptr, nullptr, nullptr, nullptr);
    TSVPXAudioSinkPin earlySink(nullptr, nullptr, nullptr, early.Handler());
    TSVPXAudioSinkPin lateSink(nullptr, nullptr, nullptr, late.Handler());
    TSVPXAudioSinkPin stopSink(nullptr, nullptr, nullptr, afterStop.Handler());
    TQXPXIntegerSinkPin integerSink(nullptr, nullptr, nullptr, converted.Handler());
    ASSERT_TRUE(source.Connect(&earlySink));

    const TRef<IPXNotifyOperation> start = TPXStartWaveOperation::CreateFormat(44100, 16, 2, false);
    source.Notify(start);
    source.Notify(TPXPauseOperation::Create()); // not a resume: the start stays recorded
    ASSERT_TRUE(source.Connect(&lateSink));
    ASSERT_TRUE(source.Connect(&integerSink)); // through a converter, which passes it on
    source.Notify(TPXStopOperation::Create());
    ASSERT_TRUE(source.Connect(&stopSink));

    EXPECT_EQ(early.Operations.size(), 3u);
    ASSERT_EQ(late.Operations.size(), 2u);
    EXPECT_EQ(late.Operations[0].get(), start.get());
    EXPECT_NE(late.At<TPXStopOperation>(1), nullptr);
    ASSERT_EQ(converted.Operations.size(), 2u);
    EXPECT_EQ(converted.Operations[0].get(), start.get());
    EXPECT_TRUE(afterStop.Operations.empty()); // the stop cleared the recorded start
}

TEST(TPXAudioFormatConverters, ConvertChannelZeroOrPassTheBytes) {
    const int16_t samples[] = {-32768, 7, 32767, -1, 100, 200}; // three stereo frames
    const TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateData(samples, 44100, 16, 2, 3);
    TSVPXAudioSourcePin source(nullptr, nullptr, nullptr, nullptr);
    TReceived integers, reals, blocks;
    TQXPXIntegerSinkPin integerSink(nullptr, nullptr, nullptr, integers.Handler());
    TQXPXRealSinkPin realSink(nullptr, nullptr, nullptr, reals.Handler());
    TQXPXBinarySinkPin binarySink(nullptr, nullptr, nullptr, blocks.Handler());
    for (TPXPin* sink : std::initializer_list<TPXPin*>{&integerSink, &realSink, &binarySink})
        ASSERT_TRUE(source.Connect(sink));
    EXPECT_TRUE(source.SubmitBuffer(buffer));

    const auto integer =
        IntfCast<IQXIntegerBuffer>(integers.At<TPXSuppliedBufferOperation>(0)->GetData());
    EXPECT_EQ(std::vector<int32_t>(integer->Read(), integer->Read() + integer->GetSize()),
              (std::vector<int32_t>{-32768, 32767, 100}));
    const auto real = IntfCast<IQXRealBuffer>(reals.At<TPXSuppliedBufferOperation>(0)->GetData());
    EXPECT_EQ(std::vector<double>(real->Read(), real->Read() + real->GetSize()),
              (std::vector<double>{-32768.0, 32767.0, 100.0}));
    const auto block =
        IntfCast<IQXBlockBuffer>(blocks.At<TPXSuppliedBufferOperation>(0)->GetData());
    EXPECT_EQ(block->GetByteSize(), buffer->GetByteSize() + sizeof(TSVWaveFormatExtensible));
    EXPECT_EQ(
        std::memcmp(block->Read() + sizeof(TSVWaveFormatExtensible), samples, sizeof(samples)), 0);

    // A payload that is not audio fails the integer converter's cast, at the sender.
    EXPECT_THROW(source.SubmitBuffer(TQXIntegerBuffer::CreateSize(2)), EIntfCastError);
    // Operations from the sink travel upstream through the converter.
    TReceived upstream;
    TSVPXAudioSourcePin answering(nullptr, nullptr, nullptr, upstream.Handler());
    TQXPXIntegerSinkPin asking(nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(asking.Connect(&answering));
    EXPECT_TRUE(asking.Notify(TPXQueryStreamOperation::Create()));
    EXPECT_NE(upstream.At<TPXQueryStreamOperation>(0), nullptr);
    EXPECT_TRUE(asking.Disconnect(&answering));
    EXPECT_FALSE(answering.IsConnected());
}

TEST(TPXRVGraphSourcePin, ToldGraphNoticesAreNeverAnswered) {
    TReceived received;
    TPXRVGraphSourcePin source(nullptr, nullptr, nullptr, 0, nullptr);
    TPXRVGraphSinkPin sink(nullptr, nullptr, nullptr, received.Handler());
    TQXPXBinarySinkPin other(nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(source.Connect(&sink));
    EXPECT_FALSE(source.Connect(&other));
    TLockComponent graph;
    EXPECT_FALSE(source.Notify(TPXRVGraphChangeOperation::Create(&graph)));
    ASSERT_NE(received.At<TPXRVGraphOperation>(0), nullptr);
    EXPECT_EQ(received.At<TPXRVGraphOperation>(0)->GetGraph(), &graph);
}
