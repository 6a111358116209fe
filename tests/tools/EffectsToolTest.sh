#!/bin/bash
# Effects through sonvera run as a user runs them, each output measured by sox: one row per
# chain, its output file and what sox (or the verbose run) must say about it. A writer whose
# encoder cannot take the stream as it comes converts it (float into FLAC, 44.1 kHz into Opus).
# usage: EffectsToolTest.sh SONVERA SOX WORK_DIR
set -u
sonvera=$1 sox=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }

"$sox" -n -r 44100 s50.wav synth 2 sine 50 vol 0.5 && "$sox" -n -r 44100 s5k.wav synth 2 sine 5000 vol 0.5 &&
    "$sox" -n -r 44100 -b 24 s1k.wav synth 1 sine 1000 gain -1 &&
    "$sox" -n -r 44100 -c 2 two.wav synth 2 sine 440 vol 0.3 &&
    "$sox" -n -r 44100 -c 2 three.wav synth 3 sine 660 vol 0.3 &&
    "$sox" -n -r 48000 -c 6 six.wav synth 1 sine 300 sine 400 sine 500 sine 60 sine 700 sine 800 ||
    fail "sox could not make the inputs"
"$sonvera" run --quiet "tone duration=2 ! file-writer filename=tone.mp3" || fail "making the mp3"

rms() { "$sox" "$1" -n stats 2>&1 | awk '/^RMS lev dB/ {print $4}'; }
peak() { "$sox" "$1" -n stat 2>&1 | awk '/^M..imum amplitude/ { v = $3 < 0 ? -$3 : $3; if (v > p) p = v } END { print p }'; }
loss() { awk -v a="$(rms "$1")" -v b="$(rms "$2")" "BEGIN { exit !(a - b $3) }" || fail "$1 -> $2: $(rms "$1") -> $(rms "$2") dB"; }
is() { [ "$1" = "$2" ] || fail "expected '$2', got '$1'"; }
# Every connection carries float and the encoder takes float.
floats() { ! grep -E ' -> |encodes' verbose.txt | grep -vqE '32-bit float$|from fltp? samples$' ||
    fail "not float end to end: $(cat verbose.txt)"; }

# name                chain                                                               check
while IFS='|' read -r name chain check; do
    "$sonvera" run --quiet --verbose "$chain" > verbose.txt || fail "$name: $chain"
    eval "$check" || fail "$name"
done <<'ROWS'
highpass at 50 Hz  |file-source filename=s50.wav ! highpass frequency=1000 ! file-writer filename=o.wav|loss s50.wav o.wav ">= 30"
highpass at 5 kHz  |file-source filename=s5k.wav ! highpass frequency=1000 ! file-writer filename=o.wav|loss s5k.wav o.wav "< 0.5"
limiter ceiling    |file-source filename=s1k.wav ! gain gain=4 ! limiter ceiling=-1 ! file-writer filename=o.wav|awk -v p="$(peak o.wav)" 'BEGIN { exit !(p <= 0.891251) }'
mix, longest       |file-source filename=two.wav ! mix name=m ! file-writer filename=o.wav  file-source filename=three.wav ! m.1|is "$(soxi -D o.wav 2>/dev/null)" 3.000000
mix, shortest      |file-source filename=two.wav ! mix name=m shortest=true ! file-writer filename=o.wav  file-source filename=three.wav ! m.1|is "$(soxi -D o.wav 2>/dev/null)" 2.000000
remix 5.1          |file-source filename=six.wav ! remix layout=stereo ! file-writer filename=o.wav|is "$(soxi -c o.wav 2>/dev/null)" 2
mp3, gain, mp3     |file-source filename=tone.mp3 ! gain gain=-6dB ! file-writer filename=o.mp3|floats
fade out, length up|tone duration=2 amplitude=1 ! fade out=1 ! file-writer filename=o.wav|awk -v a="$(peak o.wav)" -v b="$("$sox" o.wav -n trim 1.95 stat 2>&1 | awk '/^Max.*amp/ {print $3}')" 'BEGIN { exit !(a > 0.99 && b <= 0.051) }'
float into flac    |file-source filename=tone.mp3 ! gain gain=-6dB ! file-writer filename=o.flac|is "$(soxi -b o.flac 2>/dev/null) $(soxi -s o.flac 2>/dev/null)" "24 88200"
44.1 kHz into opus |file-source filename=s5k.wav ! lowpass frequency=8000 ! file-writer filename=o.opus|grep -q 'after converting to 48000 Hz' verbose.txt
float into null    |file-source filename=tone.mp3 ! gain gain=-6dB ! file-writer filename=/dev/null fileformat.name=null|grep -q 'pcm_s16le from s16' verbose.txt
ROWS
echo "effects tool test passed"
