#!/usr/bin/env bash
# Builds the Debian packages zorvan, zorvan-serial and libzorvan-serial-dev
# (<name>_<version>_<arch>.deb) in the current folder (or in OUT_DIR) from a
# build folder of its own (build-package, or ZORVAN_PACKAGE_BUILD), and checks
# each with lintian when that is installed: an error or a warning fails.
#   scripts/package.sh [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
cd "$root"

build=${ZORVAN_PACKAGE_BUILD:-build-package}
# Debian's hardening flags, as a Debian build would set them, without debug
# information: nothing strips it from the static library.
cxxflags="" ldflags=""
if command -v dpkg-buildflags >/dev/null; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
  cxxflags=${cxxflags//-g /}
  ldflags=$(dpkg-buildflags --get LDFLAGS)
fi
# Only what is installed: every target of a build without tests is. The
# prefix is set here so that the library's files go to Debian's multiarch
# folder; the library is static (packaging/deb.cmake says why).
cmake -S . -B "$build" -G Ninja -DZORVAN_BUILD_TESTS=OFF -DZORVAN_BUILD_BENCH=OFF \
  -DZORVAN_FUZZ=OFF -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_SHARED_LIBS=OFF \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" "-DCMAKE_CXX_FLAGS=$cxxflags" \
  "-DCMAKE_EXE_LINKER_FLAGS=$ldflags" \
  ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null
cmake --build "$build"
rm -rf "$out/_cpack"
(cd "$build" && cpack -G DEB -B "$out/_cpack" >/dev/null)
debs=()
for name in zorvan zorvan-serial libzorvan-serial-dev; do
  deb=$(find "$out/_cpack" -maxdepth 1 -name "${name}_*.deb" | head -n 1)
  [ -n "$deb" ] || { echo "package.sh: cpack made no package $name" >&2; exit 1; }
  mv -f "$deb" "$out/"
  debs+=("$out/$(basename "$deb")")
  echo "package: $out/$(basename "$deb")"
done
rm -rf "$out/_cpack"

if command -v lintian >/dev/null; then
  # Overrides ship in the packages, each with its reason.
  for deb in "${debs[@]}"; do
    lintian --fail-on error,warning "$deb"
  done
fi
