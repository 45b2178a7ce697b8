#!/usr/bin/env bash
# Builds the program and its Debian package: build/tavo_<version>_<arch>.deb.
# Install it with: sudo apt install ./build/tavo_*.deb
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/install-deps.sh"
build=${TAVO_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja
cmake --build "$build" --target tavo-program tavo_desktop_files
cd "$build"
cpack -G DEB
