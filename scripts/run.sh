#!/usr/bin/env bash
# Installs what is missing, builds Tavo and starts it against the embedded demo school.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/install-deps.sh"
build=${TAVO_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja
# Only the program and what it runs with; scripts/test.sh builds the tests and benchmarks.
cmake --build "$build" --target tavo-program
exec "$build/bin/tavo" --demo "$@"
