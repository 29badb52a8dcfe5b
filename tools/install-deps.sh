#!/usr/bin/env bash
# Installs what building, running and testing need on a fresh Debian 12 machine.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  qt6-base-dev libgl-dev libqt6sql6-ibase
  libgtest-dev googletest
  firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
  xvfb xauth x11-apps xdotool imagemagick fonts-wine
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
