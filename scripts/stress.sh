#!/usr/bin/env bash
# Two stress runs of SECONDS seconds each (default 60): eight threads sharing, copying, writing
# and releasing audio buffers; and a generator streaming while seven threads connect and
# disconnect sinks. Both run under AddressSanitizer with its leak check (g++, the build folder
# of the sanitizer tests) and under ThreadSanitizer (clang, that of the threaded tests). Not run
# by CI.
# usage: scripts/stress.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
programs=(sonvera_buffer_stress sonvera_pin_stress)

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONVERA_WERROR=ON \
    -DSONVERA_SANITIZE=ON >/dev/null
cmake --build build-sanitize --target "${programs[@]}" --parallel "$(nproc)"
for program in "${programs[@]}"; do
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
        "build-sanitize/tests/stress/$program" "$seconds"
done

CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSONVERA_WERROR=ON -DSONVERA_THREAD_SANITIZER=ON >/dev/null
cmake --build build-tsan --target "${programs[@]}" --parallel "$(nproc)"
for program in "${programs[@]}"; do
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "build-tsan/tests/stress/$program" \
        "$seconds"
done
