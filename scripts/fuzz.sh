#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build folder build-fuzz, or $SONVERA_FUZZ_DIR) and
# runs each of them for SECONDS seconds (default 60), one after another, starting from its seed
# corpus. Prints the executions of every target and fails when any target reports a finding;
# the input that caused it is kept in the build folder's findings/.
# usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=${SONVERA_FUZZ_DIR:-build-fuzz}

CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVERA_FUZZ=ON \
    -DSONVERA_WERROR=ON -DSONVERA_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --target sonvera_fuzz --parallel "$(nproc)"

mkdir -p "$dir/findings" "$dir/logs"
failed=()
printf '%-32s %14s %8s  %s\n' target executions seconds result
while read -r name program seeds dictionary; do
    # New inputs go to a working corpus in the build folder; the seeds in the repository stay
    # as they are.
    mkdir -p "$dir/corpus/$name"
    options=(-max_total_time="$seconds" -print_final_stats=1 -timeout=30
             -artifact_prefix="$dir/findings/$name-")
    [ "$dictionary" = "-" ] || options+=(-dict="$dictionary")
    log="$dir/logs/$name.log"
    result=ok
    nice "$program" "${options[@]}" "$dir/corpus/$name" "$seeds" >"$log" 2>&1 || result=FINDING
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    printf '%-32s %14s %8s  %s\n' "$name" "${executions:-?}" "$seconds" "$result"
    if [ "$result" != ok ]; then
        failed+=("$name")
        grep -E "ERROR|broken promise|SUMMARY|Test unit written" "$log" | head -n 20 || true
    fi
done <"$dir/fuzz-targets.txt"

if [ ${#failed[@]} -gt 0 ]; then
    echo "findings in: ${failed[*]} (logs in $dir/logs, inputs in $dir/findings)"
    exit 1
fi
