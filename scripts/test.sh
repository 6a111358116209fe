#!/usr/bin/env bash
# Installs what is missing, then builds with warnings as errors and runs the tests:
#  - every test, plainly (g++, RelWithDebInfo, with the benchmarks built);
#  - every test under AddressSanitizer and UndefinedBehaviorSanitizer (g++, Debug);
#  - the executables marked THREADS (CTest label "threads") under ThreadSanitizer (clang);
#  - every fuzz target for a few seconds from its seed corpus (clang, scripts/fuzz.sh);
#  - the Python module's tests (pytest under Debian's /usr/bin/python3).
# It starts by printing the size of the tests against the code (scripts/test-ratio.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/test-ratio.sh || echo "test-ratio.sh could not count the lines"
scripts/setup.sh
jobs=$(nproc)
# One compile per core: the machines this runs on share their cores.
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$jobs}

# Line tables are all a sanitizer's or a crash's stack needs; full debug information would
# cost a tenth of every build's time.
lines=(-DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_DEBUG="-g1")

scripts/build.sh build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVERA_WERROR=ON "${lines[@]}" \
    -DSONVERA_BUILD_BENCHMARKS=ON -DSONVERA_PYTHON=ON
ctest --test-dir build-ci --output-on-failure -j "$jobs"
scripts/test-python.sh build-ci

scripts/build.sh build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSONVERA_WERROR=ON "${lines[@]}" \
    -DSONVERA_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp" \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

# ThreadSanitizer and the fuzz targets are built with clang, so that every run compiles the
# library with both compilers.
CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${lines[@]}" \
    -DSONVERA_WERROR=ON -DSONVERA_THREAD_SANITIZER=ON >/dev/null
cmake --build build-tsan --target sonvera_threaded_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$PWD/tests/tsan.supp" \
    ctest --test-dir build-tsan -L threads --output-on-failure -j "$jobs"

scripts/fuzz.sh 5
