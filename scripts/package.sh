#!/usr/bin/env bash
# Builds the Debian package zorvan_<version>_<arch>.deb in the current folder
# (or in OUT_DIR) from the plain build, and checks it with lintian when that
# is installed.
#   scripts/package.sh [OUT_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-.}" && cd "${1:-.}" && pwd)
cd "$root"

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target zorvan calivo zorvan-board-sim zorvan_man_pages zorvan_deb_changelog
(cd build && cpack -G DEB -B "$out/_cpack" >/dev/null)
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
