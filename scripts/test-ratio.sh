#!/usr/bin/env bash
# Prints how much test code there is against the code it tests, per area and overall.
# A line counts unless it is blank, a // comment or a "# " CMake comment; the files counted
# are C++ sources and headers, Python files, *.cmake and CMakeLists.txt. Tests are all of
# tests/ and python/tests/; the code is src/, include/, tools/, examples/ and the rest of
# python/. It only reports: the build never fails on it.
set -euo pipefail
cd "$(dirname "$0")/.."

count_lines() {
    local dirs=()
    for d in "$@"; do [ -e "$d" ] && dirs+=("$d"); done
    [ ${#dirs[@]} -gt 0 ] || { echo 0; return; }
    find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.py' -o -name '*.cmake' \
        -o -name CMakeLists.txt \) -print0 |
        xargs -0 -r cat | grep -Evc '^[[:space:]]*($|//|# )' || true
}

ratio() { awk -v t="$1" -v c="$2" 'BEGIN { if (c > 0) printf "%.2f", t / c; else print "-" }'; }

areas=()
for d in tests/*/; do
    d=${d#tests/}; d=${d%/}
    if [ "$d" = platform ]; then
        for p in tests/platform/*/; do p=${p#tests/}; areas+=("${p%/}"); done
    else
        areas+=("$d")
    fi
done

printf '%-20s %7s %7s %6s\n' area tests code ratio
for a in "${areas[@]}"; do
    t=$(count_lines "tests/$a")
    if [ "$a" = tools ]; then c=$(count_lines tools); else c=$(count_lines "src/$a" "include/sonvera/$a"); fi
    printf '%-20s %7d %7d %6s\n' "$a" "$t" "$c" "$(ratio "$t" "$c")"
done
python_code=(python/src python/sonvera python/CMakeLists.txt python/setup.py)
t=$(count_lines python/tests)
c=$(count_lines "${python_code[@]}")
printf '%-20s %7d %7d %6s\n' python "$t" "$c" "$(ratio "$t" "$c")"
t=$(count_lines tests python/tests)
c=$(count_lines src include tools examples "${python_code[@]}")
printf '%-20s %7d %7d %6s\n' overall "$t" "$c" "$(ratio "$t" "$c")"
