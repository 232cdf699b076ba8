#!/usr/bin/env bash
# Sets up, builds and runs every test: the plain build (warnings as errors),
# the AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer
# build of the threaded tests, the fault suite on both of the first two, the
# fuzz targets' fixed check under libFuzzer (scripts/fuzz.sh), the Debian
# packages (built in a clean folder of their own, lintian, installed, used,
# purged), and the format check. Each stage says how long it took.
#
# The test builds carry no full debug information (the plain build none, the
# sanitizer builds line tables for their reports): it is a third of the
# compile time and nothing here runs a debugger. ccache is used when it is
# installed; nothing needs it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh
if command -v ccache >/dev/null && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
fi

jobs=$(nproc)
stage_start=$SECONDS
stage() {  # <title>: closes the previous stage with its duration
  if [ -n "${stage_title:-}" ]; then
    echo "-- $stage_title: $((SECONDS - stage_start)) s"
  fi
  stage_title=$1
  stage_start=$SECONDS
  [ -z "$1" ] || echo "== $1"
}
run_suite() {  # <build dir> <ctest args...>
  local dir=$1
  shift
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
}

stage "build (warnings as errors)"
cmake -S . -B build -G Ninja -DZORVAN_WERROR=ON -DZORVAN_BUILD_TESTS=ON -DZORVAN_BUILD_BENCH=ON \
  -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" >/dev/null
cmake --build build
run_suite build -LE fault

stage "AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DZORVAN_BUILD_BENCH=OFF \
  -DZORVAN_SANITIZE=address,undefined >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp run_suite build-asan -LE fault

stage "ThreadSanitizer (threaded tests)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DZORVAN_BUILD_BENCH=OFF \
  -DZORVAN_SANITIZE=thread >/dev/null
cmake --build build-tsan --target threaded_tests
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_suite build-tsan -L threaded

stage "fault suite (plain and ASan + UBSan builds, side by side)"
# Its cases wait on the line's real rate and use little CPU: both builds'
# suites run at once, each printing its own log when done.
fault_logs=$(mktemp -d)
run_suite build -L fault >"$fault_logs/plain" 2>&1 &
plain_suite=$!
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp run_suite build-asan -L fault \
  >"$fault_logs/asan" 2>&1 &
asan_suite=$!
fault_failed=0
wait "$plain_suite" || fault_failed=1
wait "$asan_suite" || fault_failed=1
cat "$fault_logs/plain" "$fault_logs/asan"
rm -rf "$fault_logs"
[ "$fault_failed" -eq 0 ] || { echo "fault suite: failed" >&2; exit 1; }

stage "fuzz (libFuzzer, ASan + UBSan: corpora replayed, fixed seed and runs)"
scripts/fuzz.sh

stage "Debian package (clean build folder, lintian, install, use, purge)"
# One command builds the three packages and runs lintian on each; each
# package is then installed on its own, used, and purged, and every path the
# packages hold must be as it was before (a conffile left in /etc, or a
# folder of ours left empty, fails).
pkg_dir=$(mktemp -d)
chmod 755 "$pkg_dir"  # apt reads local packages as its own user
rm -rf build-package
scripts/package.sh "$pkg_dir"
packages=(zorvan zorvan-serial libzorvan-serial-dev)
export DEBIAN_FRONTEND=noninteractive
apt_get() { apt-get -o DPkg::Lock::Timeout=300 -y -qq "$@" >/dev/null; }
package_paths() {  # every path in the packages, one a line
  for name in "${packages[@]}"; do dpkg-deb --fsys-tarfile "$pkg_dir/${name}"_*.deb | tar -t; done |
    sed 's|^\./|/|; s|/$||' | grep -v '^$' | sort -u
}
paths_state() {  # the packages' paths that exist now
  package_paths | while read -r path; do
    if [ -e "$path" ] || [ -L "$path" ]; then echo "$path"; fi
  done
}
dpkg --purge "${packages[@]}" >/dev/null 2>&1 || true  # a run that stopped half-way
paths_state >"$pkg_dir/before"
man_pages_of() {  # <package>: man -w finds each page it installed
  local pages
  pages=$(dpkg -L "$1" | sed -n 's|^/usr/share/man/man\([0-9]\)/\(.*\)\.[0-9]\.gz$|\1 \2|p')
  [ -n "$pages" ] || { echo "package: $1 has no man page" >&2; return 1; }
  while read -r section page; do
    man -w "$section" "$page" >/dev/null || { echo "package: man -w $page fails" >&2; return 1; }
  done <<<"$pages"
}
(
  cd /
  apt_get install "$pkg_dir"/zorvan_*.deb
  QT_QPA_PLATFORM=offscreen zorvan --help >/dev/null
  QT_QPA_PLATFORM=offscreen Calivo.app --help >/dev/null
  man_pages_of zorvan
  udevdir=$(pkg-config --variable=udevdir udev 2>/dev/null || echo /lib/udev)
  for f in "${udevdir:-/lib/udev}/rules.d/60-zorvan.rules" /etc/xdg/autostart/zorvan.desktop \
    /usr/share/applications/zorvan.desktop /usr/share/applications/calivo.desktop \
    /usr/lib/modules-load.d/zorvan.conf /usr/share/metainfo/org.example.zorvan.metainfo.xml; do
    [ -f "$f" ] || { echo "package: $f is missing" >&2; exit 1; }
  done
  ! command -v zorvan-board-sim >/dev/null || { echo "package: the simulator is on PATH" >&2; exit 1; }

  apt_get install "$pkg_dir"/zorvan-serial_*.deb
  zorvan-serial --help >/dev/null
  man_pages_of zorvan-serial

  apt_get install "$pkg_dir"/libzorvan-serial-dev_*.deb
)
# Programs built against the -dev package; each folder is one line here.
tests/install/build_against_package.sh tests/install/consumer consumer
tests/install/build_against_package.sh examples
[ -f /usr/share/doc/libzorvan-serial-dev/html/index.html ] ||
  { echo "package: libzorvan-serial-dev has no reference" >&2; exit 1; }
apt_get remove zorvan
! command -v zorvan >/dev/null || { echo "package: zorvan still on PATH after removal" >&2; exit 1; }
[ -f /etc/xdg/autostart/zorvan.desktop ] || { echo "package: removal took the conffile" >&2; exit 1; }
apt_get purge "${packages[@]}"
for name in "${packages[@]}"; do
  status=$(dpkg-query -W -f '${db:Status-Status}' "$name" 2>/dev/null || true)
  [ -z "$status" ] || [ "$status" = not-installed ] ||
    { echo "package: $name is '$status' after purge" >&2; exit 1; }
done
paths_state >"$pkg_dir/after"
diff "$pkg_dir/before" "$pkg_dir/after" || { echo "package: purge left the paths above" >&2; exit 1; }
rm -rf "$pkg_dir"
echo "package: built, installed, used and purged"

stage "format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "format: clean"
stage ""
echo "-- all stages: $SECONDS s"
