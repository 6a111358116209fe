#!/usr/bin/env bash
# Whole-process time of `sonvera run` on a 1-second 44.1 kHz 16-bit stereo WAV -> WAV job beside
# gst-launch-1.0 and ffmpeg doing the same (hyperfine), and the start-up alone of each (a run
# that only prints its version or help). Not run by CI.
# usage: scripts/bench-run.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-30}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONVERA_BUILD_TESTS=OFF >/dev/null
nice cmake --build build-bench --target sonvera
sonvera=$PWD/build-bench/tools/sonvera
work=$PWD/build-bench/run-bench
mkdir -p "$work" && cd "$work"
sox -n -r 44100 -b 16 -c 2 in.wav synth 1 sine 440 gain -6

echo "lscpu: $(lscpu | grep 'Model name' | sed 's/ *Model name: *//')"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
hyperfine -N --warmup 3 --runs "$runs" --export-markdown run.md \
    -n "sonvera run" "$sonvera run --quiet 'file-source filename=in.wav ! file-writer filename=s.wav'" \
    -n "gst-launch-1.0" "gst-launch-1.0 -q filesrc location=in.wav ! wavparse ! audioconvert ! wavenc ! filesink location=g.wav" \
    -n "ffmpeg" "ffmpeg -hide_banner -loglevel error -nostdin -y -i in.wav f.wav" \
    -n "sonvera start-up" "$sonvera help" \
    -n "gst-launch-1.0 start-up" "gst-launch-1.0 --version" \
    -n "ffmpeg start-up" "ffmpeg -hide_banner -version"
cat run.md
