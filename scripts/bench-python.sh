#!/usr/bin/env bash
# Times reading a generated 10-minute stereo FLAC into a float32 array and writing it back as
# 16-bit FLAC, through sonvera (the module in BUILD_DIR/python), soundfile (libsndfile) and
# ffmpeg run as a subprocess piping raw float samples; median of RUNS, in one interleaved run,
# as wall-clock time and as processor time (this process and its children).
# usage: scripts/bench-python.sh [BUILD_DIR] [RUNS] [MINUTES]     (defaults: build 5 10)
# Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
runs=${2:-5}
minutes=${3:-10}
cmake --build "$dir" --target sonvera_python >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ffmpeg -v error -f lavfi -i "sine=frequency=440:duration=$((minutes * 60))" \
    -f lavfi -i "anoisesrc=duration=$((minutes * 60)):amplitude=0.1" \
    -filter_complex "[0][1]amerge=inputs=2" -ar 44100 -sample_fmt s16 "$work/in.flac"
lscpu | grep 'Model name' | sed 's/  */ /g'
PYTHONPATH="$PWD/$dir/python" /usr/bin/python3 - "$work" "$runs" <<'PY'
import random, resource, statistics, subprocess, sys, time
import numpy as np, soundfile, sonvera

work, runs = sys.argv[1], int(sys.argv[2])
source, target = f"{work}/in.flac", f"{work}/out.flac"

def clocks():
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return time.perf_counter(), time.process_time() + children.ru_utime + children.ru_stime

def with_sonvera():
    a, rate = sonvera.read(source)
    middle = clocks()
    sonvera.write(target, a, rate)
    return a, middle

def with_soundfile():
    a, rate = soundfile.read(source, dtype="float32", always_2d=True)
    middle = clocks()
    soundfile.write(target, a, rate)
    return a, middle

def with_ffmpeg():
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", source, "-f", "f32le", "-"],
                         check=True, capture_output=True).stdout
    a = np.frombuffer(raw, np.float32).reshape(-1, 2)
    middle = clocks()
    subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "f32le", "-ar", "44100", "-ac", "2",
                    "-i", "-", "-sample_fmt", "s16", target], input=a.tobytes(), check=True)
    return a, middle

jobs = {"sonvera": with_sonvera, "soundfile": with_soundfile, "ffmpeg (subprocess)": with_ffmpeg}
times = {name: [[], [], [], []] for name in jobs}  # wall read, write; processor read, write
arrays = {}
for _ in range(runs):
    order = list(jobs)
    random.shuffle(order)
    for name in order:
        start = clocks()
        arrays[name], middle = jobs[name]()
        end = clocks()
        for i in range(2):
            times[name][2 * i].append(middle[i] - start[i])
            times[name][2 * i + 1].append(end[i] - middle[i])
first = next(iter(arrays.values()))
same = all(np.array_equal(a, first) for a in arrays.values())
print(f"{len(first)} frames x {first.shape[1]}, arrays identical: {same}; median of {runs} runs")
print(f"{'':20} {'wall: read':>10} {'write':>7} {'total':>7}   {'cpu: read':>9} {'write':>7} {'total':>7}")
for name, columns in times.items():
    w_r, w_w, c_r, c_w = (statistics.median(c) for c in columns)
    print(f"{name:20} {w_r:10.3f} {w_w:7.3f} {w_r + w_w:7.3f}   {c_r:9.3f} {c_w:7.3f} {c_r + c_w:7.3f}")
PY
