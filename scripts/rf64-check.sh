#!/usr/bin/env bash
# Checks a WAV output just over 4 GiB: the tool must write RF64 (whose header states the size)
# and sox must read back every frame; an AIFF of the same size, whose header cannot state it,
# must fail and leave no file. The input is a sparse Wave64 file of silence, so it costs no
# disk; the outputs need about 9 GiB while the script runs. Takes minutes: not part of CI.
# Usage: scripts/rf64-check.sh [build dir]   (skips with a message when the disk lacks room)
set -euo pipefail
BUILD=${1:-build}
SONVERA=$(realpath "$BUILD/tools/sonvera")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/sonvera-rf64.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
free=$(df --output=avail -B1 . | tail -1)
if [ "$free" -lt $((10 * 1024 * 1024 * 1024)) ]; then
    echo "skipped: $(df -h --output=avail . | tail -1) free, 10 GiB needed"; exit 0
fi

# 96 kHz stereo 32-bit: 768000 bytes a second; 4 GiB + 4 MiB of it.
frames=$(( (4 * 1024 * 1024 * 1024 + 4 * 1024 * 1024) / 8 ))
sox -n -r 96000 -b 32 -c 2 -e signed small.w64 trim 0 1s
python3 - "$frames" <<'PY'
import struct, sys
frames = int(sys.argv[1])
data = open("small.w64", "rb").read()
at = data.index(b"data\xf3\xac\xd3\x11")           # the data chunk's identifier
header = bytearray(data[:at + 24])
size = len(header) + frames * 8
struct.pack_into("<Q", header, 16, size)           # the riff size: the whole file
struct.pack_into("<Q", header, at + 16, 24 + frames * 8)
with open("big.w64", "wb") as f:
    f.write(header)
    f.truncate(size)                                # sparse: silence costs no disk
PY
echo "input: $(stat -c %s big.w64) bytes, $frames frames"

start=$(date +%s)
"$SONVERA" convert big.w64 big.wav --quiet
echo "wav: $(stat -c %s big.wav) bytes in $(( $(date +%s) - start )) s"
[ "$(head -c 4 big.wav)" = RF64 ] || { echo "FAIL: big.wav is not RF64"; exit 1; }
read_back=$(soxi -s big.wav)
[ "$read_back" = "$frames" ] || { echo "FAIL: sox reads $read_back frames of $frames"; exit 1; }
rm big.wav

if "$SONVERA" convert big.w64 big.aiff --quiet 2>err.txt; then
    echo "FAIL: a 4 GiB AIFF was reported written"; exit 1
fi
cat err.txt
grep -q "header cannot state a size" err.txt || { echo "FAIL: $(cat err.txt)"; exit 1; }
! ls -a | grep -q 'big\.aiff\|\.part-' || { echo "FAIL: files left: $(ls -a)"; exit 1; }
echo "RF64 check passed"
