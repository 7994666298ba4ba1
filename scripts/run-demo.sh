#!/usr/bin/env bash
# Installs what is needed, builds, starts an emulated board on 127.0.0.1 and opens both programs.
# Type 127.0.0.1 into the programs' address boxes to reach the emulated board.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

export QORETHW_LOOPBACK_ONLY=1
state_dir=${XDG_STATE_HOME:-$HOME/.local/state}/board-emulator
mkdir -p "$state_dir"
build/bin/board-emulator --address 127.0.0.1 --state "$state_dir/board.state" &
emulator=$!
trap 'kill $emulator 2>/dev/null || true' EXIT

run() {
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then "$@"; else xvfb-run -a -s '-screen 0 1280x1024x24' "$@"; fi
}
programs=()
[ -x build/bin/settings ] && programs+=(build/bin/settings)
[ -x build/bin/Vornik ] && programs+=(build/bin/Vornik)
pids=()
for p in "${programs[@]}"; do
    run "$p" &
    pids+=($!)
done
wait "${pids[@]}"
