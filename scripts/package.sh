#!/usr/bin/env bash
# Builds the Debian package zorvan_<version>_<arch>.deb in the current folder
# (or in OUT_DIR) from a build folder of its own (build-package, or
# ZORVAN_PACKAGE_BUILD), with everything the package installs built there,
# and checks it with lintian when that is installed.
#   scripts/package.sh [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
cd "$root"

build=${ZORVAN_PACKAGE_BUILD:-build-package}
# Only what is installed: every target of a build without tests is.
cmake -S . -B "$build" -G Ninja -DZORVAN_BUILD_TESTS=OFF -DZORVAN_BUILD_BENCH=OFF \
  -DZORVAN_FUZZ=OFF ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
cmake --build "$build"
(cd "$build" && cpack -G DEB -B "$out/_cpack" >/dev/null)
deb=$(find "$out/_cpack" -maxdepth 1 -name 'zorvan_*.deb' | head -n 1)
[ -n "$deb" ] || { echo "package.sh: cpack made no package" >&2; exit 1; }
mv -f "$deb" "$out/"
rm -rf "$out/_cpack"
deb=$out/$(basename "$deb")
echo "package: $deb"

if command -v lintian >/dev/null; then
  # Errors fail the build; warnings are shown.
  lintian --fail-on error "$deb"
fi
