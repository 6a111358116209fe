#!/usr/bin/env bash
# The sample conversions beside FFmpeg, GStreamer and memcpy: runs conversion_bench (nine
# repetitions) and prints, per conversion, the median CPU time of the library, of FFmpeg's way
# (swr_convert, or for packed 24-bit input its PCM decoder and then swr_convert), of GStreamer's
# audio converter where the case has one, and of a memcpy of the bytes written, with the ratios
# library / FFmpeg and library / GStreamer (above 1 is slower). For the per-channel strided
# calls, "floor" is the memory work of their call pattern alone, with no conversion. Not run by CI.
# usage: scripts/bench-conversions.sh [BUILD_DIR] [extra benchmark flags]
# With a BUILD_DIR, its conversion_bench is run as it is; without one, build-release is built.
set -euo pipefail
cd "$(dirname "$0")/.."
# GStreamer's audio library, for its converter's cases.
pkg-config --exists gstreamer-audio-1.0 ||
    apt-get install -y -qq --no-install-recommends libgstreamer-plugins-base1.0-dev >/dev/null
if [[ $# -gt 0 ]]; then
    build=$1
    shift
else
    build=build-release
    scripts/build.sh "$build" -DCMAKE_BUILD_TYPE=Release -DSONVERA_BUILD_BENCHMARKS=ON \
        -DSONVERA_BUILD_TESTS=OFF >/dev/null
fi
json=$(mktemp)
trap 'rm -f "$json"' EXIT
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
# Repetitions interleaved at random, so that a slow spell of the machine does not fall on one
# side of a comparison only.
nice "$build/bench/conversion_bench" --benchmark_repetitions=9 \
    --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_out="$json" \
    --benchmark_out_format=json "$@" >/dev/null
python3 - "$json" <<'PY'
import json, sys
sides = {"SwrConvert": "ffmpeg", "PcmDecodeThenSwr": "ffmpeg", "GstConverter": "gst",
         "Memcpy": "memcpy", "StridedPassesFloor": "floor"}
rows = {}
order = []
rank = {}
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    kind, name = b["run_name"].split("/", 1)
    if name not in rows:
        order.append(name)
    # Rows in the order the cases are registered, whatever order they ran in.
    rank[name] = min(rank.get(name, b["family_index"]), b["family_index"])
    side = sides.get(kind, "library")
    rows.setdefault(name, {})[side] = b["cpu_time"] / 1000.0  # microseconds
    if side == "library":
        rows[name]["path"] = kind
# A case run in pieces ("fltp_s32_strided/1024": frames per call) is set beside its whole
# job's other sides.
for name in order:
    base = name.split("/")[0]
    for side, value in rows.get(base, {}).items():
        if side not in ("library", "path"):
            rows[name].setdefault(side, value)
order = [n for n in order if "library" in rows[n]]
def cell(r, side):
    return f"{r[side]:8.1f}" if side in r else f"{'-':>8}"
def ratio(r, side):
    return f"{r['library'] / r[side]:6.2f}" if side in r else f"{'-':>6}"
print(f"{'conversion':24} {'library path':22} {'library':>8} {'ffmpeg':>8} {'gst':>8} "
      f"{'memcpy':>8} {'floor':>8} {'/ffmpeg':>7} {'/gst':>6}   (median CPU us)")
for name in sorted(order, key=lambda n: rank[n]):
    r = rows[name]
    print(f"{name:24} {r['path']:22} {cell(r, 'library')} {cell(r, 'ffmpeg')} {cell(r, 'gst')} "
          f"{cell(r, 'memcpy')} {cell(r, 'floor')} {ratio(r, 'ffmpeg'):>7} {ratio(r, 'gst')}")
PY
