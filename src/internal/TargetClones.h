// Run-time instruction-set selection for hot loops: the compiler emits one copy of the
// function per listed level and the loader picks the best one the processor supports, so the
// installed library never depends on the build machine's processor.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SONVERA_TARGET_CLONES \
    __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default")))
#else
#define SONVERA_TARGET_CLONES
#endif
