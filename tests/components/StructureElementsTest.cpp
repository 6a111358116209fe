#include "sonvera/components/SVStructureElements.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "sonvera/platform/bases/QXStructure.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

using namespace sonvera;

// The library starts when it is loaded: the elements are registered by then.
namespace {

using TBytes = std::vector<uint8_t>;

TRef<ISVAudioBuffer> Buffer(int32_t ARate, int32_t ABits, int32_t AChannels, int32_t AFrames,
                            uint32_t ASeed) {
    TRef<ISVAudioBuffer> buffer = TSVAudioBuffer::CreateSize(ARate, ABits, AChannels, AFrames);
    auto* samples = static_cast<uint8_t*>(buffer->Write());
    for (uint32_t i = 0; i < buffer->GetByteSize(); ++i)
        samples[i] = uint8_t(ASeed * 131 + i * 29 + (i >> 8));
    return buffer;
}

TBytes BytesOf(const void* AData, size_t ASize) {
    const auto* bytes = static_cast<const uint8_t*>(AData);
    return {bytes, bytes + ASize};
}

// A sink that keeps what arrives, and whether it arrived on the main thread.
template <class TPin> struct TCapture {
    std::mutex Lock;
    std::vector<TRef<IPXNotifyOperation>> Operations;
    std::vector<bool> OnMainThread;
    TPin Pin{nullptr, nullptr, nullptr,
             [this](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation,
                    uint32_t) {
                 std::lock_guard<std::mutex> guard(Lock);
                 Operations.push_back(AOperation);
                 OnMainThread.push_back(TMainThread::IsMainThread());
                 return true;
             }};

    template <class T> std::vector<TRef<T>> Payloads() {
        std::lock_guard<std::mutex> guard(Lock);
        std::vector<TRef<T>> payloads;
        for (const auto& operation : Operations)
            if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(operation))
                payloads.push_back(IntfCast<T>(supplied->GetData()));
        return payloads;
    }
    std::vector<TBytes> Records() {
        std::vector<TBytes> records;
        for (const auto& record : Payloads<IQXDataBuffer>())
            records.push_back(BytesOf(record->ByteRead(), record->GetByteSize()));
        return records;
    }
};
using TAudioCapture = TCapture<TSVPXAudioSinkPin>;
using TRecordCapture = TCapture<TQXPXBinarySinkPin>;

auto* AddMakeElement(TQXMakeStructure& AStructure) {
    return dynamic_cast<TSVAudioBufferMakeStructureElement*>(
        AStructure.GetElements().Add("TSVAudioBufferMakeStructureElement"));
}
auto* AddSplitElement(TQXSplitStructure& AStructure) {
    return dynamic_cast<TSVAudioBufferSplitStructureElement*>(
        AStructure.GetElements().Add("TSVAudioBufferSplitStructureElement"));
}

// Packs each buffer into a record of a make structure with one audio element.
std::vector<TBytes> Pack(const std::vector<TRef<ISVAudioBuffer>>& ABuffers) {
    TQXMakeStructure make;
    TSVPXAudioSourcePin source(nullptr, nullptr, nullptr, nullptr);
    TRecordCapture records;
    EXPECT_TRUE(source.Connect(AddMakeElement(make)->GetInputPin()));
    EXPECT_TRUE(make.GetOutputPin()->Connect(&records.Pin));
    for (const auto& buffer : ABuffers)
        source.SubmitBuffer(buffer);
    return records.Records();
}

