#!/usr/bin/env bash
# Builds a folder of programs against the installed serial library
# (libzorvan-serial-dev), the two ways another project would: with CMake (the
# folder's CMakeLists.txt, which calls find_package(ZorvanSerial)) and with
# pkg-config (every *.cpp at the folder's top, or in a folder of its own just
# below, is a program of its own, named after the file). Then runs each PROGRAM named, from both builds; a failed
# build or run fails the script. Nothing from the source tree but the folder
# is used.
#   build_against_package.sh SOURCE_DIR [PROGRAM...]
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 SOURCE_DIR [PROGRAM...]" >&2; exit 2; }
src=$(cd "$1" && pwd)
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The user's package registry could point into a build tree: only what is
# installed counts.
cmake -S "$src" -B cmake -G Ninja -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF >cmake.log 2>&1 ||
  { cat cmake.log; echo "$src: CMake could not configure it against the package" >&2; exit 1; }
cmake --build cmake >>cmake.log 2>&1 || { cat cmake.log; echo "$src: CMake build failed" >&2; exit 1; }

mkdir pkg-config
flags=$(pkg-config --cflags --libs zorvan-serial)
shopt -s nullglob
sources=("$src"/*.cpp "$src"/*/*.cpp)
[ ${#sources[@]} -gt 0 ] || { echo "$src: no program to build with pkg-config" >&2; exit 1; }
for source in "${sources[@]}"; do
  # shellcheck disable=SC2086 # the flags are words
  c++ -o "pkg-config/$(basename "$source" .cpp)" "$source" $flags ||
    { echo "$source: pkg-config build failed" >&2; exit 1; }
done

for program in "$@"; do
  for way in cmake pkg-config; do
    binary=$(find "$way" -type f -name "$program" -perm -u+x | head -n 1)
    [ -n "$binary" ] || { echo "$src: the $way build made no $program" >&2; exit 1; }
    "$binary" || { echo "$src: $program (built with $way) failed" >&2; exit 1; }
  done
done
echo "$(basename "$src"): built against the package with CMake and pkg-config"
