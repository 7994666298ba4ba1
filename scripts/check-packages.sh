#!/usr/bin/env bash
# Builds the Debian packages, checks them with lintian and the desktop validators, installs them
# as a user would, tries each installed program and the development files, and removes
# everything again: the packages, and whatever this script installed to build and check them.
# Run as root (or with sudo available); CI calls it after the tests.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
source scripts/as-root.sh
apt_get() {
    DEBIAN_FRONTEND=noninteractive "${root_cmd[@]}" apt-get -o DPkg::Lock::Timeout=900 "$@"
}
ours=(libqorethw1 libqorethw-dev libsetupctrls1 libsetupctrls-dev setupctrls-designer-plugin kestrune-settings vornik
    kestrune-board-tools)
installed_here=()
emulator=
for p in "${ours[@]}"; do
    if dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        echo "$p is installed already; this check installs and removes its own build of it."
        exit 1
    fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/board-check-packages.XXXXXX")
installed_list() { dpkg-query -W -f '${Package} ${Version}\n' | sort; }
before=$(installed_list)

cleanup() {
    local status=$?
    [ -z "$emulator" ] || kill "$emulator" 2>/dev/null || true
    apt_get purge -y "${ours[@]}" >/dev/null 2>&1 || true
    if [ ${#installed_here[@]} -gt 0 ]; then
        apt_get purge -y "${installed_here[@]}" >/dev/null || status=1
    fi
    rm -rf "$work"
    after=$(installed_list)
    # Packages are compared by name: a dependency may have required a newer version of one
    # that was installed already (the archive keeps only the newest), which cannot be undone.
    if [ "$(cut -d' ' -f1 <<<"$before")" != "$(cut -d' ' -f1 <<<"$after")" ]; then
        echo "FAIL: the installed packages differ from before:"
        diff <(echo "$before") <(echo "$after") || true
        status=1
    elif [ "$before" != "$after" ]; then
        echo "upgraded because a dependency required it:"
        diff <(echo "$before") <(echo "$after") | sed -n 's/^> /  /p'
    fi
    exit $status
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

# new_in_simulation: the packages an apt-get -s run would install that are not installed yet
# (an upgrade's Inst line carries the old version in brackets).
new_in_simulation() { awk '$1 == "Inst" && $3 !~ /^\[/ { print $2 }'; }

# install_recorded PKG...: installs what is missing and remembers every package that came with
# it, so that the end can remove exactly those.
install_recorded() {
    local new
    new=$(apt_get install -s -y --no-install-recommends "$@" | new_in_simulation)
    [ -n "$new" ] || return 0
    apt_get install -y --no-install-recommends "$@" >/dev/null
    # shellcheck disable=SC2206
    installed_here+=($new)
}

echo "== tools and build dependencies"
unmet=$(dpkg-checkbuilddeps debian/control 2>&1 || true)
missing=($(echo "$unmet" | sed -n 's/.*Unmet build dependencies: //p' | sed 's/([^)]*)//g'))
for p in lintian desktop-file-utils appstream; do
    dpkg-query -W -f '${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    apt_get update >/dev/null
    install_recorded "${missing[@]}"
fi
echo "installed for this check: ${installed_here[*]:-nothing}"

echo "== build"
start=$SECONDS
bash scripts/build-packages.sh "$work/debs" >"$work/build.log" 2>&1 || {
    tail -n 60 "$work/build.log"
    fail "the package build failed"
}
echo "built in $((SECONDS - start)) s: $(cd "$work/debs" && echo *.deb)"

echo "== lintian"
lintian --fail-on error --display-info --pedantic --show-overrides "$work"/debs/*.changes || fail "lintian reports errors"

echo "== install"
debs=()
for p in "${ours[@]}"; do debs+=("$work"/debs/"${p}"_*.deb); done
before_debs=$(apt_get install -s -y --no-install-recommends "${debs[@]}" |
    new_in_simulation | grep -vxF -f <(printf '%s\n' "${ours[@]}") || true)
apt_get install -y --no-install-recommends "${debs[@]}" >/dev/null
# shellcheck disable=SC2206
[ -z "$before_debs" ] || installed_here+=($before_debs)

echo "== desktop entries and metainfo"
for id in com.kestrune.BoardSettings com.kestrune.Vornik; do
    desktop-file-validate "/usr/share/applications/$id.desktop"
    appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
        appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml"
    [ -f "/usr/share/icons/hicolor/48x48/apps/$id.png" ] || fail "no 48x48 icon for $id"
done

echo "== installed programs"
cd /
export QT_QPA_PLATFORM=offscreen QORETHW_LOOPBACK_ONLY=1 HOME="$work/home"
mkdir -p "$HOME"
for program in kestrune-settings vornik; do
    man -w "$program" >/dev/null || fail "no manual page for $program"
    version=$("$program" --version)
    [ "$version" = "$program 1.0" ] || fail "$program --version said '$version'"
    status=0
    LD_DEBUG=files timeout 4 "$program" >"$work/$program.log" 2>&1 || status=$?
    [ "$status" -eq 124 ] || { tail "$work/$program.log"; fail "$program ended with $status"; }
    grep -q "calling init: .*/libQORETHW.so.1" "$work/$program.log" ||
        fail "$program did not load the packaged libQORETHW.so.1"
    # The window frame query: a build that lost it opens windows off centre under X11. It lives
    # in the program or, for settings, in the setup framework's library.
    binary=$(command -v "$program")
    needed=$(readelf -d "$binary")
    if [[ $needed == *'[libsetupctrls.so.1]'* ]]; then
        needed+=$(readelf -d "$(ldd "$binary" | awk '$1 == "libsetupctrls.so.1" { print $3 }')")
    fi
    [[ $needed == *'[libxcb.so.1]'* ]] || fail "$program does not need libxcb.so.1"
    echo "$version: started and ran"
done
for program in kestrune-board-emulator kestrune-sample-firmware qorethw; do
    man -w "$program" >/dev/null || fail "no manual page for $program"
done
version=$(qorethw --version)
[ "$version" = "qorethw 1.0" ] || fail "qorethw --version said '$version'"

echo "== building against the installed library"
port=$((21000 + RANDOM % 20000))
kestrune-sample-firmware "$work/firmware.hex" 0x0200
kestrune-board-emulator --address 127.0.0.1 --port "$port" >"$work/emulator.log" 2>&1 &
emulator=$!
cc -Wall -Wextra -Werror "$src/tests/package/consumer.c" $(pkg-config --cflags --libs qorethw) \
    -o "$work/consumer-pkgconfig"
cmake -S "$src/tests/package/cmake" -B "$work/consumer-cmake" -G Ninja >/dev/null
cmake --build "$work/consumer-cmake" >/dev/null
for consumer in "$work/consumer-pkgconfig" "$work/consumer-cmake/consumer"; do
    reply=$("$consumer" "127.0.0.1:$port") || fail "$consumer could not read the board"
    [ "$reply" = "revision 1.0, MAC 02-00-00-00-00-01" ] || fail "$consumer printed '$reply'"
    echo "$(basename "$consumer"): $reply"
done
kill "$emulator"
wait "$emulator" 2>/dev/null || true
emulator=

# The setup framework: a guide's program built against libsetupctrls-dev, both ways, loading the
# installed Designer plugin as Designer does.
c++ -std=c++17 -fPIC -Wall -Wextra -Werror "$src/tests/package/setupctrls/consumer.cpp" \
    $(pkg-config --cflags --libs setupctrls Qt6UiPlugin) -o "$work/setupctrls-pkgconfig"
cmake -S "$src/tests/package/setupctrls" -B "$work/setupctrls-cmake" -G Ninja >/dev/null
cmake --build "$work/setupctrls-cmake" >/dev/null
expected="105 x 105 board, plugin offers TBoardImage TBoardHighlight TRadioPanel TTwoJumper TThreeJumper"
for consumer in "$work/setupctrls-pkgconfig" "$work/setupctrls-cmake/setupctrls-consumer"; do
    reply=$("$consumer") || fail "$consumer failed"
    [ "$reply" = "$expected" ] || fail "$consumer printed '$reply'"
    echo "$(basename "$consumer"): $reply"
done

echo "== remove"
cd "$src"
