#!/usr/bin/env bash
# Installs the Debian packages Zorvan needs, by job:
#   scripts/setup-deps.sh runtime   what the programs need to run
#   scripts/setup-deps.sh build     the compiler and the development files
#   scripts/setup-deps.sh test      the test, benchmark, packaging and format tools
# Several jobs may be named; none means all three.
# As root it runs apt-get itself; otherwise it prints the exact command.
set -euo pipefail

runtime=(
  qt6-wayland
)
build=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools libgl-dev
  libevdev-dev libx11-dev libxtst-dev libxcb-xtest0-dev libxcb-randr0-dev libxrandr-dev libudev-dev
  # the serial library's reference (HTML, in the -dev package) from its headers
  doxygen
)
test=(
  clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth
  # a stand-alone system tray for the tray icon's tests and screenshots
  trayer
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils
  clang libclang-rt-14-dev
  lintian man-db
  # udev testbeds for the serial port list and hot-plug tests
  umockdev libumockdev-dev gir1.2-umockdev-1.0
)

[ $# -gt 0 ] || set -- runtime build test
packages=()
for job in "$@"; do
  case $job in
    runtime) packages+=("${runtime[@]}") ;;
    build) packages+=("${build[@]}") ;;
    test) packages+=("${test[@]}") ;;
    *) echo "setup-deps.sh: unknown job '$job' (runtime, build or test)" >&2; exit 2 ;;
  esac
done

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
