// The instruction-set levels of the hot loops. Each loop the compiler vectorises is compiled
// once per level, and each hand-written kernel exists once per level that has one; the level
// is chosen once, from what the processor reports, by ordinary code the first time a loop asks
// for it. No choice is left to the loader (indirect functions run before sanitizers and
// profilers are ready), and tests can force every level the processor allows.
//
// Levels differ in speed only: the loops are compiled with floating-point contraction off (see
// the hot areas' build flags), so every level writes the bytes the portable code writes.
#pragma once

#include <atomic>
#include <cstdint>

namespace sonvera {

enum TKernelLevel : uint8_t {
    klPortable,   // the compiler's baseline instruction set
    klAvx2,       // AVX2 with BMI1/BMI2 and FMA
    klAvx512,     // AVX-512 F, BW, DQ, VL and CD: masked loads and stores of any element
    klAvx512Vbmi, // the above with byte permutes across a whole register
};

constexpr int KKernelLevelCount = 4;

inline const char* KernelLevelName(TKernelLevel ALevel) {
    constexpr const char* KNames[KKernelLevelCount] = {"portable", "avx2", "avx512", "avx512vbmi"};
    return KNames[ALevel];
}

#if defined(__x86_64__) && defined(__GNUC__)
#define SONVERA_X86_KERNELS 1
// The instruction sets of each level, as function attributes; the processor test below checks
// exactly these features.
#define SONVERA_TARGET_AVX2 __attribute__((target("avx2,bmi,bmi2,fma")))
#define SONVERA_TARGET_AVX512                                                                      \
    __attribute__((target("avx2,bmi,bmi2,fma,avx512f,avx512bw,avx512dq,avx512vl,avx512cd")))
#define SONVERA_TARGET_AVX512VBMI                                                                  \
    __attribute__((target("avx2,bmi,bmi2,fma,avx512f,avx512bw,avx512dq,avx512vl,avx512cd,"         \
                          "avx512vbmi")))
#endif

// The highest level this processor (and its operating system, which must save the wider
// registers) supports.
inline TKernelLevel ProcessorKernelLevel() {
#ifdef SONVERA_X86_KERNELS
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                      __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma");
    const bool avx512 = avx2 && __builtin_cpu_supports("avx512f") &&
                        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512dq") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512cd");
    if (avx512)
        return __builtin_cpu_supports("avx512vbmi") ? klAvx512Vbmi : klAvx512;
    return avx2 ? klAvx2 : klPortable;
#else
    return klPortable;
#endif
}

// The level the loops run at: the processor's own, examined once (thread-safe), unless a test
// has forced a lower one.
inline std::atomic<TKernelLevel>& KernelLevelSlot() {
    static std::atomic<TKernelLevel> level{ProcessorKernelLevel()};
    return level;
}

inline TKernelLevel ActiveKernelLevel() {
    return KernelLevelSlot().load(std::memory_order_relaxed);
}

inline bool KernelLevelSupported(TKernelLevel ALevel) {
    static const TKernelLevel highest = ProcessorKernelLevel();
    return ALevel <= highest;
}

// Makes the loops run at ALevel, which the processor must support, and returns the level they
// ran at before. For tests, on one thread, while no primitive runs elsewhere.
inline TKernelLevel ForceKernelLevel(TKernelLevel ALevel) {
    return KernelLevelSlot().exchange(KernelLevelSupported(ALevel) ? ALevel : klPortable);
}

// ABody.operator()<L>() compiled for the instruction set of level L, everything it calls
// inlined into it (flatten), so that its loops are vectorised for that level. The level is a
// template argument as well, so that a body can pick a path only a level has. The body is
// taken by value and should capture by value: what it then reads is local to the compiled
// function, which its stores through byte pointers cannot alias, so the loops need not reload
// it on every element.
template <TKernelLevel ALevel, class TBody> [[gnu::flatten]] inline auto RunPortable(TBody ABody) {
    return ABody.template operator()<ALevel>();
}

#ifdef SONVERA_X86_KERNELS
template <TKernelLevel ALevel, class TBody>
[[gnu::flatten]] SONVERA_TARGET_AVX2 inline auto RunAvx2(TBody ABody) {
    return ABody.template operator()<ALevel>();
}

template <TKernelLevel ALevel, class TBody>
[[gnu::flatten]] SONVERA_TARGET_AVX512 inline auto RunAvx512(TBody ABody) {
    return ABody.template operator()<ALevel>();
}
#endif

// Runs ABody, a generic lambda of the form [=]<TKernelLevel L>() { ... }, at the active level
// and returns what it returns. The byte-permute level runs the AVX-512 code: the compiler makes
// no use of byte permutes in these loops, and the hand-written kernels that do are chosen by
// the active level themselves.
template <class TBody> auto RunAtKernelLevel(TBody ABody) {
#ifdef SONVERA_X86_KERNELS
    switch (ActiveKernelLevel()) {
    case klAvx512Vbmi:
    case klAvx512:
        return RunAvx512<klAvx512>(ABody);
    case klAvx2:
        return RunAvx2<klAvx2>(ABody);
    case klPortable:
        break;
    }
#endif
    return RunPortable<klPortable>(ABody);
}

} // namespace sonvera
