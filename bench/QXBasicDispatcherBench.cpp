// The signal primitive table's hot paths on 1 MiB, each beside a memcpy of the same bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "sonvera/platform/signal/QXBasicDispatcher.h"

namespace sonvera {
namespace {

constexpr int32_t kBytes = 1 << 20;

template <class T> constexpr int32_t Count() {
    return kBytes / static_cast<int32_t>(sizeof(T));
}

template <class T> void Report(benchmark::State& AState) {
    AState.SetItemsProcessed(AState.iterations() * Count<T>());
    AState.SetBytesProcessed(AState.iterations() * int64_t{kBytes});
}

std::vector<Ipp32s> Ramp32s() {
    std::vector<Ipp32s> data(Count<Ipp32s>());
    std::iota(data.begin(), data.end(), -Count<Ipp32s>() / 2);
    return data;
}

void BM_Memcpy(benchmark::State& AState) {
    std::vector<Ipp8u> src(kBytes, 1), dst(kBytes);
    for (auto _ : AState) {
        std::memcpy(dst.data(), src.data(), kBytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    Report<Ipp8u>(AState);
}
BENCHMARK(BM_Memcpy);

void BM_ippsCopy_8u(benchmark::State& AState) {
    InitializeQXBasicDispatcher();
    std::vector<Ipp8u> src(kBytes, 1), dst(kBytes);
    for (auto _ : AState) {
        ippsCopy_8u(src.data(), dst.data(), kBytes);
        benchmark::ClobberMemory();
    }
    Report<Ipp8u>(AState);
}
BENCHMARK(BM_ippsCopy_8u);

void BM_ippsZero_8u(benchmark::State& AState) {
    InitializeQXBasicDispatcher();
    std::vector<Ipp8u> dst(kBytes, 1);
    for (auto _ : AState) {
        ippsZero_8u(dst.data(), kBytes);
        benchmark::ClobberMemory();
    }
    Report<Ipp8u>(AState);
}
BENCHMARK(BM_ippsZero_8u);

void BM_ippsSet_32s(benchmark::State& AState) {
    InitializeQXBasicDispatcher();
    std::vector<Ipp32s> dst(Count<Ipp32s>());
    for (auto _ : AState) {
        ippsSet_32s(-123456, dst.data(), Count<Ipp32s>());
        benchmark::ClobberMemory();
    }
    Report<Ipp32s>(AState);
}
BENCHMARK(BM_ippsSet_32s);

// Argument: the scale factor.
void BM_ippsAddC_32s_Sfs(benchmark::State& AState) {
    InitializeQXBasicDispatcher();
    const std::vector<Ipp32s> src = Ramp32s();
    std::vector<Ipp32s> dst(src.size());
    const auto sf = static_cast<int32_t>(AState.range(0));
    for (auto _ : AState) {
        ippsAddC_32s_Sfs(src.data(), 1000, dst.data(), Count<Ipp32s>(), sf);
        benchmark::ClobberMemory();
    }
    Report<Ipp32s>(AState);
}
BENCHMARK(BM_ippsAddC_32s_Sfs)->Arg(0)->Arg(1)->Arg(-1);

void BM_ippsMulC_32s_Sfs(benchmark::State& AState) {
    InitializeQXBasicDispatcher();
    const std::vector<Ipp32s> src = Ramp32s();
    std::vector<Ipp32s> dst(src.size());
    const auto sf = static_cast<int32_t>(AState.range(0));
    for (auto _ : AState) {
        ippsMulC_32s_Sfs(src.data(), 3000, dst.data(), Count<Ipp32s>(), sf);
        benchmark::ClobberMemory();
    }
    Report<Ipp32s>(AState);
}
BENCHMARK(BM_ippsMulC_32s_Sfs)->Arg(0)->Arg(8)->Arg(-1);

// Argument: the round mode.
void BM_ippsConvert_32f32s_Sfs(benchmark::State& AState) {
    InitializeQXBasicDispatcher();
    std::vector<Ipp32f> src(Count<Ipp32f>());
    for (size_t i = 0; i < src.size(); ++i)
        src[i] = static_cast<Ipp32f>(i) * 0.75f - 1000.0f;
    std::vector<Ipp32s> dst(src.size());
    const auto mode = static_cast<IppRoundMode>(AState.range(0));
    for (auto _ : AState) {
        ippsConvert_32f32s_Sfs(src.data(), dst.data(), Count<Ipp32f>(), mode, -4);
        benchmark::ClobberMemory();
    }
    Report<Ipp32f>(AState);
}
BENCHMARK(BM_ippsConvert_32f32s_Sfs)->Arg(ippRndZero)->Arg(ippRndNear)->Arg(ippRndFinancial);

} // namespace
} // namespace sonvera
