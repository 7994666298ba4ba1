#!/usr/bin/env bash
# Installs what is needed, builds, starts an emulated board on 127.0.0.1 and opens both programs.
# Type 127.0.0.1 into the programs' address boxes to reach the emulated board.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup-debian.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Only what the demo runs; scripts/run-tests.sh builds the rest into the same tree.
cmake --build build --target settings Vornik QORETHW board-emulator samplefirmware

export QORETHW_LOOPBACK_ONLY=1
# A fresh board for every demo: revision 1.0, so an upload takes the bootstrap path first.
demo=$(mktemp -d "${TMPDIR:-/tmp}/board-demo.XXXXXX")
emulator=
# The board's state, flash and firmware file go with the demo, however it ends.
finish() {
    if [ -n "$emulator" ]; then
        kill "$emulator" 2>/dev/null || true
        wait "$emulator" 2>/dev/null || true
    fi
    rm -rf "$demo"
}
trap finish EXIT
build/bin/samplefirmware "$demo/board-firmware-2.0.hex" 0x0200
build/bin/board-emulator --address 127.0.0.1 --state "$demo/board.state" \
    --firmware-out "$demo/board-flash.bin" &
emulator=$!
echo "Emulated board on 127.0.0.1; a firmware file to upload: $demo/board-firmware-2.0.hex"

run() {
    if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        "$@"
    else
        xvfb-run -a -s '-screen 0 1280x1024x24' "$@"
    fi
}
run build/bin/settings &
settings=$!
run build/bin/Vornik &
vornik=$!
wait $settings $vornik
