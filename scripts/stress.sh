#!/usr/bin/env bash
# Two stress runs of SECONDS seconds each (default 60): eight threads sharing, copying, writing
# and releasing audio buffers; and a generator streaming while seven threads connect and
# disconnect sinks. Both run under AddressSanitizer with its leak check (g++, the build folder
# of the sanitizer tests) and under ThreadSanitizer (clang, that of the threaded tests). Then a
# soak: an hour of generated audio run free through gain, resample and format filters into a
# writer with FFmpeg's null muxer (`sonvera run`, Release build), its resident memory sampled
# every two seconds; after the first quarter (warm-up) it must not grow by more than 1 MiB.
# Not run by CI.
# usage: scripts/stress.sh [SECONDS] [SOAK-SECONDS-OF-AUDIO]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
soak_audio=${2:-3600}
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
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions="$PWD/tests/tsan.supp" \
        "build-tsan/tests/stress/$program" "$seconds"
done

scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DSONVERA_BUILD_TESTS=OFF >/dev/null
build-release/tools/sonvera run --quiet "tone duration=$soak_audio frequency=997 \
    ! gain gain=-6dB ! resample samplerate=48kHz ! format bits=16 channelmask=5.1 \
    ! file-writer filename=/dev/null fileformat.name=null" &
pid=$!
samples=()
while kill -0 "$pid" 2>/dev/null; do
    rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
    [ -n "$rss" ] && samples+=("$rss") && echo "soak: ${#samples[@]} x 2 s: VmRSS $rss KiB"
    sleep 2
done
wait "$pid"
count=${#samples[@]}
(( count >= 4 )) || { echo "soak: too short to judge ($count samples)"; exit 1; }
warm=${samples[$((count / 4))]}
peak=$warm
for rss in "${samples[@]:$((count / 4))}"; do (( rss > peak )) && peak=$rss; done
echo "soak: $soak_audio s of audio, RSS after warm-up $warm KiB, highest after it $peak KiB"
(( peak - warm <= 1024 )) || { echo "soak: resident memory grew by $((peak - warm)) KiB"; exit 1; }
