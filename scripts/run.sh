#!/usr/bin/env bash
# Sets up what is missing, builds the program and starts it against the demo
# list server, which runs on 127.0.0.1 for as long as the program does.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build"

"$top/scripts/install-deps.sh" run
cmake -S "$top" -B "$build" -G Ninja >/dev/null
cmake --build "$build"

server=$(sed -n 's/^KML_LIST_SERVER:STRING=//p' "$build/CMakeCache.txt")
port=${server##*:}
port=${port%%/*}
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$build/listserver" >"$build/listserver.log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
sleep 0.5
if ! kill -0 "$server_pid" 2>/dev/null; then
    echo "The demo list server could not start on port $port (see $build/listserver.log)." >&2
    exit 1
fi

# Chromium refuses its sandbox to root.
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
"$build/program/kestrelmoor-modlist"
