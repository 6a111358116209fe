// The dispatch table's hot families on 1 MiB buffers, beside a memcpy of the same bytes:
// contiguous (the whole buffer, one long row) and one channel of interleaved stereo (width 1,
// a row per frame, step = frame size; its memcpy reference copies the whole interleaved
// buffer, the bytes the region spans).
#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <vector>

#include "sonvera/primitives/SVBasicDispatcher.h"

using namespace sonvera;

namespace {

constexpr int32_t KBytes = 1 << 20;

[[maybe_unused]] const bool GStarted = [] {
    InitializeSVBasicDispatcher();
    return true;
}();

void BM_SVMemcpy(benchmark::State& AState) {
    std::vector<uint8_t> source(KBytes, 3);
    std::vector<uint8_t> target(KBytes);
    for (auto _ : AState) {
        std::memcpy(target.data(), source.data(), KBytes);
        benchmark::ClobberMemory();
    }
    AState.SetBytesProcessed(AState.iterations() * KBytes);
}
BENCHMARK(BM_SVMemcpy);

// A buffer of 1 MiB holding T samples, and a second one as a source.
template <class T> struct TBuffers {
    std::vector<T> Source = std::vector<T>(KBytes / sizeof(T), T(3));
    std::vector<T> Target = std::vector<T>(KBytes / sizeof(T), T(5));
};

// The region of a whole buffer as one row, or of one channel of stereo frames.
template <class T> struct TLayout {
    IppiSize Size;
    int32_t Step;
    int64_t Samples;
};

template <class T> TLayout<T> Contiguous() {
    const int32_t count = KBytes / static_cast<int32_t>(sizeof(T));
    return {{count, 1}, KBytes, count};
}

template <class T> TLayout<T> OneStereoChannel() {
    const int32_t frames = KBytes / static_cast<int32_t>(2 * sizeof(T));
    return {{1, frames}, static_cast<int32_t>(2 * sizeof(T)), frames};
}

template <class T, class TFn>
void Run(benchmark::State& AState, const TLayout<T>& ALayout, TFn AFn) {
    TBuffers<T> buffers;
    for (auto _ : AState) {
        benchmark::DoNotOptimize(AFn(buffers.Source.data(), buffers.Target.data(), ALayout));
        benchmark::ClobberMemory();
    }
    AState.SetItemsProcessed(AState.iterations() * ALayout.Samples);
}

template <class T> using TLayoutFactory = TLayout<T> (*)();

// Set: every sample of the region = a constant.
void BM_SVSet16s(benchmark::State& AState, TLayoutFactory<Ipp16s> ALayout) {
    Run<Ipp16s>(AState, ALayout(), [](const Ipp16s*, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
        return ippiSet_16s_C1R(-1234, ADst, A.Step, A.Size);
    });
}
void BM_SVSet8u(benchmark::State& AState, TLayoutFactory<Ipp8u> ALayout) {
    Run<Ipp8u>(AState, ALayout(), [](const Ipp8u*, Ipp8u* ADst, const TLayout<Ipp8u>& A) {
        return ippiSet_8u_C1R(200, ADst, A.Step, A.Size);
    });
}
void BM_SVSignalSet16s(benchmark::State& AState) {
    Run<Ipp16s>(AState, Contiguous<Ipp16s>(),
                [](const Ipp16s*, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
                    return ippsSet_16s(-1234, ADst, A.Size.cx);
                });
}

void BM_SVCopy16s(benchmark::State& AState, TLayoutFactory<Ipp16s> ALayout) {
    Run<Ipp16s>(AState, ALayout(), [](const Ipp16s* ASrc, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
        return ippiCopy_16s_C1R(ASrc, A.Step, ADst, A.Step, A.Size);
    });
}
void BM_SVCopy8u(benchmark::State& AState, TLayoutFactory<Ipp8u> ALayout) {
    Run<Ipp8u>(AState, ALayout(), [](const Ipp8u* ASrc, Ipp8u* ADst, const TLayout<Ipp8u>& A) {
        return ippiCopy_8u_C1R(ASrc, A.Step, ADst, A.Step, A.Size);
    });
}

// By a constant, in place, scale factor 0 unless named.
void BM_SVAddC16s(benchmark::State& AState, TLayoutFactory<Ipp16s> ALayout) {
    Run<Ipp16s>(AState, ALayout(), [](const Ipp16s*, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
        return ippiAddC_16s_C1IRSfs(1000, ADst, A.Step, A.Size, 0);
    });
}
void BM_SVAddC16sScaled(benchmark::State& AState, TLayoutFactory<Ipp16s> ALayout) {
    Run<Ipp16s>(AState, ALayout(), [](const Ipp16s*, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
        return ippiAddC_16s_C1IRSfs(1000, ADst, A.Step, A.Size, 1);
    });
}
void BM_SVSubC16s(benchmark::State& AState, TLayoutFactory<Ipp16s> ALayout) {
    Run<Ipp16s>(AState, ALayout(), [](const Ipp16s*, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
        return ippiSubC_16s_C1IRSfs(1000, ADst, A.Step, A.Size, 0);
    });
}
void BM_SVMulC16s(benchmark::State& AState, TLayoutFactory<Ipp16s> ALayout) {
    Run<Ipp16s>(AState, ALayout(), [](const Ipp16s*, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
        return ippiMulC_16s_C1IRSfs(3, ADst, A.Step, A.Size, 1);
    });
}
void BM_SVSignalAddC16s(benchmark::State& AState) {
    Run<Ipp16s>(AState, Contiguous<Ipp16s>(),
                [](const Ipp16s*, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
                    return ippsAddC_16s_ISfs(1000, ADst, A.Size.cx, 0);
                });
}
void BM_SVAddC8u(benchmark::State& AState, TLayoutFactory<Ipp8u> ALayout) {
    Run<Ipp8u>(AState, ALayout(), [](const Ipp8u*, Ipp8u* ADst, const TLayout<Ipp8u>& A) {
        return ippiAddC_8u_C1IRSfs(7, ADst, A.Step, A.Size, 0);
    });
}
void BM_SVSubC8u(benchmark::State& AState, TLayoutFactory<Ipp8u> ALayout) {
    Run<Ipp8u>(AState, ALayout(), [](const Ipp8u*, Ipp8u* ADst, const TLayout<Ipp8u>& A) {
        return ippiSubC_8u_C1IRSfs(7, ADst, A.Step, A.Size, 0);
    });
}
void BM_SVMulC8u(benchmark::State& AState, TLayoutFactory<Ipp8u> ALayout) {
    Run<Ipp8u>(AState, ALayout(), [](const Ipp8u*, Ipp8u* ADst, const TLayout<Ipp8u>& A) {
        return ippiMulC_8u_C1IRSfs(3, ADst, A.Step, A.Size, 1);
    });
}

// Element-wise, in place.
void BM_SVAdd16s(benchmark::State& AState, TLayoutFactory<Ipp16s> ALayout) {
    Run<Ipp16s>(AState, ALayout(), [](const Ipp16s* ASrc, Ipp16s* ADst, const TLayout<Ipp16s>& A) {
        return ippiAdd_16s_C1IRSfs(ASrc, A.Step, ADst, A.Step, A.Size, 0);
    });
}
void BM_SVAdd8u(benchmark::State& AState, TLayoutFactory<Ipp8u> ALayout) {
    Run<Ipp8u>(AState, ALayout(), [](const Ipp8u* ASrc, Ipp8u* ADst, const TLayout<Ipp8u>& A) {
        return ippiAdd_8u_C1IRSfs(ASrc, A.Step, ADst, A.Step, A.Size, 0);
    });
}

} // namespace

