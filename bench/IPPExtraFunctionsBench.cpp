// The extra primitives on 1 MiB of source samples, contiguous (argument 1) and as one channel
// of interleaved stereo (argument 2: the step is the frame size, so the runs span twice their
// samples' bytes), beside a memcpy of the bytes the larger run spans (counter SpanBytes).
// Items are samples.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/primitives/IPPExtraFunctions.h"
#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;

namespace {

constexpr int kSampleBytes = 1 << 20;

void StartTables() {
    static const bool started = [] {
        InitializeQXBasicDispatcher();
        InitializeSVBasicDispatcher();
        return true;
    }();
    (void)started;
}

// Random bytes, or floats in [-AFloatRange, AFloatRange] when AFloatRange is nonzero.
std::vector<uint8_t> Samples(size_t ABytes, float AFloatRange = 0) {
    std::vector<uint8_t> bytes(ABytes);
    std::mt19937 random(1);
    if (AFloatRange == 0) {
        for (uint8_t& byte : bytes)
            byte = uint8_t(random());
        return bytes;
    }
    std::uniform_real_distribution<float> real(-AFloatRange, AFloatRange);
    for (size_t i = 0; i + 4 <= ABytes; i += 4) {
        const float value = real(random);
        std::memcpy(bytes.data() + i, &value, 4);
    }
    return bytes;
}

void BM_Memcpy(benchmark::State& AState) {
    const size_t bytes = size_t(AState.range(0));
    std::vector<uint8_t> source = Samples(bytes), dest(bytes);
    for (auto _ : AState) {
        std::memcpy(dest.data(), source.data(), bytes);
        benchmark::ClobberMemory();
    }
    AState.SetBytesProcessed(int64_t(AState.iterations()) * int64_t(bytes));
}
// The references: every span the cases below cover (counter SpanBytes of each case).
BENCHMARK(BM_Memcpy)
    ->Arg(kSampleBytes)
    ->Arg(kSampleBytes * 4 / 3)
    ->Arg(kSampleBytes * 3 / 2)
    ->Arg(2 * kSampleBytes)
    ->Arg(kSampleBytes * 8 / 3)
    ->Arg(3 * kSampleBytes)
    ->Arg(4 * kSampleBytes)
    ->Arg(6 * kSampleBytes)
    ->Arg(8 * kSampleBytes);

// A primitive from a run of ASourceSize-byte samples into a run of ADestSize-byte samples
// (the same run for in-place primitives): APrimitive(source, sourceStep, dest, destStep, count).
template <class TPrimitive>
void Run(benchmark::State& AState, int ASourceSize, int ADestSize, float AFloatRange,
         TPrimitive APrimitive) {
    StartTables();
    const int channels = int(AState.range(0));
    const int count = kSampleBytes / ASourceSize;
    std::vector<uint8_t> source = Samples(size_t(count) * ASourceSize * channels, AFloatRange);
    std::vector<uint8_t> dest = Samples(size_t(count) * ADestSize * channels);
    for (auto _ : AState) {
        APrimitive(source.data(), ASourceSize * channels, dest.data(), ADestSize * channels, count);
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(int64_t(AState.iterations()) * count);
    // The bytes the larger of the two runs spans: the memcpy this case is measured against.
    AState.counters["SpanBytes"] = double(std::max(source.size(), dest.size()));
}

IppiSize Column(int ACount) {
    return IppiSize{1, ACount};
}

template <class T> T* As(uint8_t* AData) {
    return reinterpret_cast<T*>(AData);
}

#define SONVERA_BENCH(NAME, SOURCE_SIZE, DEST_SIZE, FLOAT_RANGE, ...)                              \
    void BM_##NAME(benchmark::State& AState) {                                                     \
        Run(AState, SOURCE_SIZE, DEST_SIZE, FLOAT_RANGE,                                           \
            [](uint8_t* s, int ss, uint8_t* d, int ds, int n) {                                    \
                (void)s, (void)ss, (void)d, (void)ds, (void)n;                                     \
                __VA_ARGS__;                                                                       \
            });                                                                                    \
    }                                                                                              \
    BENCHMARK(BM_##NAME)->Arg(1)->Arg(2)

// ---- Set and zero ------------------------------------------------------------------------------

SONVERA_BENCH(Set_24s_1D, 3, 3, 0, ippsSet_24s(0x123456, d, n));
SONVERA_BENCH(Set_24s_C1R, 3, 3, 0, ippiSet_24s_C1R(0x123456, d, ds, Column(n)));
SONVERA_BENCH(Zero_24s_1D, 3, 3, 0, ippsZero_24s(d, n));

// ---- Constant arithmetic -----------------------------------------------------------------------

SONVERA_BENCH(MulC_8s_C1IR, 1, 1, 0, ippiMulC_8s_C1IRSfs(3, d, ds, Column(n), 0));
SONVERA_BENCH(AddC_24s_C1IR, 3, 3, 0, ippiAddC_24s_C1IRSfs(1000, d, ds, Column(n), 0));
SONVERA_BENCH(SubC_24s_C1IR, 3, 3, 0, ippiSubC_24s_C1IRSfs(1000, d, ds, Column(n), 0));
SONVERA_BENCH(MulC_24s_C1IR, 3, 3, 0, ippiMulC_24s_C1IRSfs(3, d, ds, Column(n), 0));
SONVERA_BENCH(AddC_24s_C1R, 3, 3, 0, ippiAddC_24s_C1RSfs(s, 1000, d, ss, Column(n), 0));
SONVERA_BENCH(AddC_32s_C1IR, 4, 4, 0, ippiAddC_32s_C1IRSfs(1000, As<Ipp32s>(d), ds, Column(n), 0));
SONVERA_BENCH(SubC_32s_C1IR, 4, 4, 0, ippiSubC_32s_C1IRSfs(1000, As<Ipp32s>(d), ds, Column(n), 0));
SONVERA_BENCH(MulC_32s_C1IR, 4, 4, 0, ippiMulC_32s_C1IRSfs(3, As<Ipp32s>(d), ds, Column(n), 0));

// ---- Element-wise arithmetic -------------------------------------------------------------------

SONVERA_BENCH(Add_8s_C1IR, 1, 1, 0, ippiAdd_8s_C1IRSfs(s, ss, d, ds, Column(n), 0));
SONVERA_BENCH(Sub_8s_C1IR, 1, 1, 0, ippiSub_8s_C1IRSfs(s, ss, d, ds, Column(n), 0));
SONVERA_BENCH(Mul_8s_C1IR, 1, 1, 0, ippiMul_8s_C1IRSfs(s, ss, d, ds, Column(n), 0));
SONVERA_BENCH(Add_24s_C1IR, 3, 3, 0, ippiAdd_24s_C1IRSfs(s, ss, d, ds, Column(n), 0));
SONVERA_BENCH(Sub_24s_C1IR, 3, 3, 0, ippiSub_24s_C1IRSfs(s, ss, d, ds, Column(n), 0));
SONVERA_BENCH(Mul_24s_C1IR, 3, 3, 0, ippiMul_24s_C1IRSfs(s, ss, d, ds, Column(n), 0));
SONVERA_BENCH(Add_32s_C1IR, 4, 4, 0,
              ippiAdd_32s_C1IRSfs(As<Ipp32s>(s), ss, As<Ipp32s>(d), ds, Column(n), 0));
SONVERA_BENCH(Sub_32s_C1IR, 4, 4, 0,
              ippiSub_32s_C1IRSfs(As<Ipp32s>(s), ss, As<Ipp32s>(d), ds, Column(n), 0));
SONVERA_BENCH(Mul_32s_C1IR, 4, 4, 0,
              ippiMul_32s_C1IRSfs(As<Ipp32s>(s), ss, As<Ipp32s>(d), ds, Column(n), 0));

// ---- Width scaling (with the dispatch table's 8/16-bit scalings for comparison) -------------

SONVERA_BENCH(Scale_8u16s_Slot, 1, 2, 0, ippiScale_8u16s_C1R(s, ss, As<Ipp16s>(d), ds, Column(n)));
SONVERA_BENCH(Scale_8u24s, 1, 3, 0, ippiScale_8u24s_C1R(s, ss, d, ds, Column(n)));
SONVERA_BENCH(Scale_16s24s, 2, 3, 0, ippiScale_16s24s_C1R(As<Ipp16s>(s), ss, d, ds, Column(n)));
SONVERA_BENCH(Scale_16s32s, 2, 4, 0,
              ippiScale_16s32s_C1R(As<Ipp16s>(s), ss, As<Ipp32s>(d), ds, Column(n)));
SONVERA_BENCH(Scale_24s32s, 3, 4, 0, ippiScale_24s32s_C1R(s, ss, As<Ipp32s>(d), ds, Column(n)));
SONVERA_BENCH(Scale_16s8u_Slot, 2, 1, 0,
              ippiScale_16s8u_C1R(As<Ipp16s>(s), ss, d, ds, Column(n), ippAlgHintFast));
SONVERA_BENCH(Scale_24s8u, 3, 1, 0, ippiScale_24s8u_C1R(s, ss, d, ds, Column(n), ippAlgHintFast));
SONVERA_BENCH(Scale_24s16s, 3, 2, 0,
              ippiScale_24s16s_C1R(s, ss, As<Ipp16s>(d), ds, Column(n), ippAlgHintFast));
SONVERA_BENCH(Scale_32s16s, 4, 2, 0,
              ippiScale_32s16s_C1R(As<Ipp32s>(s), ss, As<Ipp16s>(d), ds, Column(n),
                                   ippAlgHintFast));
SONVERA_BENCH(Scale_32s24s, 4, 3, 0,
              ippiScale_32s24s_C1R(As<Ipp32s>(s), ss, d, ds, Column(n), ippAlgHintFast));

// ---- Float conversion --------------------------------------------------------------------------

SONVERA_BENCH(Convert_24s32f, 3, 4, 0, ippiConvert_24s32f_C1R(s, ss, As<Ipp32f>(d), ds, Column(n)));
SONVERA_BENCH(Convert_32s32f, 4, 4, 0,
              ippiConvert_32s32f_C1R(As<Ipp32s>(s), ss, As<Ipp32f>(d), ds, Column(n)));
SONVERA_BENCH(Convert_16s32f_Sfs, 2, 4, 0,
              ippiConvert_16s32f_C1RSfs(As<Ipp16s>(s), ss, As<Ipp32f>(d), ds, Column(n), -15));
SONVERA_BENCH(Convert_24s32f_Sfs, 3, 4, 0,
              ippiConvert_24s32f_C1RSfs(s, ss, As<Ipp32f>(d), ds, Column(n), -23));
SONVERA_BENCH(Convert_8s32f_Sfs, 1, 4, 0,
              ippiConvert_8s32f_C1RSfs(As<Ipp8s>(s), ss, As<Ipp32f>(d), ds, Column(n), -7));
SONVERA_BENCH(Convert_32s32f_Sfs, 4, 4, 0,
              ippiConvert_32s32f_C1RSfs(As<Ipp32s>(s), ss, As<Ipp32f>(d), ds, Column(n), -31));
SONVERA_BENCH(Convert_32f24s, 4, 3, 8e6f,
              ippiConvert_32f24s_C1R(As<Ipp32f>(s), ss, d, ds, Column(n), ippRndNear));
SONVERA_BENCH(Convert_32f32s_Sfs, 4, 4, 1.0f,
              ippiConvert_32f32s_C1RSfs(As<Ipp32f>(s), ss, As<Ipp32s>(d), ds, Column(n), ippRndNear,
                                        -31));

// ---- Multiplication by a real factor -----------------------------------------------------------

SONVERA_BENCH(MultiplyByReal8uI, 1, 1, 0, MultiplyByReal8uI(0.5, d, ds, Column(n)));
SONVERA_BENCH(MultiplyByReal16sI, 2, 2, 0, MultiplyByReal16sI(0.5, As<Ipp16s>(d), ds, Column(n)));
SONVERA_BENCH(MultiplyByReal24sI, 3, 3, 0, MultiplyByReal24sI(0.5, d, ds, Column(n)));
SONVERA_BENCH(MultiplyByReal32sI, 4, 4, 0, MultiplyByReal32sI(0.5, As<Ipp32s>(d), ds, Column(n)));
SONVERA_BENCH(MultiplyByReal24s, 3, 3, 0, MultiplyByReal24s(0.5, s, d, ss, Column(n)));

} // namespace
