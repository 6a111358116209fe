#!/usr/bin/env bash
# The sound-server output measured against a private PulseAudio server with a null sink:
#  1. the latency the server granted and measured beside the one asked (10, 20, 50 ms), from
#     `sonvera play` of a 5-second tone;
#  2. processor time (user + system, least of RUNS runs) of `sonvera play` of a one-minute file
#     beside `paplay` and a GStreamer pipeline (filesrc ! decodebin ! audioconvert ! pulsesink)
#     on the same sink, for a WAV and a FLAC;
#  3. underruns over a play of LOAD_MINUTES while both cores are kept busy.
# Not run by CI. SONVERA names a tool already built (else a Release build is made).
# usage: scripts/bench-devices.sh [RUNS] [LOAD_MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-3}
load_minutes=${2:-10}
sonvera=${SONVERA:-}
if [ -z "$sonvera" ]; then
    cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONVERA_BUILD_TESTS=OFF >/dev/null
    nice cmake --build build-bench --target sonvera
    sonvera=$PWD/build-bench/tools/sonvera
fi
work=$(mktemp -d /tmp/sonvera-bench-devices-XXXXXX)
server=
busy=()
cleanup() {
    for pid in "${busy[@]}"; do kill "$pid" 2>/dev/null || true; done
    [ -z "$server" ] || { kill "$server"; wait "$server" || true; }
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
XDG_RUNTIME_DIR=$work HOME=$work pulseaudio --daemonize=no -n --exit-idle-time=-1 --system=no \
    --use-pid-file=no --load="module-native-protocol-unix auth-anonymous=1 socket=$work/native" \
    --load="module-null-sink sink_name=bench" >server.log 2>&1 &
server=$!
export PULSE_SERVER=unix:$work/native
for _ in $(seq 100); do "$sonvera" devices >/dev/null 2>&1 && break; sleep 0.1; done
lscpu | grep "Model name"

sox -n -r 48000 -b 16 -c 2 tone.wav synth 5 sine 1000 gain -6
sox -n -r 44100 -b 16 -c 2 minute.wav synth 60 sine 440 pinknoise gain -6
sox minute.wav minute.flac
# Keeps the null sink running at a short period, so that the first play does not wait for the
# long period it idles with.
paplay --raw --latency-msec=10 /dev/zero &
busy+=($!)

echo
echo "latency (ms): asked, granted, measured"
for latency in 10 20 50; do
    "$sonvera" play tone.wav --latency "$latency" |
        sed -E 's/.*asked ([0-9]+) ms, granted ([0-9.]+) ms, measured ([0-9.]+) ms.*/\1 \2 \3/'
done

# The least processor time (user + system) of $runs runs of a command, in seconds.
cpu() {
    local least=1e9
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%U %S" -o time.txt "$@" >/dev/null 2>&1
        read -r u s <time.txt
        least=$(awk -v a="$least" -v b="$u" -v c="$s" 'BEGIN { t = b + c; print (t < a) ? t : a }')
    done
    echo "$least"
}
echo
echo "processor time (s) of a one-minute play, least of $runs"
printf "%-6s %10s %10s %10s\n" file sonvera paplay gstreamer
for file in minute.wav minute.flac; do
    printf "%-6s %10s %10s %10s\n" "${file#minute.}" "$(cpu "$sonvera" play "$file" --quiet)" \
        "$(cpu paplay "$file")" \
        "$(cpu gst-launch-1.0 -q filesrc location="$file" ! decodebin ! audioconvert ! pulsesink)"
done

echo
echo "underruns over $load_minutes minutes with both cores busy"
for _ in 1 2; do
    sh -c 'while :; do :; done' &
    busy+=($!)
done
sox -n -r 44100 -b 16 -c 2 long.wav synth "$((load_minutes * 60))" sine 440 gain -6
"$sonvera" play long.wav
