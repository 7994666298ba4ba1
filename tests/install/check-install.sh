#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a user of the installed tree relies on:
# the programs under their installed names, the versioned library with exactly its entry points
# and its development files, and both programs finding the library from their own folder, without
# LD_LIBRARY_PATH and without the build tree.
#   check-install.sh BUILD_DIR BINDIR LIBDIR VERSION
set -euo pipefail
build=$1 bindir=$2 libdir=$3 version_expected=$4
prefix=$(mktemp -d "${TMPDIR:-/tmp}/board-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
unset LD_LIBRARY_PATH
export XDG_CONFIG_HOME="$prefix/config" HOME="$prefix/home"
mkdir -p "$XDG_CONFIG_HOME" "$HOME"

fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in "$bindir/kestrune-settings" "$bindir/vornik" "$bindir/kestrune-board-emulator" \
    "$bindir/kestrune-sample-firmware" "$bindir/qorethw" "$libdir/libQORETHW.so.1" \
    "$libdir/libQORETHW.so" share/man/man1/qorethw.1 share/bash-completion/completions/qorethw \
    include/qorethw.h "$libdir/pkgconfig/qorethw.pc" "$libdir/cmake/QORETHW/QORETHWConfig.cmake" \
    share/man/man1/kestrune-settings.1 share/man/man1/vornik.1 \
    share/applications/com.kestrune.BoardSettings.desktop \
    share/icons/hicolor/scalable/apps/com.kestrune.Vornik.svg; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
# The setup framework for guides of other boards: its library, headers, packages and the
# form editor's plugin, which finds the library of its own tree.
for f in "$libdir/libsetupctrls.so.1" "$libdir/libsetupctrls.so" include/setupctrls/tboardimage.h \
    "$libdir/pkgconfig/setupctrls.pc" "$libdir/cmake/SetupCtrls/SetupCtrlsConfig.cmake"; do
    [ -e "$prefix/$f" ] || fail "$f was not installed"
done
plugin=$(find "$prefix" -path '*/plugins/designer/libsetupctrlsplugin.so')
if [ -n "$plugin" ]; then
    [[ $(ldd "$plugin") == *"libsetupctrls.so.1 => $prefix/"* ]] ||
        fail "the Designer plugin does not find the installed libsetupctrls.so.1"
fi
for program in settings Vornik board-emulator samplefirmware; do
    [ ! -e "$prefix/$bindir/$program" ] || fail "$program was installed under its build-tree name"
done

soname=$(objdump -p "$prefix/$libdir/libQORETHW.so" | awk '$1 == "SONAME" { print $2 }')
[ "$soname" = libQORETHW.so.1 ] || fail "the library's SONAME is '$soname'"
exports=$(nm -D --defined-only "$prefix/$libdir/libQORETHW.so.1" | awk '$2 == "T" { print $3 }' | sort)
expected=$(printf '%s\n' QEW_ChangeNetworking QEW_Connect QEW_DEB_StrToStr QEW_Disconnect \
    QEW_Discover QEW_DiscoverEx QEW_GetStatus QEW_GetStatusEx QEW_UploadFirmwareFile QEW_UploadFirmwareFileEx)
[ "$exports" = "$expected" ] || fail "exported functions differ:"$'\n'"$exports"

# A GUI program that is still running after a few seconds has started; one whose library is
# missing ends at once with 127.
runs_for() {
    local seconds=$1 status=0
    shift
    timeout "$seconds" "$@" >"$prefix/out.log" 2>&1 || status=$?
    [ "$status" -eq 124 ] || { cat "$prefix/out.log"; fail "$* ended with $status"; }
}

# --help and --version are answered without a display; Qt's own options still reach Qt.
for program in kestrune-settings vornik; do
    version=$(QT_QPA_PLATFORM=none "$prefix/$bindir/$program" -platform none --version) ||
        fail "$program --version failed"
    [ "$version" = "$program $version_expected" ] || fail "$program --version said '$version'"
    QT_QPA_PLATFORM=none "$prefix/$bindir/$program" --help | grep -q -- '--version' ||
        fail "$program --help does not list --version"
done

QT_QPA_PLATFORM=none runs_for 3 "$prefix/$bindir/vornik" -platform offscreen -style Fusion

# settings loads the library by name at start-up; the loader's log shows which file it bound.
LD_DEBUG=files runs_for 5 "$prefix/$bindir/kestrune-settings"
grep -q "calling init: $prefix/$libdir/libQORETHW.so.1\$" "$prefix/out.log" ||
    fail "installed settings did not load libQORETHW.so.1 from its tree"

# Without the library, Vornik must not start.
rm "$prefix/$libdir"/libQORETHW.so*
status=0
timeout 5 "$prefix/$bindir/vornik" >/dev/null 2>&1 || status=$?
[ "$status" -ne 124 ] && [ "$status" -ne 0 ] || fail "Vornik started without libQORETHW.so"
echo "installed tree OK"
