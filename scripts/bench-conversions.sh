#!/usr/bin/env bash
# The sample conversions beside libswresample and memcpy: runs conversion_bench (five
# repetitions) and prints, per conversion, the median CPU time of the library, of swr_convert
# and of a memcpy of the bytes written, and the ratio library / libswresample (above 1 is
# slower). Not run by CI.
# usage: scripts/bench-conversions.sh [BUILD_DIR] [extra benchmark flags]
# With a BUILD_DIR, its conversion_bench is run as it is; without one, build-release is built.
set -euo pipefail
cd "$(dirname "$0")/.."
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
nice "$build/bench/conversion_bench" --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_out="$json" \
    --benchmark_out_format=json "$@" >/dev/null
python3 - "$json" <<'PY'
import json, sys
rows = {}
order = []
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("aggregate_name") != "median":
        continue
    kind, name = b["run_name"].split("/", 1)
    if name not in rows:
        order.append(name)
    side = "swr" if kind == "SwrConvert" else "memcpy" if kind == "Memcpy" else "library"
    rows.setdefault(name, {})[side] = b["cpu_time"] / 1000.0  # microseconds
    if side == "library":
        rows[name]["path"] = kind
print(f"{'conversion':24} {'library path':24} {'library us':>10} {'swr us':>8} {'memcpy us':>9} {'ratio':>6}")
for name in order:
    r = rows[name]
    print(f"{name:24} {r['path']:24} {r['library']:10.1f} {r['swr']:8.1f} {r['memcpy']:9.1f} "
          f"{r['library'] / r['swr']:6.2f}")
PY
