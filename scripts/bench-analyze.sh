#!/usr/bin/env bash
# Processor time of `sonvera analyze` (with and without its picture) beside ffmpeg's loudness
# meter and sox's stats on a generated stereo 44.1 kHz file of MINUTES minutes (10), RUNS runs
# (3) each. Not run by CI. Usage: scripts/bench-analyze.sh [MINUTES] [RUNS] (from the source
# root, with the tool built in build/).
set -euo pipefail
minutes=${1:-10}
runs=${2:-3}
tool=${SONVERA:-build/tools/sonvera}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -D -n -r 44100 -b 16 -c 2 "$work/in.wav" synth "$((minutes * 60))" pinknoise vol 0.3
lscpu | grep 'Model name'
cpu() { /usr/bin/time -f '%U %S' "$@" 2>&1 >/dev/null | tail -1 | awk '{printf "%.2f", $1 + $2}'; }
printf '%-36s' "sonvera analyze"
for _ in $(seq "$runs"); do printf ' %6s' "$(cpu "$tool" analyze "$work/in.wav")"; done; echo
printf '%-36s' "sonvera analyze --png"
for _ in $(seq "$runs"); do printf ' %6s' "$(cpu "$tool" analyze "$work/in.wav" --png "$work/a.png")"; done; echo
printf '%-36s' "ffmpeg -af ebur128=peak=true"
for _ in $(seq "$runs"); do
    printf ' %6s' "$(cpu ffmpeg -nostats -v error -i "$work/in.wav" -af ebur128=peak=true -f null -)"
done; echo
printf '%-36s' "sox stats"
for _ in $(seq "$runs"); do printf ' %6s' "$(cpu sox "$work/in.wav" -n stats)"; done; echo
echo "(processor seconds, user + system, per run)"
