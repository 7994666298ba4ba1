#!/usr/bin/env bash
# Runs a command on a display of its own: a fresh Xvfb screen (1024 x 768 unless SCREEN says
# otherwise) managed by the window manager named first, both removed when the command ends.
# Exit code 77 (a skip for CTest) when Xvfb or the window manager is missing.
#   with-wm.sh openbox|xfwm4|fluxbox|metacity|mutter|icewm|kwin_x11 <command> [arguments...]
set -u
wm=$1
shift
for program in Xvfb "$wm"; do
    if ! command -v "$program" >/dev/null; then
        echo "SKIP: $program is not installed (scripts/setup-debian.sh installs it)"
        exit 77
    fi
done

dir=$(mktemp -d)
xvfb_pid= wm_pid=
cleanup() {
    # The whole group: a session bus started with it goes too.
    [ -n "$wm_pid" ] && kill -- "-$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display itself and writes its number to the descriptor given. No reset when
# its last client leaves: the readiness probe below would otherwise close the window manager's
# connection while it is still being made.
Xvfb -displayfd 3 -screen 0 "${SCREEN:-1024x768x24}" -nolisten tcp -noreset 3>"$dir/display" \
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
unset WAYLAND_DISPLAY SESSION_MANAGER
export QT_QPA_PLATFORM=xcb XDG_SESSION_TYPE=x11 WINDOW_MANAGER="$wm"

# Each with its own configuration, not the user's, and no compositing: Xvfb has no GL.
export HOME="$dir" XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data"
export XDG_CACHE_HOME="$dir/cache" XDG_RUNTIME_DIR="$dir/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
case "$wm" in
openbox) command=(openbox --sm-disable) ;;
xfwm4) command=(xfwm4 --compositor=off --sm-client-disable) ;;
fluxbox) command=(fluxbox) ;;
metacity) command=(metacity --no-composite --sm-disable) ;;
mutter) command=(mutter --x11 --replace --sm-disable) ;;
kwin_x11)
    printf '[Compositing]\nEnabled=false\n' >"$XDG_CONFIG_HOME/kwinrc"
    export KWIN_COMPOSE=N
    command=(kwin_x11 --no-kactivities)
    ;;
*) command=("$wm") ;;
esac
# Some of them need a session bus; one of their own, gone with them.
if command -v dbus-run-session >/dev/null && [ "$wm" != openbox ]; then
    command=(dbus-run-session -- "${command[@]}")
fi
setsid "${command[@]}" >"$dir/wm.log" 2>&1 &
wm_pid=$!

# Managing the screen: the window its check property names carries the same property.
managing() {
    local check
    check=$(xprop -root -notype 32x ' $0' _NET_SUPPORTING_WM_CHECK 2>/dev/null | awk '{print $2}')
    [ -n "$check" ] && [ "$check" != "0x0" ] &&
        xprop -id "$check" -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 0x
}
for _ in $(seq 300); do
    managing && break
    kill -0 "$wm_pid" 2>/dev/null || break
    sleep 0.05
done
if ! managing; then
    echo "$wm did not start:" >&2
    cat "$dir/wm.log" >&2
    exit 1
fi

"$@"
status=$?
if [ $status -ne 0 ] && [ -s "$dir/wm.log" ]; then
    echo "--- $wm said:" >&2
    tail -n 40 "$dir/wm.log" >&2
fi
exit $status
