#!/usr/bin/env bash
# Builds every libFuzzer target with clang (ASan + UBSan) and runs each for a few seconds.
#   scripts/run-fuzzers.sh [seconds per target, default 30]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=${BUILD_DIR:-build-fuzz}
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DBOARD_FUZZ=ON -DBOARD_TESTS=OFF \
    -DBOARD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target fuzzers
export ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for fuzzer in "$build"/fuzz/*; do
    [ -f "$fuzzer" ] && [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [ -d "fuzz/seeds/$name" ] && seeds+=("fuzz/seeds/$name")
    echo "== $name: ${seconds}s"
    if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus" "${seeds[@]}" \
        >"$build/$name.log" 2>&1; then
        tail -n 40 "$build/$name.log"
        status=1
    else
        grep -E '^Done|#[0-9]+.*DONE' "$build/$name.log" | tail -n 1 || true
    fi
done
exit $status
