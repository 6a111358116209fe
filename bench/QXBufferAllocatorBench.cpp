// The cost of a buffer's memory: allocating and releasing a block, a store and a whole block
// buffer of one 1024-frame stereo 16-bit buffer (4 KiB of samples behind a 40-byte header),
// beside a memcpy of the same 4 KiB. Items are 16-bit samples.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "sonvera/platform/signal/QXBufferAllocator.h"
#include "sonvera/platform/signal/QXInternalStore.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

using namespace sonvera;

namespace {

constexpr size_t KSampleBytes = 4096;
constexpr size_t KSamples = KSampleBytes / sizeof(int16_t);
constexpr size_t KStoreBytes = KSampleBytes + QXStoreHeaderSize;

void CountSamples(benchmark::State& AState) {
    AState.SetItemsProcessed(static_cast<int64_t>(AState.iterations() * KSamples));
    AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * KSampleBytes));
}

void BM_Memcpy4KiB(benchmark::State& AState) {
    std::vector<uint8_t> source(KSampleBytes, 1);
    std::vector<uint8_t> target(KSampleBytes);
    for (auto _ : AState) {
        benchmark::DoNotOptimize(source.data());
        std::memcpy(target.data(), source.data(), KSampleBytes);
        benchmark::ClobberMemory();
    }
    CountSamples(AState);
}
BENCHMARK(BM_Memcpy4KiB);

void BM_QXBufferAllocateDeallocate4KiB(benchmark::State& AState) {
    for (auto _ : AState) {
        void* block = QXBufferAllocate(KSampleBytes);
        benchmark::DoNotOptimize(block);
        QXBufferDeallocate(block, KSampleBytes);
    }
    CountSamples(AState);
}
BENCHMARK(BM_QXBufferAllocateDeallocate4KiB);
BENCHMARK(BM_QXBufferAllocateDeallocate4KiB)->Threads(2);

void BM_QXSmartByteBufferCreateRelease(benchmark::State& AState) {
    for (auto _ : AState) {
        auto* store = new TQXSmartByteBuffer(static_cast<uint32_t>(KStoreBytes));
        store->AddReff(true);
        benchmark::DoNotOptimize(store->GetData());
        store->RemoveReff(true);
    }
    CountSamples(AState);
}
BENCHMARK(BM_QXSmartByteBufferCreateRelease);

void BM_QXBlockBufferCreateRelease(benchmark::State& AState) {
    for (auto _ : AState) {
        TRef<IQXBlockBuffer> buffer =
            TQXBlockBuffer::CreateSize(static_cast<uint32_t>(KStoreBytes));
        benchmark::DoNotOptimize(buffer->Read());
    }
    CountSamples(AState);
}
BENCHMARK(BM_QXBlockBufferCreateRelease);

} // namespace
