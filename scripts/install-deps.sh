#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Works as root (CI) or through sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  srecord binutils
  clang libclang-rt-14-dev
  qt6-base-dev qt6-svg-dev qt6-multimedia-dev qt6-serialport-dev qt6-translations-l10n libgl-dev fonts-wqy-microhei
  qt6-l10n-tools qt6-tools-dev appstream
  libxcb1-dev libxcb-keysyms1-dev xvfb xdotool dbus
  libgpiod-dev libftdi1-dev
  dpkg-dev file help2man lintian
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
