#!/usr/bin/env bash
# Installs what is needed, builds everything and runs the whole test suite through CTest, headless.
#   scripts/run-tests.sh                 the ordinary build, in build/
#   BOARD_SANITIZE=ON scripts/run-tests.sh   AddressSanitizer + UBSan, in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh

sanitize=${BOARD_SANITIZE:-OFF}
build=${BUILD_DIR:-build}
[ "$sanitize" = ON ] && build=${BUILD_DIR:-build-asan}

cmake -S . -B "$build" -G Ninja -DBOARD_SANITIZE="$sanitize" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build"
# No display is needed: Qt draws offscreen, and the device library may reach loopback only.
export QT_QPA_PLATFORM=offscreen QORETHW_LOOPBACK_ONLY=1
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" "$@" || status=$?
# CTest shows why a test was skipped only with -V: list every skip (a whole test, or one test
# function of a test that passed) with its reason from the log of this run.
log="$build/Testing/Temporary/LastTest.log"
skips=$(awk '/^[0-9]+\/[0-9]+ Test: / { name = $3 }
    /^SKIP/ { sub(/^SKIP *:? */, ""); print "  " name ": " $0 }' "$log" 2>/dev/null || true)
[ -z "$skips" ] || printf 'Skipped, and why:\n%s\n' "$skips"
exit "$status"
