#!/usr/bin/env bash
# Installs what is missing, then builds with warnings as errors and runs every test twice:
# once plainly and once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
jobs=$(nproc)

scripts/build.sh build-ci -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVERA_WERROR=ON \
    -DSONVERA_BUILD_BENCHMARKS=ON
ctest --test-dir build-ci --output-on-failure -j "$jobs"

scripts/build.sh build-sanitize -DCMAKE_BUILD_TYPE=Debug -DSONVERA_WERROR=ON \
    -DSONVERA_SANITIZE=ON
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-sanitize --output-on-failure -j "$jobs"