BENCHMARK(BM_SVSignalSet16s);
BENCHMARK_CAPTURE(BM_SVSet16s, contiguous, Contiguous<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVSet16s, stereo_channel, OneStereoChannel<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVSet8u, contiguous, Contiguous<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVSet8u, stereo_channel, OneStereoChannel<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVCopy16s, contiguous, Contiguous<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVCopy16s, stereo_channel, OneStereoChannel<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVCopy8u, contiguous, Contiguous<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVCopy8u, stereo_channel, OneStereoChannel<Ipp8u>);
BENCHMARK(BM_SVSignalAddC16s);
BENCHMARK_CAPTURE(BM_SVAddC16s, contiguous, Contiguous<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVAddC16s, stereo_channel, OneStereoChannel<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVAddC16sScaled, contiguous, Contiguous<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVAddC16sScaled, stereo_channel, OneStereoChannel<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVSubC16s, contiguous, Contiguous<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVSubC16s, stereo_channel, OneStereoChannel<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVMulC16s, contiguous, Contiguous<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVMulC16s, stereo_channel, OneStereoChannel<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVAddC8u, contiguous, Contiguous<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVAddC8u, stereo_channel, OneStereoChannel<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVSubC8u, contiguous, Contiguous<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVSubC8u, stereo_channel, OneStereoChannel<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVMulC8u, contiguous, Contiguous<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVMulC8u, stereo_channel, OneStereoChannel<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVAdd16s, contiguous, Contiguous<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVAdd16s, stereo_channel, OneStereoChannel<Ipp16s>);
BENCHMARK_CAPTURE(BM_SVAdd8u, contiguous, Contiguous<Ipp8u>);
BENCHMARK_CAPTURE(BM_SVAdd8u, stereo_channel, OneStereoChannel<Ipp8u>);
