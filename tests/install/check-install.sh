#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user of the installed tree relies on:
# the library exports exactly its entry points, and the programs find it from their own
# folder, without LD_LIBRARY_PATH and without the build tree.
#   check-install.sh BUILD_DIR BINDIR LIBDIR
set -euo pipefail
build=$1 bindir=$2 libdir=$3
prefix=$(mktemp -d "${TMPDIR:-/tmp}/board-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
unset LD_LIBRARY_PATH
export XDG_CONFIG_HOME="$prefix/config" HOME="$prefix/home"
mkdir -p "$XDG_CONFIG_HOME" "$HOME"

fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in "$bindir/settings" "$bindir/Vornik" "$bindir/board-emulator" "$bindir/qorethw" \
    "$libdir/libQORETHW.so"; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done

exports=$(nm -D --defined-only "$prefix/$libdir/libQORETHW.so" | awk '$2 == "T" { print $3 }' | sort)
expected=$(printf '%s\n' QEW_ChangeNetworking QEW_Connect QEW_DEB_StrToStr QEW_Disconnect \
    QEW_Discover QEW_GetStatus QEW_GetStatusEx QEW_UploadFirmwareFile QEW_UploadFirmwareFileEx)
[ "$exports" = "$expected" ] || fail "exported functions differ:"$'\n'"$exports"

# A GUI program that is still running after a few seconds has started; one whose library is
# missing ends at once with 127.
runs_for() {
    local seconds=$1 status=0
    shift
    timeout "$seconds" "$@" >"$prefix/out.log" 2>&1 || status=$?
    [ "$status" -eq 124 ] || { cat "$prefix/out.log"; fail "$* ended with $status"; }
}

runs_for 3 "$prefix/$bindir/Vornik"

# settings loads the library by name at start-up; the loader's log shows where it came from.
LD_DEBUG=files runs_for 5 "$prefix/$bindir/settings"
grep -q "calling init: $prefix/$libdir/libQORETHW.so" "$prefix/out.log" ||
    fail "installed settings did not load libQORETHW.so from its tree"

# Without the library, Vornik must not start.
rm "$prefix/$libdir/libQORETHW.so"
status=0
timeout 5 "$prefix/$bindir/Vornik" >/dev/null 2>&1 || status=$?
[ "$status" -ne 124 ] && [ "$status" -ne 0 ] || fail "Vornik started without libQORETHW.so"
echo "installed tree OK"
