// Audio buffers packed into structure records and read back, through a make structure and a
// split structure (its processing thread included), per 1024-frame stereo 16-bit buffer; beside
// one and two memcpys of the buffer's 4096 sample bytes, and beside the buffer's own
// serialization to a JSON document and back, the other way a user has to carry a buffer as
// bytes. The library starts as it is loaded. Times are CPU times of the whole process, the
// processing thread's included; the "per_buffer" counter is the CPU time per buffer.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "sonvera/components/SVStructureElements.h"
#include "sonvera/platform/bases/QXStructure.h"
#include "sonvera/platform/runtime/JsonSerialization.h"

using namespace sonvera;

namespace {

constexpr int32_t KFrames = 1024;
constexpr int64_t KBatch = 64; // buffers between two waits for the processing thread

// Two buffers of different samples, so that the make element never finds the same one again.
std::vector<TRef<ISVAudioBuffer>> Buffers() {
    std::vector<TRef<ISVAudioBuffer>> buffers;
    for (int i = 0; i < 2; ++i) {
        buffers.push_back(TSVAudioBuffer::CreateSize(44100, 16, 2, KFrames));
        auto* samples = static_cast<uint8_t*>(buffers.back()->Write());
        for (uint32_t j = 0; j < buffers.back()->GetByteSize(); ++j)
            samples[j] = uint8_t(j * 7 + i);
    }
    return buffers;
}

void PerBuffer(benchmark::State& AState, int64_t ABuffersPerIteration) {
    AState.SetItemsProcessed(AState.iterations() * ABuffersPerIteration);
    AState.SetBytesProcessed(AState.iterations() * ABuffersPerIteration * KFrames * 4);
    AState.counters["per_buffer"] = benchmark::Counter(
        double(ABuffersPerIteration),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A sink that counts the buffers it receives.
struct TCounter {
    std::atomic<int64_t> Buffers{0};
    TSVPXAudioSinkPin Pin{nullptr, nullptr, nullptr,
                          [this](TPXPin*, TPXPin*, const TGUID&,
                                 const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
                              if (OperationAs<TPXSuppliedBufferOperation>(AOperation))
                                  ++Buffers;
                              return true;
                          }};
};

struct TMake {
    TQXMakeStructure Structure;
    TSVPXAudioSourcePin Source{nullptr, nullptr, nullptr, nullptr};
    TMake() {
        auto* element = dynamic_cast<TSVAudioBufferMakeStructureElement*>(
            Structure.GetElements().Add("TSVAudioBufferMakeStructureElement"));
        Source.Connect(element->GetInputPin());
    }
};

struct TSplit {
    TQXSplitStructure Structure;
    TCounter Output;
    TSplit() {
        auto* element = dynamic_cast<TSVAudioBufferSplitStructureElement*>(
            Structure.GetElements().Add("TSVAudioBufferSplitStructureElement"));
        element->GetOutputPin()->Connect(&Output.Pin);
    }
};

void BM_Memcpy(benchmark::State& AState) {
    std::vector<uint8_t> source(KFrames * 4, 1), target(KFrames * 4);
    for (auto _ : AState) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    PerBuffer(AState, 1);
}
BENCHMARK(BM_Memcpy)->MeasureProcessCPUTime();

// What packing and unpacking must do at least: the samples into a record, and out again.
void BM_TwoMemcpys(benchmark::State& AState) {
    std::vector<uint8_t> source(KFrames * 4, 1), record(KFrames * 4 + 7), target(KFrames * 4);
    for (auto _ : AState) {
        std::memcpy(record.data() + 7, source.data(), source.size());
        benchmark::ClobberMemory();
        std::memcpy(target.data(), record.data() + 7, source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    PerBuffer(AState, 1);
}
BENCHMARK(BM_TwoMemcpys)->MeasureProcessCPUTime();

void BM_StructurePack(benchmark::State& AState) {
    const auto buffers = Buffers();
    TMake make;
    TQXPXBinarySinkPin records(nullptr, nullptr, nullptr, nullptr);
    make.Structure.GetOutputPin()->Connect(&records);
    int64_t i = 0;
    for (auto _ : AState)
        make.Source.SubmitBuffer(buffers[i++ & 1]);
    PerBuffer(AState, 1);
}
BENCHMARK(BM_StructurePack)->MeasureProcessCPUTime();

void BM_StructureUnpack(benchmark::State& AState) {
    // One record, captured off a make structure and fed again and again.
    TMake make;
    TRef<IQXData> record;
    TQXPXBinarySinkPin records(
        nullptr, nullptr, nullptr,
        [&](TPXPin*, TPXPin*, const TGUID&, const TRef<IPXNotifyOperation>& AOperation, uint32_t) {
            if (auto* supplied = OperationAs<TPXSuppliedBufferOperation>(AOperation))
                record = supplied->GetData();
            return true;
        });
    make.Structure.GetOutputPin()->Connect(&records);
    make.Source.SubmitBuffer(Buffers()[0]);

    TSplit split;
    TQXPXBinarySourcePin feeder(nullptr, nullptr, nullptr, nullptr);
    feeder.Connect(split.Structure.GetInputPin());
    for (auto _ : AState) {
        for (int64_t i = 0; i < KBatch; ++i)
            feeder.SubmitBuffer(record);
        split.Structure.Flush();
    }
    feeder.Notify(TPXStopOperation::Create());
    if (split.Output.Buffers != AState.iterations() * KBatch)
        AState.SkipWithError("buffers lost");
    PerBuffer(AState, KBatch);
}
BENCHMARK(BM_StructureUnpack)->MeasureProcessCPUTime();

void BM_StructureRoundTrip(benchmark::State& AState) {
    const auto buffers = Buffers();
    TMake make;
    TSplit split;
    make.Structure.GetOutputPin()->Connect(split.Structure.GetInputPin());
    int64_t n = 0;
    for (auto _ : AState) {
        for (int64_t i = 0; i < KBatch; ++i)
            make.Source.SubmitBuffer(buffers[n++ & 1]);
        split.Structure.Flush();
    }
    make.Structure.Stop();
    if (split.Output.Buffers != AState.iterations() * KBatch)
        AState.SkipWithError("buffers lost");
    PerBuffer(AState, KBatch);
}
BENCHMARK(BM_StructureRoundTrip)->MeasureProcessCPUTime();

void BM_JsonSerializationRoundTrip(benchmark::State& AState) {
    const TRef<ISVAudioBuffer> buffer = Buffers()[0];
    for (auto _ : AState) {
        const TRef<TJsonWriter> writer = TJsonWriter::CreateObject();
        buffer->SerializationWrite(writer);
        const TRef<ISVAudioBuffer> copy = TSVAudioBuffer::Create();
        copy->SerializationRead(TJsonReader::Create(writer->Text()));
        benchmark::DoNotOptimize(copy->Read());
    }
    PerBuffer(AState, 1);
}
BENCHMARK(BM_JsonSerializationRoundTrip)->MeasureProcessCPUTime();

} // namespace
