#!/usr/bin/env bash
# Eight threads sharing, copying, writing and releasing audio buffers for SECONDS seconds
# (default 60): once under AddressSanitizer with its leak check (g++, the build folder of the
# sanitizer tests) and once under ThreadSanitizer (clang, that of the threaded tests). Not run
# by CI.
# usage: scripts/stress.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DSONVERA_WERROR=ON \
    -DSONVERA_SANITIZE=ON >/dev/null
cmake --build build-sanitize --target sonvera_buffer_stress --parallel "$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build-sanitize/tests/stress/sonvera_buffer_stress "$seconds"

CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSONVERA_WERROR=ON -DSONVERA_THREAD_SANITIZER=ON >/dev/null
cmake --build build-tsan --target sonvera_buffer_stress --parallel "$(nproc)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
    build-tsan/tests/stress/sonvera_buffer_stress "$seconds"
