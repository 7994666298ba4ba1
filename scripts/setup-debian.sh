#!/usr/bin/env bash
# Installs every Debian 12 package that the build, the tests, the benchmarks and the demo need.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-qpa-plugins libgl-dev
  qt6-tools-dev designer-qt6
  libjpeg62-turbo-dev
  clang libclang-rt-14-dev clang-format
  binutils
  xvfb xauth imagemagick fonts-dejavu-core fonts-dejavu-extra
  libxcb1-dev openbox weston xwayland qt6-wayland
  xfwm4 fluxbox metacity mutter icewm kwin-x11 kwin-style-breeze x11-utils dbus-daemon
  iproute2
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  source "$(dirname "$0")/as-root.sh"
  "${root_cmd[@]}" apt-get update
  DEBIAN_FRONTEND=noninteractive "${root_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi
