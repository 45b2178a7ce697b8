#!/usr/bin/env bash
# Regenerates the README's pictures (docs/screenshots/*.png): runs the journey test, which
# keeps the windows it passes through, and stores them scaled down with a small palette.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/install-deps.sh"
build=${TAVO_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja ${TAVO_CMAKE_ARGS:-}
cmake --build "$build" --target journey_tests
rm -rf "$build/screenshots/readme"
(cd "$build" && xvfb-run -a -s "-screen 0 1600x900x24" \
  ctest -R 'JourneyTest.AStudentsDayFromSignInToSignOut' --output-on-failure --timeout 600)
mkdir -p "$top/docs/screenshots"
for shot in login course-view player download-manager document-viewer; do
  convert "$build/screenshots/readme/$shot.png" -resize '960x960>' -strip -colors 256 \
    "PNG8:$top/docs/screenshots/$shot.png"
  echo "docs/screenshots/$shot.png: $(stat -c %s "$top/docs/screenshots/$shot.png") bytes"
done
