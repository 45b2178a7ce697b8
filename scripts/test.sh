#!/usr/bin/env bash
# Installs what is missing, builds Tavo with its tests and runs them all (under Xvfb).
# Usage: scripts/test.sh [ctest arguments...]   e.g. scripts/test.sh -R Log
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/install-deps.sh"
build=${TAVO_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja ${TAVO_CMAKE_ARGS:-}
cmake --build "$build"
cd "$build"
xvfb-run -a -s "-screen 0 1600x900x24" ctest --output-on-failure --timeout 600 -j2 "$@"
