#!/bin/bash
# sonvera run and inspect as a user runs them: a gain chain measured by sox, a saved chain that
# writes the same bytes, the listings, and every way a run can end early (a misspelt property,
# SIGINT, a full disk) leaving one error line, a non-zero exit and no file.
# usage: RunToolTest.sh SONVERA SOX WORK_DIR
set -u
sonvera=$1 sox=$2 work=$3
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }

"$sox" -n -r 44100 -c 2 -b 24 in.flac synth 1.5 sine 440 gain -3 || fail "sox could not make the input"
text="file-source filename=in.flac ! gain gain=0.5 ! file-writer filename=out.wav"
"$sonvera" run "$text" --quiet || fail "run"
# Half the amplitude is 6.02 dB less, at the input's rate, channels and length.
level() { "$sox" "$1" -n stats 2>&1 | awk '/^RMS lev dB/ {print $4}'; }
awk -v a="$(level in.flac)" -v b="$(level out.wav)" \
    'BEGIN { d = a - b; exit !(d > 6.01 && d < 6.03) }' || fail "gain: $(level in.flac) -> $(level out.wav) dB"
for flag in -r -c -s; do
    [ "$(soxi $flag in.flac)" = "$(soxi $flag out.wav)" ] || fail "soxi $flag differs"
done

"$sonvera" run --save chain.json "${text/out.wav/saved.wav}" || fail "save"
[ ! -e saved.wav ] || fail "--save ran the chain"
"$sonvera" run chain.json --quiet || fail "run chain.json"
cmp -s out.wav saved.wav || fail "a saved chain writes other bytes"

"$sonvera" inspect | grep -q '^  gain ' || fail "inspect does not list gain"
"$sonvera" inspect gain | grep -Eq '^  Gain +double +default 1 ' || fail "inspect gain"
# A stated range is listed, and it is the one the setter refuses by.
"$sonvera" inspect compressor | grep -Eq '^  Ratio +double +default 2 +1 to 100$' ||
    fail "inspect compressor shows no range"

# Refusals: one line naming the cause, non-zero, nothing written.
check_refusal() { # EXPECTED-TEXT COMMAND...
    local expected=$1; shift
    "$@" > out.txt 2> err.txt && fail "accepted: $*"
    [ "$(wc -l < err.txt)" = 1 ] && grep -qF "$expected" err.txt || fail "$*: $(cat err.txt)"
    [ -z "$(ls -A | grep -v -e '^in.flac$' -e '^out.wav$' -e '^saved.wav$' -e '^chain.json$' \
        -e '^out.txt$' -e '^err.txt$')" ] || fail "$* left $(ls -A)"
}
check_refusal "unknown property 'gian' of gain" \
    "$sonvera" run "file-source filename=in.flac ! gain gian=0.5 ! file-writer filename=bad.wav"
check_refusal "compressor Ratio=200: Ratio out of range = 200 (1 to 100)" \
    "$sonvera" run "file-source filename=in.flac ! compressor ratio=200 ! file-writer filename=bad.wav"
check_refusal "resample's output (audio) cannot feed file-source2's input (clock)" \
    "$sonvera" run "file-source filename=in.flac ! resample ! file-source"
# A pin beyond the last names the property that adds pins, on either side.
check_refusal "m has no input 2 (it has 2: 0 to 1; set inputs=3 for more)" \
    "$sonvera" run "tone name=t ! mix name=m ! file-writer filename=bad.wav  t. ! m.2"
check_refusal "s has no output 2 (it has 2: 0 to 1; set countchannels=3 for more)" \
    "$sonvera" run "tone ! audio-to-real name=s  s.2 ! gain"
# A failing run still tells, with --verbose, the formats it saw before the failure.
check_refusal "file-writer: codec 'libopus' cannot be stored in 'wav'" "$sonvera" run --verbose \
    "file-source filename=in.flac ! gain ! file-writer filename=bad.wav compression.name=libopus"
grep -qx "gain.0 -> file-writer.0: $(soxi -r in.flac) Hz, $(soxi -c in.flac) channel(s), $(soxi -b \
    in.flac)-bit integer" out.txt || fail "run --verbose before a failure: $(cat out.txt)"
# A file-size limit stands for a full disk (the tool ignores SIGXFSZ).
check_refusal "file-writer: " bash -c "ulimit -f 64; exec '$sonvera' run --quiet \
    'tone duration=60 ! file-writer filename=big.wav'"

# SIGINT during a long run: exit 130 at once, no output, no temporary file.
"$sonvera" run --quiet "tone ! file-writer filename=long.wav" & pid=$!
for _ in $(seq 200); do ls -A | grep -q '^\.long\.part' && break; sleep 0.05; done
kill -INT $pid; wait $pid; status=$?
[ $status = 130 ] || fail "SIGINT gave exit $status"
[ -z "$(ls -A | grep long)" ] || fail "SIGINT left $(ls -A | grep long)"
echo "run tool test passed"
