#!/usr/bin/env bash
# Times the effects chain highpass -> compressor -> limiter on a generated 10-minute 44.1 kHz
# 16-bit stereo WAV (written as 32-bit float WAV) with `sonvera run`, beside `ffmpeg -af
# highpass,acompressor,alimiter` and `sox ... highpass compand` doing the closest job (sox has no
# limiter: compand with a hard ceiling stands in for compressor and limiter). Prints the best
# wall-clock time and the least processor time (user + system) of RUNS runs each, and their
# ratios to ffmpeg's (below 1: faster than ffmpeg), and stops when a tool fails or writes a file
# shorter than the source (sox's compand reports some failures only on its error output). Not
# run by CI.
# usage: scripts/bench-effects.sh [MINUTES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
runs=${2:-3}
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONVERA_BUILD_TESTS=OFF >/dev/null
nice cmake --build build-bench --target sonvera
sonvera=$PWD/build-bench/tools/sonvera
if ! "$sonvera" run --help >/dev/null 2>&1; then
    echo "this sonvera has no 'run' command" >&2
    exit 1
fi
work=$PWD/build-bench/effects-bench
mkdir -p "$work"
cd "$work"
echo "generating a ${minutes}-minute 44.1 kHz 16-bit stereo file"
sox -n -r 44100 -b 16 -c 2 src.wav synth "$((minutes * 60))" sine 440 pinknoise gain -6

# The tool's best times; the file it writes ($1) must last as long as the source.
best() {
    local out=$1 wall=1e9 cpu=1e9
    shift
    for _ in $(seq "$runs"); do
        if ! /usr/bin/time -f "%e %U %S" -o time.txt "$@" >/dev/null 2>run.err; then
            echo "failed: $*" >&2
            cat run.err >&2
            exit 1
        fi
        if [ "$(soxi -s "$out" 2>/dev/null)" != "$(soxi -s src.wav)" ]; then
            echo "$out: $(soxi -s "$out") frames where the source has $(soxi -s src.wav): $*" >&2
            cat run.err >&2
            exit 1
        fi
        read -r w u s <time.txt
        wall=$(awk -v a="$wall" -v b="$w" 'BEGIN { print (b < a) ? b : a }')
        cpu=$(awk -v a="$cpu" -v b="$u" -v c="$s" 'BEGIN { t = b + c; print (t < a) ? t : a }')
    done
    echo "$wall $cpu"
}

read -r fw fc < <(best ffmpeg.wav ffmpeg -hide_banner -loglevel error -nostdin -y -i src.wav \
    -af highpass=f=100,acompressor,alimiter=limit=0.891 -c:a pcm_f32le ffmpeg.wav)
read -r sw sc < <(best sonvera.wav "$sonvera" run "file-source filename=src.wav ! highpass frequency=100 ! \
compressor ! limiter ceiling=-1 ! file-writer filename=sonvera.wav")
# compand's look-ahead is 4 ms: at 5 ms (220.5 frames) sox stops the stereo stream after a few
# frames ("multi-channel effect flowed asymmetrically").
read -r xw xc < <(best sox.wav sox src.wav -e floating-point sox.wav highpass 100 \
    compand 0.02,0.25 6:-18,-18,-9 0 -90 0.004)
echo "lscpu: $(lscpu | sed -n 's/^Model name: *//p')"
printf '%-9s %9s %9s %7s %7s\n' tool wall cpu "wall/ff" "cpu/ff"
for row in "sonvera $sw $sc" "ffmpeg $fw $fc" "sox $xw $xc"; do
    read -r name w c <<<"$row"
    awk -v n="$name" -v w="$w" -v c="$c" -v fw="$fw" -v fc="$fc" \
        'BEGIN { printf "%-9s %9.2f %9.2f %7.2f %7.2f\n", n, w, c, w / fw, c / fc }'
done