// The bytes of a buffer's format record followed by its data bytes.
TBytes FormatAndData(const TRef<ISVAudioBuffer>& ABuffer) {
    const TSVWaveFormatExtensible format = ABuffer->GetWaveFormat();
    TBytes bytes = BytesOf(&format, sizeof(format));
    const TBytes data = BytesOf(ABuffer->Read(), ABuffer->GetByteSize());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// Pumps the main thread until the queued work is done; the errors it raised, in order.
std::vector<std::string> PumpErrors() {
    std::vector<std::string> errors;
    for (;;) {
        try {
            if (TMainThread::ProcessQueue() == 0)
                return errors;
        } catch (const Exception& error) {
            errors.push_back(error.what());
        }
    }
}

// A make structure that keeps whether each value it received changed the record size.
class TRecordingMakeStructure : public TQXMakeStructure {
public:
    std::vector<bool> SizeChanges;
    void DataReceived(bool ASizeChanged) override {
        SizeChanges.push_back(ASizeChanged);
        TQXMakeStructure::DataReceived(ASizeChanged);
    }
};

// A split structure with one audio element fed through a binary source pin.
struct TSplitChain {
    TQXSplitStructure Split;
    TSVAudioBufferSplitStructureElement* Element = AddSplitElement(Split);
    TQXPXBinarySourcePin Feeder{nullptr, nullptr, nullptr, nullptr};
    TAudioCapture Output;
    TSplitChain() {
        EXPECT_TRUE(Feeder.Connect(Split.GetInputPin()));
        EXPECT_TRUE(Element->GetOutputPin()->Connect(&Output.Pin));
    }
    void Feed(const TBytes& ABytes) {
        TRef<TQXBlockBuffer> block = TQXBlockBuffer::CreateSizeObject(uint32_t(ABytes.size()));
        std::copy(ABytes.begin(), ABytes.end(), block->Write());
        Feeder.SubmitBuffer(TRef<IQXData>(block));
    }
};

} // namespace

TEST(TSVAudioBufferStructureElements, BuffersComeBackBitIdenticalWhereverTheRecordsAreCut) {
    std::vector<TRef<ISVAudioBuffer>> buffers;
    const int32_t rates[] = {100, 8000, 44100, 192000};
    for (int32_t bits : {8, 16, 20, 24, 32})
        for (int32_t channels = 1; channels <= 8; ++channels)
            buffers.push_back(Buffer(rates[channels % 4], bits, channels, (channels * 5 + bits) % 7,
                                     uint32_t(buffers.size())));
    buffers.push_back(Buffer(48000, 16, 2, 1500, 99)); // two-byte frame count, 6000 data bytes
    const std::vector<TBytes> records = Pack(buffers);
    ASSERT_EQ(records.size(), buffers.size());

    TSplitChain chain;
    chain.Feeder.Notify(TPXStartRateOperation::Create(1.0));
    EXPECT_TRUE(chain.Split.IsProcessing());
    // Each record cut in two at every boundary (empty pieces included) ...
    std::vector<TRef<ISVAudioBuffer>> expected;
    for (size_t i = 0; i < records.size(); ++i)
        for (size_t cut = 0; cut <= records[i].size(); cut += records[i].size() > 300 ? 97 : 1) {
            chain.Feed(TBytes(records[i].begin(), records[i].begin() + cut));
            chain.Feed(TBytes(records[i].begin() + cut, records[i].end()));
            expected.push_back(buffers[i]);
        }
    // ... then all records as one stream, in pieces that span records.
    TBytes stream;
    for (const TBytes& record : records)
        stream.insert(stream.end(), record.begin(), record.end());
    const size_t sizes[] = {1, 5, 2, 13, 64, 3};
    for (size_t at = 0, i = 0; at < stream.size(); ++i) {
        const size_t size = std::min(sizes[i % std::size(sizes)], stream.size() - at);
        chain.Feed(TBytes(stream.begin() + at, stream.begin() + at + size));
        at += size;
    }
    expected.insert(expected.end(), buffers.begin(), buffers.end());
    chain.Feeder.Notify(TPXStopOperation::Create());
    EXPECT_FALSE(chain.Split.IsProcessing());
    EXPECT_TRUE(PumpErrors().empty());

    const std::vector<TRef<ISVAudioBuffer>> received = chain.Output.Payloads<ISVAudioBuffer>();
    ASSERT_EQ(received.size(), expected.size());
    for (size_t i = 0; i < received.size(); ++i)
        EXPECT_EQ(FormatAndData(received[i]), FormatAndData(expected[i])) << "buffer " << i;
    // The stream was announced once, on the main thread, in the first section's format, and
    // its end passed on; the buffers came from the processing thread.
    const auto& operations = chain.Output.Operations;
    ASSERT_EQ(operations.size(), received.size() + 3);
    const auto* start = OperationAs<TPXStartWaveOperation>(operations[0]);
    ASSERT_NE(start, nullptr);
    const TSVWaveFormatExtensible first = buffers[0]->GetWaveFormat();
    EXPECT_EQ(BytesOf(&start->GetWaveFormat(), sizeof(first)), BytesOf(&first, sizeof(first)));
    const auto* pump = OperationAs<TPXStartPumpOperation>(operations[1]);
    ASSERT_NE(pump, nullptr);
    EXPECT_EQ(pump->GetSender(), chain.Element);
    EXPECT_NE(OperationAs<TPXStopOperation>(operations.back()), nullptr);
    EXPECT_TRUE(chain.Output.OnMainThread[0] && chain.Output.OnMainThread[1]);
    EXPECT_FALSE(chain.Output.OnMainThread[2]);
}

