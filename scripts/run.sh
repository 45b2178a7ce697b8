#!/usr/bin/env bash
# Installs what is missing, builds Tavo and starts it against the embedded demo school.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/install-deps.sh"
build=${TAVO_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja
cmake --build "$build"
exec "$build/bin/tavo" --demo "$@"
