#!/usr/bin/env bash
# Builds a release tree and runs every benchmark: device-library upload over the emulator's
# simulated link (one board, and 20 at once sharing it), HEX validation against objcopy,
# settings start-up and popups. Not part of the test run; the figures are ratios measured side
# by side, so a busy machine skews both sides.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
build=${BUILD_DIR:-build-release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBOARD_TESTS=ON
cmake --build "$build"
export QORETHW_LOOPBACK_ONLY=1
cmake --build "$build" --target run-bench-upload
cmake --build "$build" --target run-bench-fleet
"$build/bin/bench_hexvalidate" 5
cmake --build "$build" --target run-bench-settings
