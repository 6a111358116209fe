#!/usr/bin/env bash
# The sonvera tool at the edges a deployment meets: outputs that are not plain files, every
# signal that ends it (also while a read waits on a stalled FIFO), inputs that name other
# files, and FFmpeg's reason reaching the error line.
# Usage: EdgeTest.sh SONVERA SOX WORK_DIR
set -uo pipefail
SONVERA=$1 SOX=$2 WORK=$3
rm -rf "$WORK" && mkdir -p "$WORK" && cd "$WORK" || exit 1
fail() { echo "FAIL: $*" >&2; exit 1; }
# A hung tool is killed, which fails the case that waits for it.
tool() { timeout -k 1 20 "$SONVERA" "$@"; }
samples() { "$SOX" -t wav "$1" -t raw -b 32 -e signed - 2>/dev/null | md5sum; }
no_leftovers() { ! ls -a | grep -q '\.part-' || fail "$1: a temporary file was left: $(ls -a)"; }

"$SOX" -n -r 44100 -b 16 -c 2 in.wav synth 0.5 sine 440 sine 660 gain -3
expected=$(samples in.wav)

# --- Output kinds: what is at the output path stays what it was, and gets the whole file. ---
echo old > private.wav && chmod 600 private.wav
mkdir -p dir && ln -s dir/target.wav link.wav
mkfifo pipe.wav
[ "$(id -u)" = 0 ] && mknod null-device c 1 3
for case in private.wav:file link.wav:link pipe.wav:fifo null-device:device -:stdout; do
    IFS=: read -r out kind <<<"$case"
    [ "$kind" = device ] && [ ! -e null-device ] && { echo "skipped: mknod needs root"; continue; }
    before=$(stat -c '%a %F' "$out" 2>/dev/null)
    case $kind in
    fifo) cat pipe.wav >received.wav & reader=$!
          tool convert in.wav pipe.wav --format wav --quiet || fail "$case"
          wait $reader; got=$(samples received.wav) ;;
    stdout) tool convert in.wav - --format wav --quiet >received.wav || fail "$case"
          got=$(samples received.wav) ;;
    device) tool convert in.wav null-device --format wav --quiet || fail "$case"
          got=$expected ;;
    link) tool convert in.wav link.wav --quiet || fail "$case"; got=$(samples dir/target.wav) ;;
    *)    tool convert in.wav "$out" --quiet || fail "$case"; got=$(samples "$out") ;;
    esac
    [ "$got" = "$expected" ] || fail "$case: the samples read back differ"
    after=$(stat -c '%a %F' "$out" 2>/dev/null)
    [ "$before" = "$after" ] || fail "$case: was '$before', is '$after'"
done
no_leftovers "output kinds"

# --- Signals: each ends a running conversion (its input a FIFO whose writer stalled after
# some audio, or before any byte) with 128 + its number and no file. ---
# Longer than FFmpeg probes a pipe for (5 s), so that the conversion starts before the stall.
"$SOX" -n -r 44100 -b 16 -c 2 long.wav synth 8 sine 440
mkfifo stalled.wav
for case in INT:2:some TERM:15:some HUP:1:some QUIT:3:some PIPE:13:some INT:2:none; do
    IFS=: read -r name number fed <<<"$case"
    if [ "$fed" = some ]; then (head -c 1300000 long.wav; exec sleep 30) >stalled.wav 2>/dev/null &
    else sleep 30 >stalled.wav 2>/dev/null &
    fi
    writer=$!
    "$SONVERA" convert stalled.wav out.wav --format wav --quiet 2>err.txt & pid=$!
    # Wait until the conversion is under way: its temporary file exists, or the FIFO is open.
    for _ in $(seq 200); do
        if [ "$fed" = some ]; then ls -a | grep -q '\.out\.part-' && break
        else ls -l /proc/$pid/fd 2>/dev/null | grep -q stalled.wav && break
        fi
        sleep 0.05
    done
    kill -"$name" $pid
    timeout 20 tail -s 0.05 --pid=$pid -f /dev/null || { kill -KILL $pid; fail "SIG$name: hangs"; }
    wait $pid; rc=$?
    kill $writer 2>/dev/null; wait $writer 2>/dev/null
    [ $rc = $((128 + number)) ] || fail "SIG$name ($fed): exit $rc: $(cat err.txt)"
    [ ! -e out.wav ] || fail "SIG$name: out.wav was written"
    no_leftovers "SIG$name"
done

# --- Inputs that name other files: refused by default, read when allowed. ---
mkdir -p secret && tool convert in.wav secret/private.mp3 --quiet || fail "making the mp3"
printf '#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:0.5,\nsecret/private.mp3\n#EXT-X-ENDLIST\n' >list.m3u8
for case in "list.m3u8;hls demuxer opens further files;hls" \
            "concat:in.wav|in.wav;concat protocol is not allowed;concat"; do
    IFS=';' read -r input why allow <<<"$case"
    tool convert "$input" leak.wav 2>err.txt && fail "$input was read"
    grep -qxF "sonvera: $input: the $why named inside the input (allow '$allow' to read it)" err.txt ||
        grep -qF "$input: reading through the $why (allow '$allow' to read it)" err.txt ||
        fail "$input: $(cat err.txt)"
    [ ! -e leak.wav ] || fail "$input: leak.wav was written"
    # FFmpeg's playlist demuxer loses a copy of its options; the leak checker needs whole stacks
    # to match that to its suppression (tests/lsan.supp) under the sanitizers.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
        tool convert "$input" allowed.wav --allow "$allow" --quiet || fail "$input with --allow"
done
# Loudness normalisation measures the input first: as allowed too.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0" \
    tool convert list.m3u8 allowed.wav --allow hls --normalize -23 --quiet ||
    fail "list.m3u8 with --allow and --normalize"

# --- FFmpeg's own reason reaches the error line (from the encoder, from the muxer), and no file
# is left. ---
for case in "x.flac;compression_level=99;flac: invalid compression level: 99 (Invalid argument)" \
            "x.aac;profile=9;adts: MPEG-4 AOT 10 is not allowed in ADTS"; do
    IFS=';' read -r out option why <<<"$case"
    tool convert in.wav "$out" --option "$option" 2>err.txt && fail "$case was written"
    grep -qF "$why" err.txt || fail "$case: $(cat err.txt)"
    [ ! -e "$out" ] || fail "$case: a refused file was left"
done
no_leftovers "refusals"
echo "all edge cases passed"
