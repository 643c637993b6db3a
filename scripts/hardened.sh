#!/usr/bin/env bash
# Hardened checks: the data-layer and update tests under AddressSanitizer and
# UndefinedBehaviorSanitizer, then every fuzz target for a bounded time
# (KML_FUZZ_SECONDS, 60 by default) after replaying its kept inputs.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${KML_FUZZ_SECONDS:-60}

"$top/scripts/install-deps.sh" hardened

asan="$top/build-asan"
cmake -S "$top" -B "$asan" -G Ninja -DKML_BUILD_GUI=OFF -DKML_SANITIZE=address,undefined >/dev/null
cmake --build "$asan"
(cd "$asan" && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure --timeout 300)

fuzz="$top/build-fuzz"
CC=clang CXX=clang++ cmake -S "$top" -B "$fuzz" -G Ninja -DKML_BUILD_GUI=OFF -DKML_BUILD_TESTS=OFF -DKML_FUZZ=ON \
    -DKML_SANITIZE=address,undefined >/dev/null
cmake --build "$fuzz"
for target in "$top"/tests/fuzz/corpus/*/; do
    name=$(basename "$target")
    binary="$fuzz/tests/fuzz/fuzz_$name"
    work="$fuzz/corpus-$name"
    mkdir -p "$work"
    echo "== fuzz_$name: replaying $(ls "$target" | wc -l) kept inputs, then fuzzing for ${seconds}s"
    log="$fuzz/fuzz-$name.log"
    if ! "$binary" -runs=0 "$target" >"$log" 2>&1 ||
        ! "$binary" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
            -artifact_prefix="$fuzz/crash-$name-" "$work" "$target" >>"$log" 2>&1; then
        tail -n 60 "$log"
        echo "fuzz_$name failed: the input is kept as $fuzz/crash-$name-*" >&2
        exit 1
    fi
    grep -E '^Done [0-9]+ runs' "$log" | tail -n 1
done
echo "hardened checks passed"
