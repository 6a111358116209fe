#!/usr/bin/env bash
# Times `sonvera convert` beside the `ffmpeg` command doing the same six jobs on a generated
# 10-minute 44.1 kHz 16-bit stereo file (and a 48 kHz 24-bit FLAC for the narrowing job): the best wall-clock time of RUNS runs each, and the
# least processor time (user + system) of those runs, with the ratios sonvera / ffmpeg (below 1:
# sonvera is faster). On a shared machine the processor times are the steadier figures. Not run
# by CI.
# usage: scripts/bench-tool.sh [MINUTES] [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${1:-10}
runs=${2:-3}
scripts/setup.sh
missing=()
command -v ffmpeg >/dev/null || missing+=(ffmpeg)
[ -x /usr/bin/time ] || missing+=(time)
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DSONVERA_BUILD_TESTS=OFF >/dev/null
nice cmake --build build-bench --target sonvera
sonvera=$PWD/build-bench/tools/sonvera
work=$PWD/build-bench/tool-bench
mkdir -p "$work"
cd "$work"

echo "generating a ${minutes}-minute 44.1 kHz 16-bit stereo file"
sox -n -r 44100 -b 16 -c 2 src.wav synth "$((minutes * 60))" sine 440 pinknoise gain -6
ffmpeg -hide_banner -loglevel error -nostdin -y -i src.wav src.flac
sox -n -r 48000 -b 24 -c 2 src24.flac synth "$((minutes * 60))" sine 440 pinknoise gain -6

# The best wall-clock time and the least processor time of $runs runs of a command, in seconds.
best() {
    local wall=1e9 cpu=1e9
    for _ in $(seq "$runs"); do
        /usr/bin/time -f "%e %U %S" -o time.txt "$@" >/dev/null
        read -r w u s <time.txt
        wall=$(awk -v a="$wall" -v b="$w" 'BEGIN { print (b < a) ? b : a }')
        cpu=$(awk -v a="$cpu" -v b="$u" -v c="$s" 'BEGIN { t = b + c; print (t < a) ? t : a }')
    done
    echo "$wall $cpu"
}

ff=(ffmpeg -hide_banner -loglevel error -nostdin -y)
jobs=(
    "FLAC -> WAV|$sonvera convert src.flac s1.wav --quiet|${ff[*]} -i src.flac f1.wav"
    "WAV -> FLAC|$sonvera convert src.wav s2.flac --quiet|${ff[*]} -i src.wav f2.flac"
    "WAV 16-bit -> 24-bit 5.1|$sonvera convert src.wav s3.wav --bits 24 --layout 5.1 --quiet|${ff[*]} -i src.wav -af pan=5.1|c0=c0|c1=c1 -c:a pcm_s24le f3.wav"
    "WAV 44100 -> 48000|$sonvera convert src.wav s4.wav --rate 48000 --quiet|${ff[*]} -i src.wav -ar 48000 f4.wav"
    "FLAC 24-bit -> WAV 16-bit|$sonvera convert src24.flac s6.wav --bits 16 --quiet|${ff[*]} -i src24.flac -c:a pcm_s16le f6.wav"
    "WAV -> MP3 192k|$sonvera convert src.wav s5.mp3 --bitrate 192000 --quiet|${ff[*]} -i src.wav -b:a 192k f5.mp3"
)
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-26s %9s %9s %6s   %9s %9s %6s\n' job "sonvera" "ffmpeg" ratio "cpu sonv" "cpu ffm" ratio
for job in "${jobs[@]}"; do
    name=${job%%|*}
    rest=${job#*|}
    ours=${rest%%|*}
    theirs=${rest#*|}
    # The pan filter's own '|' separators: the ffmpeg command is split on spaces only.
    read -r -a ours_cmd <<<"$ours"
    read -r -a theirs_cmd <<<"$theirs"
    read -r wall_ours cpu_ours <<<"$(best "${ours_cmd[@]}")"
    read -r wall_theirs cpu_theirs <<<"$(best "${theirs_cmd[@]}")"
    printf '%-26s %9.2f %9.2f %6.2f   %9.2f %9.2f %6.2f\n' "$name" "$wall_ours" "$wall_theirs" \
        "$(awk -v a="$wall_ours" -v b="$wall_theirs" 'BEGIN { print a / b }')" \
        "$cpu_ours" "$cpu_theirs" \
        "$(awk -v a="$cpu_ours" -v b="$cpu_theirs" 'BEGIN { print (b > 0) ? a / b : 0 }')"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
