#!/usr/bin/env bash
# sonvera devices, play and record against a private sound server with a null sink: the sink
# and its monitor are listed, a 1 kHz tone played on the sink is recorded from its monitor at
# its frequency and level, a recording ended by SIGINT is a complete file, and one ended by
# --duration holds exactly that many frames; audio-in in chain text records 48 kHz stereo.
set -euo pipefail
sonvera=$1 pulseaudio=$2 sox=$3 soxi=$4
dir=$(mktemp -d /tmp/sonvera-tool-pulse-XXXXXX)
server=
cleanup() {
    [ -z "$server" ] || { kill "$server"; wait "$server" || true; }
    rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

XDG_RUNTIME_DIR=$dir HOME=$dir "$pulseaudio" --daemonize=no -n --exit-idle-time=10 --system=no \
    --use-pid-file=no --load="module-native-protocol-unix auth-anonymous=1 socket=$dir/native" \
    --load="module-null-sink sink_name=sonvera_test" >"$dir/server.log" 2>&1 &
server=$!
export PULSE_SERVER=unix:$dir/native
for _ in $(seq 100); do "$sonvera" devices >"$dir/devices.txt" 2>/dev/null && break; sleep 0.1; done

grep -Eq '^\* sonvera_test +' "$dir/devices.txt" || fail "no default null sink: $(cat "$dir/devices.txt")"
grep -Eq '^\* sonvera_test\.monitor +' "$dir/devices.txt" || fail "no monitor: $(cat "$dir/devices.txt")"

"$sox" -n -r 48000 -c 2 -b 16 "$dir/tone.wav" synth 2 sine 1000 gain -6
"$sonvera" record "$dir/rec.wav" --device sonvera_test.monitor --quiet &
recorder=$!
"$sonvera" play "$dir/tone.wav" --device sonvera_test --quiet
kill -INT "$recorder"
wait "$recorder" || fail "record ended by SIGINT exited $?"
"$soxi" "$dir/rec.wav" >"$dir/soxi.txt" 2>&1 || fail "unreadable recording: $(cat "$dir/soxi.txt")"
! grep -qi "warn" "$dir/soxi.txt" || fail "incomplete recording: $(cat "$dir/soxi.txt")"

# The tone alone (silence trimmed at both ends) against the file played.
"$sox" "$dir/rec.wav" "$dir/tone-rec.wav" silence 1 0.01 1% reverse silence 1 0.01 1% reverse
level() { "$sox" "$1" -n stats 2>&1 | awk '/^RMS lev dB/ {print $4}'; }
frequency() { "$sox" "$1" -n remix 1 stat 2>&1 | awk '/^Rough +frequency/ {print $3}'; }
awk -v a="$(level "$dir/tone.wav")" -v b="$(level "$dir/tone-rec.wav")" \
    'BEGIN { d = a - b; exit !(d < 0.5 && d > -0.5) }' || fail "level $(level "$dir/tone-rec.wav") dB"
awk -v f="$(frequency "$dir/tone-rec.wav")" 'BEGIN { exit !(f > 980 && f < 1020) }' ||
    fail "frequency $(frequency "$dir/tone-rec.wav") Hz"

"$sonvera" record "$dir/short.flac" --device sonvera_test.monitor --duration 0.5 --rate 44100 \
    --channels 1 --bits 24 --quiet
[ "$("$soxi" -s "$dir/short.flac")" = 22050 ] || fail "--duration 0.5 gave $("$soxi" -s "$dir/short.flac") frames"
[ "$("$soxi" -b "$dir/short.flac")" = 24 ] || fail "not 24-bit"
# Chain text with no format given records what the server runs at: 48 kHz stereo.
"$sonvera" run --quiet "audio-in device=sonvera_test.monitor duration=0.1 ! file-writer filename=$dir/chain.wav"
[ "$("$soxi" -r "$dir/chain.wav")" = 48000 ] && [ "$("$soxi" -c "$dir/chain.wav")" = 2 ] ||
    fail "audio-in recorded $("$soxi" -r "$dir/chain.wav") Hz, $("$soxi" -c "$dir/chain.wav") channels"
echo "ok"
