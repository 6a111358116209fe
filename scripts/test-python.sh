#!/usr/bin/env bash
# Runs the Python module's tests (python/tests) with pytest under Debian's interpreter, against
# the module built in BUILD_DIR (configured with -DSONVERA_PYTHON=ON; built here if needed), and
# the sonvera tool beside it, whose chains the Python chains are held against.
# usage: scripts/test-python.sh [BUILD_DIR]    (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
cmake --build "$dir" --target sonvera_python sonvera
status=0
SONVERA_TOOL="$PWD/$dir/tools/sonvera" PYTHONPATH="$PWD/$dir/python" /usr/bin/python3 -m pytest -q -p no:cacheprovider python/tests ||
    status=$?
# pytest exits 5 when it collected no test: the suite is there, so that is a failure too.
if [ "$status" -eq 5 ]; then
    echo "pytest collected no test from python/tests" >&2
fi
exit "$status"
