#!/usr/bin/env bash
# Builds the Debian packages from this tree into a folder outside it (default: ../board-packages):
#   scripts/build-packages.sh [OUTDIR]
# Installs the build dependencies that debian/control declares first (with sudo when not root;
# without sudo, run it as root).
# The tree itself is left as it was: the build runs in a copy of its files.
set -euo pipefail
cd "$(dirname "$0")/.."
src=$PWD
out=$(realpath -m "${1:-../board-packages}")

# A fresh machine may have no package lists yet: update before the first install.
if ! command -v dpkg-checkbuilddeps >/dev/null || ! dpkg-checkbuilddeps debian/control 2>/dev/null; then
    source scripts/as-root.sh
    "${root_cmd[@]}" apt-get update
    command -v dpkg-checkbuilddeps >/dev/null ||
        DEBIAN_FRONTEND=noninteractive "${root_cmd[@]}" apt-get install -y dpkg-dev
    DEBIAN_FRONTEND=noninteractive "${root_cmd[@]}" apt-get install -y --no-install-recommends \
        -o DPkg::Lock::Timeout=900 $(dpkg-checkbuilddeps debian/control 2>&1 |
        sed -n 's/.*Unmet build dependencies: //p' | sed 's/([^)]*)//g')
fi

# The files git knows, plus new ones it does not ignore: never a build folder of the tree.
work=$(mktemp -d "${TMPDIR:-/tmp}/board-packages.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
git -C "$src" ls-files -z --cached --others --exclude-standard |
    tar -C "$src" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$work/src" -xf -
(cd "$work/src" && dpkg-buildpackage -us -uc -b -j"$(nproc)")

mkdir -p "$out"
rm -f "$out"/*.deb "$out"/*.buildinfo "$out"/*.changes
cp "$work"/*.deb "$work"/*.buildinfo "$work"/*.changes "$out"/
echo "Packages in $out:"
ls "$out"