TEST(TSVAudioBufferStructureElements, StereoSixteenBitSectionIsLaidOutByteForByte) {
    const TRef<ISVAudioBuffer> buffer = Buffer(44100, 16, 2, 1024, 7);
    TQXMakeStructure make;
    TSVAudioBufferMakeStructureElement* element = AddMakeElement(make);
    bool aligned = false;
    EXPECT_EQ(element->GetSize(aligned), 0u); // no value yet
    element->SetValue(buffer);
    // 4096 data bytes, a three-byte rate, a two-byte frame count, channels and bits.
    EXPECT_EQ(element->GetSize(aligned), (4096u + 3 + 2 + 2) * 8);
    EXPECT_TRUE(aligned);

    const TBytes record = Pack({buffer})[0];
    ASSERT_EQ(record.size(), 4103u);
    EXPECT_EQ(TBytes(record.begin(), record.begin() + 7),
              (TBytes{0x02, 0x10, 0xC0, 0xAC, 0x44, 0x84, 0x00}));
    EXPECT_EQ(TBytes(record.begin() + 7, record.end()), BytesOf(buffer->Read(), 4096));
}

TEST(TSVAudioBufferMakeStructureElement, KeepsAnEqualBufferAndReportsSizeChangesByFrames) {
    TRecordingMakeStructure make;
    TSVAudioBufferMakeStructureElement* element = AddMakeElement(make);
    TRecordCapture records;
    ASSERT_TRUE(make.GetOutputPin()->Connect(&records.Pin));
    const TRef<ISVAudioBuffer> first = Buffer(8000, 16, 1, 3, 1);
    const TRef<ISVAudioBuffer> longer = Buffer(8000, 16, 1, 5, 2);
    const TRef<ISVAudioBuffer> sameFrames = Buffer(96000, 8, 2, 5, 3);
    element->SetValue(first);
    element->SetValue(TSVAudioBuffer::CreateCopy(first)); // equal: the first one stays
    EXPECT_EQ(element->GetValue(), first);
    for (const TRef<ISVAudioBuffer>& value : {longer, sameFrames, first})
        element->SetValue(value);
    EXPECT_EQ(make.SizeChanges, (std::vector<bool>{true, false, true, false, true}));
    // Each report sends a record; a value that did not start the input starts it at 1.0.
    EXPECT_EQ(records.Records().size(), 5u);
    EXPECT_EQ(records.Records()[0], records.Records()[1]);
    const auto* start = OperationAs<TPXStartRateOperation>(records.Operations[0]);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->GetRate(), 1.0);

    // Buffers that a section cannot describe are refused and leave the value alone.
    EXPECT_THROW(element->SetValue(Buffer(8000, 8, 256, 1, 0)), EArgumentError);
    EXPECT_EQ(element->GetValue(), first);
}

