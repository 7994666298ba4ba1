#!/usr/bin/env bash
# Runs a command on a display of its own: a fresh Xvfb screen (1024 x 768 unless SCREEN says
# otherwise) managed by openbox, both removed when the command ends. Exit code 77 (a skip for
# CTest) when either program is missing.
#   with-openbox.sh <command> [arguments...]
set -u
for program in Xvfb openbox; do
    if ! command -v "$program" >/dev/null; then
        echo "SKIP: $program is not installed (scripts/setup-debian.sh installs it)"
        exit 77
    fi
done

dir=$(mktemp -d)
xvfb_pid= wm_pid=
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and writes its number to the descriptor given.
Xvfb -displayfd 3 -screen 0 "${SCREEN:-1024x768x24}" -nolisten tcp 3>"$dir/display" \
    >"$dir/xvfb.log" 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$dir/display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -s "$dir/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$dir/display")"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb XDG_SESSION_TYPE=x11

# openbox's own configuration, not the user's. It runs its start-up command once it manages
# the screen; windows mapped before then may be lost.
HOME="$dir" XDG_CONFIG_HOME="$dir" openbox --sm-disable --startup "touch $dir/ready" \
    >"$dir/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 200); do
    [ -e "$dir/ready" ] && break
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.05
done
if [ ! -e "$dir/ready" ]; then
    echo "openbox did not start:" >&2
    cat "$dir/openbox.log" >&2
    exit 1
fi

"$@"
status=$?
if [ $status -ne 0 ] && [ -s "$dir/openbox.log" ]; then
    echo "--- openbox said:" >&2
    cat "$dir/openbox.log" >&2
fi
exit $status
