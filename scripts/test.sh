#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="${KML_TEST_BUILD_DIR:-$top/build}"

"$top/scripts/install-deps.sh" test
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build"

# Chromium refuses its sandbox to root; window tests run offscreen unless told otherwise.
export QTWEBENGINE_DISABLE_SANDBOX=1
cd "$build"
ctest --output-on-failure --timeout 300 "$@"
