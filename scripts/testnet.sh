#!/usr/bin/env bash
# A test network of our own: network namespaces joined by a bridge, N emulated boards at
# 10.231.0.10.. (/25, gateway 10.231.0.1), and COMMAND run in a host namespace on the same bridge
# at 10.231.0.1. No namespace has a route anywhere else or a link to a real interface; all of it
# is removed when this script ends, however it ends.
#   testnet.sh [--boards N] [--bin DIR] -- COMMAND [ARGS...]
# COMMAND sees QORETHW_LOOPBACK_ONLY=1, QORETHW_ALLOW_SUBNETS=10.231.0.0/24 (the library may use
# this subnet and nothing else), TESTNET_BOARDS (the boards' addresses), TESTNET_DIR (each
# board's state, log and firmware files: board-K.state, board-K.log, board-K.bin),
# TESTNET_NAMESPACES (each board's network namespace) and TESTNET_EMULATOR. Exit status 77 (skip) when namespaces cannot be made here.
set -euo pipefail

boards=20
bin=""
while [ $# -gt 0 ]; do
    case $1 in
    --boards) boards=$2; shift 2 ;;
    --bin) bin=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "usage: testnet.sh [--boards N] [--bin DIR] -- COMMAND [ARGS...]" >&2; exit 2 ;;
    esac
done
[ $# -gt 0 ] || { echo "testnet.sh: no COMMAND given" >&2; exit 2; }
[[ $boards =~ ^[0-9]+$ ]] && [ "$boards" -ge 1 ] && [ "$boards" -le 100 ] ||
    { echo "testnet.sh: --boards must be 1 to 100" >&2; exit 2; }
emulator=${bin:+$bin/}board-emulator
command -v "$emulator" >/dev/null || { echo "testnet.sh: no board-emulator at $emulator" >&2; exit 2; }
emulator=$(command -v "$emulator")

skip() { echo "SKIP: test network not available: $*"; exit 77; }
[ "$(id -u)" -eq 0 ] || skip "needs root to make network namespaces"
command -v ip >/dev/null || skip "the ip tool (iproute2) is not installed"

tag="qtn$$"
switch="$tag-sw" host="$tag-h"
dir=$(mktemp -d "${TMPDIR:-/tmp}/testnet.XXXXXX")
namespaces=()
pids=()
cleanup() {
    local status=$?
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    # A board the command restarted itself is no child of ours.
    for ns in "${namespaces[@]}"; do ip netns pids "$ns" 2>/dev/null | xargs -r kill -9 || true; done
    # Deleting a namespace deletes the veth ends and the bridge in it.
    for ns in "${namespaces[@]}"; do ip netns delete "$ns" 2>/dev/null || true; done
    rm -rf "$dir"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

newns() {
    ip netns add "$1" || return 1
    namespaces+=("$1")
    ip -n "$1" link set lo up
}

newns "$switch" 2>/dev/null || skip "cannot make network namespaces here (ip netns add failed)"
ip -n "$switch" link add br0 type bridge
ip -n "$switch" link set br0 up

# plug NAMESPACE PORT ADDRESS/PREFIX: a veth from the bridge to eth0 in NAMESPACE.
plug() {
    ip -n "$switch" link add "$2" type veth peer name eth0 netns "$1"
    ip -n "$switch" link set "$2" master br0 up
    ip -n "$1" address add "$3" broadcast + dev eth0
    ip -n "$1" link set eth0 up
}

newns "$host"
plug "$host" p0 10.231.0.1/25

addresses=()
board_namespaces=()
for ((k = 1; k <= boards; k++)); do
    ns="$tag-b$k"
    address="10.231.0.$((9 + k))"
    mac=$(printf '02-31-00-00-00-%02X' "$k")
    newns "$ns"
    plug "$ns" "p$k" "$address/25"
    ip -n "$ns" link set dev eth0 address "${mac//-/:}"
    # The first few boards are at revision 1.0, so the bootstrap path is crossed too.
    revision=0x0200
    [ "$k" -le 3 ] && revision=0x0100
    ip netns exec "$ns" "$emulator" --address "$address" --interface eth0 \
        --subnet 255.255.255.128 --gateway 10.231.0.1 --mac "$mac" --revision "$revision" \
        --restart-ms 100 --state "$dir/board-$k.state" --firmware-out "$dir/board-$k.bin" \
        >"$dir/board-$k.log" 2>&1 &
    pids+=($!)
    addresses+=("$address")
    board_namespaces+=("$ns")
done
for ((k = 1; k <= boards; k++)); do
    for ((t = 0; t < 100; t++)); do
        grep -q "listening on" "$dir/board-$k.log" && break
        sleep 0.05
    done
    grep -q "listening on" "$dir/board-$k.log" ||
        { cat "$dir/board-$k.log"; echo "testnet.sh: board $k did not start" >&2; exit 1; }
done

status=0
ip netns exec "$host" env QORETHW_LOOPBACK_ONLY=1 QORETHW_ALLOW_SUBNETS=10.231.0.0/24 \
    TESTNET_BOARDS="${addresses[*]}" TESTNET_NAMESPACES="${board_namespaces[*]}" \
    TESTNET_DIR="$dir" TESTNET_EMULATOR="$emulator" \
    "$@" || status=$?
exit "$status"
