#!/usr/bin/env bash
# Installs what is missing, builds the library and its tool, and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
build/tools/sonvera info
build/tools/sonvera demo
