#!/usr/bin/env bash
# Installs the Debian packages Zorvan needs to build, test and run.
# As root it runs apt-get itself; otherwise it prints the exact command.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config clang-format
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
  libevdev-dev libx11-dev libxtst-dev libxcb-xtest0-dev libxcb-randr0-dev libxrandr-dev libudev-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  # udev testbeds for the serial port list and hot-plug tests
  umockdev libumockdev-dev gir1.2-umockdev-1.0
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
else
  echo "Missing packages. Install them with:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
