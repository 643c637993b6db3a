#!/usr/bin/env bash
# Sets up what is missing, builds the program (without its tests) in
# build-run/, and starts it. The program serves its built-in list itself: no
# server, no port.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-run"

"$top/scripts/install-deps.sh" run
cmake -S "$top" -B "$build" -G Ninja -DKML_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target kestrelmoor-modlist

# Chromium refuses its sandbox to root.
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
exec "$build/program/kestrelmoor-modlist" "$@"
