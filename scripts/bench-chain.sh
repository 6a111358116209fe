#!/usr/bin/env bash
# The per-buffer cost of a three-component chain (generator -> filter -> output, 1024-frame
# stereo 16-bit buffers) beside what a user would run instead: a GStreamer pipeline of the same
# shape (audiotestsrc -> identity -> fakesink, unsynchronised), and a memcpy of one buffer.
# Not run by CI. usage: scripts/bench-chain.sh [BUFFERS]
set -euo pipefail
cd "$(dirname "$0")/.."
buffers=${1:-200000}
command -v gst-launch-1.0 >/dev/null ||
    { apt-get install -y -qq gstreamer1.0-tools gstreamer1.0-plugins-base >/dev/null; }
scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release -DSONVERA_BUILD_BENCHMARKS=ON \
    -DSONVERA_BUILD_TESTS=OFF >/dev/null

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
build-release/bench/components_bench --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true 2>/dev/null | grep -E 'median'

# The pipeline's start-up is measured with one buffer and taken off.
gst_seconds() {
    local start end
    start=$(date +%s.%N)
    gst-launch-1.0 -q audiotestsrc wave=silence samplesperbuffer=1024 num-buffers="$1" \
        ! audio/x-raw,format=S16LE,channels=2,rate=44100 ! identity ! fakesink sync=false
    end=$(date +%s.%N)
    echo "$end - $start" | bc -l
}
base=$(gst_seconds 1)
full=$(gst_seconds "$buffers")
echo "GStreamer audiotestsrc ! identity ! fakesink: $(echo "($full - $base) * 1000000000 / $buffers" | bc -l | xargs printf '%.0f') ns per buffer ($buffers buffers)"