TEST(TSVAudioBufferSplitStructureElement, RefusesImpossibleSectionsWaitsForIncompleteOnes) {
    struct TCase {
        TBytes Bytes;
        const char* Error; // null: the section is waited for
    };
    const TCase cases[] = {
        {{1, 33, 0x64, 0x01, 0, 0, 0, 0, 0}, "Bits per sample out of range = 33"},
        {{1, 16, 0xF0, 0x80, 0, 0, 0, 0x01, 0, 0}, "Sample rate out of range = 2147483648"},
        {{1, 8, 0x64, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         "Sample count out of range = 18446744073709551615"},
        {{255, 32, 0x64, 0xE0, 0x40, 0x00, 0x00}, "Section data size out of range = 4278190080"},
        {{1, 8, 0x64, 0xC1, 0x86, 0xA0, 1, 2, 3}, nullptr}, // a large section, still arriving
        {{2, 16, 0xFF, 0x00, 0x00}, nullptr},               // a field that never ends
        {{2}, nullptr}};                                    // a head alone
    const TBytes valid = Pack({Buffer(8000, 24, 3, 2, 5)})[0];
    for (size_t i = 0; i < std::size(cases); ++i) {
        const TCase& c = cases[i];
        TSplitChain chain;
        chain.Feeder.Notify(TPXStartRateOperation::Create(1.0));
        chain.Feed(c.Bytes);
        chain.Split.Flush();
        const std::vector<std::string> errors = PumpErrors();
        if (c.Error) {
            EXPECT_EQ(errors, std::vector<std::string>{c.Error}) << i;
            // The bytes held are dropped and the element reads on.
            EXPECT_EQ(chain.Split.GetPendingSize(), 0u) << i;
            chain.Feed(valid);
            chain.Split.Flush();
            EXPECT_EQ(chain.Output.Payloads<ISVAudioBuffer>().size(), 1u) << i;
        } else {
            EXPECT_TRUE(errors.empty()) << i;
            EXPECT_EQ(chain.Split.GetPendingSize(), c.Bytes.size()) << i;
            EXPECT_TRUE(chain.Output.Operations.empty()) << i;
        }
    }
}

TEST(TQXStructure, RecordsOfTwoElementsTravelFromMakeToSplitAndStopTheThread) {
    TQXMakeStructure make;
    TQXSplitStructure split;
    TSVPXAudioSourcePin sources[2] = {{nullptr, nullptr, nullptr, nullptr},
                                      {nullptr, nullptr, nullptr, nullptr}};
    TAudioCapture outputs[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(sources[i].Connect(AddMakeElement(make)->GetInputPin()));
        ASSERT_TRUE(AddSplitElement(split)->GetOutputPin()->Connect(&outputs[i].Pin));
    }
    ASSERT_TRUE(make.GetOutputPin()->Connect(split.GetInputPin()));
    // Elements are offered by name; each structure takes its own kind only.
    EXPECT_THROW(make.GetElements().Add("TSVAudioBufferSplitStructureElement"), EArgumentError);
    EXPECT_EQ(make.GetElements().Count(), 2u);

    // The record stream starts at the highest rate once both inputs have started.
    sources[0].Notify(TPXStartWaveOperation::CreateFormat(44100, 16, 2, false));
    EXPECT_FALSE(split.GetStarted());
    const TRef<ISVAudioBuffer> a = Buffer(44100, 16, 2, 4, 1), b = Buffer(22050, 8, 1, 9, 2),
                               c = Buffer(44100, 16, 2, 4, 3);
    sources[0].SubmitBuffer(a);
    sources[1].SubmitBuffer(b); // starts input 2 at 1.0; the first record goes out
    EXPECT_TRUE(split.GetStarted());
    EXPECT_THROW(split.GetElements().Delete(0), EAssertionFailed);
    sources[0].SubmitBuffer(c);
    make.Stop();
    EXPECT_FALSE(split.IsProcessing());
    EXPECT_TRUE(PumpErrors().empty());

    const std::vector<TRef<ISVAudioBuffer>> sent[2] = {{a, c}, {b, b}};
    for (int i = 0; i < 2; ++i) {
        const auto received = outputs[i].Payloads<ISVAudioBuffer>();
        ASSERT_EQ(received.size(), 2u);
        for (size_t k = 0; k < 2; ++k)
            EXPECT_EQ(FormatAndData(received[k]), FormatAndData(sent[i][k])) << i << k;
        EXPECT_NE(OperationAs<TPXStartWaveOperation>(outputs[i].Operations.front()), nullptr);
        EXPECT_NE(OperationAs<TPXStopOperation>(outputs[i].Operations.back()), nullptr);
    }

    // A structure destroyed while its stream runs stops its thread first.
    auto running = std::make_unique<TSplitChain>();
    running->Feed(Pack({a})[0]);
    EXPECT_TRUE(running->Split.IsProcessing());
    running.reset();
    EXPECT_TRUE(PumpErrors().empty());
}
