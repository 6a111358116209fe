#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build folder build-fuzz, or $SONVERA_FUZZ_DIR) and
# runs each of them for SECONDS seconds (default 60), one per core at a time, starting from its
# seed corpus. Prints the executions of every target and fails when any target reports a finding;
# the input that caused it is kept in the build folder's findings/.
# usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${SONVERA_FUZZ_DIR:-build-fuzz}

# Line tables are enough for a finding's stack.
CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVERA_FUZZ=ON \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DSONVERA_WERROR=ON \
    -DSONVERA_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --target sonvera_fuzz --parallel "$(nproc)"

mkdir -p "$dir/findings" "$dir/logs"

# Runs one target and leaves "executions result" in its .result file.
fuzz_one() {
    local name=$1 program=$2 seeds=$3 dictionary=$4
    # New inputs go to a working corpus in the build folder; the seeds in the repository stay
    # as they are.
    mkdir -p "$dir/corpus/$name"
    local options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=30
                   -artifact_prefix="$dir/findings/$name-")
    [ "$dictionary" = "-" ] || options+=(-dict="$dictionary")
    local log="$dir/logs/$name.log" result=ok
    nice "$program" "${options[@]}" "$dir/corpus/$name" "$seeds" >"$log" 2>&1 || result=FINDING
    local executions
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "${executions:-?} $result" >"$dir/logs/$name.result"
}

cores=$(nproc)
while read -r name program seeds dictionary; do
    while [ "$(jobs -rp | wc -l)" -ge "$cores" ]; do
        wait -n || true
    done
    fuzz_one "$name" "$program" "$seeds" "$dictionary" &
done <"$dir/fuzz-targets.txt"
wait

failed=()
printf '%-32s %14s %8s  %s\n' target executions seconds result
while read -r name _; do
    read -r executions result <"$dir/logs/$name.result"
    printf '%-32s %14s %8s  %s\n' "$name" "$executions" "$seconds" "$result"
    if [ "$result" != ok ]; then
        failed+=("$name")
        grep -E "ERROR|broken promise|SUMMARY|Test unit written" "$dir/logs/$name.log" | head -n 20 || true
    fi
done <"$dir/fuzz-targets.txt"

if [ ${#failed[@]} -gt 0 ]; then
    echo "findings in: ${failed[*]} (logs in $dir/logs, inputs in $dir/findings)"
    exit 1
fi
