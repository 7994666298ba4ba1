#!/usr/bin/env bash
# Runs a command as a client of a Wayland session of its own: weston on its headless back end
# (1024 x 768), with XWayland offering an X server when it can run here (DISPLAY is then set,
# otherwise unset). weston is removed when the command ends. Exit code 77 (a skip for CTest)
# when weston is missing. NO_XWAYLAND=1 leaves XWayland out.
#   with-weston.sh <command> [arguments...]
set -u
if ! command -v weston >/dev/null; then
    echo "SKIP: weston is not installed (scripts/setup-debian.sh installs it)"
    exit 77
fi

dir=$(mktemp -d)
chmod 700 "$dir"
weston_pid=
cleanup() {
    [ -n "$weston_pid" ] && kill "$weston_pid" 2>/dev/null && wait "$weston_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Frames the program keeps for the next run go with the display.
export XDG_RUNTIME_DIR="$dir" XDG_SESSION_TYPE=wayland XDG_CACHE_HOME="$dir/cache"
unset DISPLAY QT_QPA_PLATFORM WAYLAND_DISPLAY
xwayland=()
[ -z "${NO_XWAYLAND:-}" ] && command -v Xwayland >/dev/null && xwayland=(--xwayland)
weston --backend=headless-backend.so --width=1024 --height=768 --idle-time=0 \
    --socket=wayland-test --log="$dir/weston.log" "${xwayland[@]}" >/dev/null 2>&1 &
weston_pid=$!
ready=
for _ in $(seq 200); do
    kill -0 "$weston_pid" 2>/dev/null || break
    # XWayland, when asked for, is listening once the desktop shell starts.
    if [ -S "$dir/wayland-test" ] && grep -q "weston-desktop-shell" "$dir/weston.log" 2>/dev/null;
    then
        ready=1
        break
    fi
    sleep 0.05
done
if [ -z "$ready" ]; then
    echo "weston did not start:" >&2
    cat "$dir/weston.log" >&2
    exit 1
fi
export WAYLAND_DISPLAY=wayland-test
display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$dir/weston.log" | head -n1)
[ -n "$display" ] && export DISPLAY="$display"

"$@"
status=$?
if [ $status -ne 0 ]; then
    echo "--- weston said:" >&2
    cat "$dir/weston.log" >&2
fi
exit $status
