#!/usr/bin/env bash
# Sets up, builds and runs every test: the plain build (warnings as errors),
# the AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer
# build of the threaded tests, and the format check.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-deps.sh

jobs=$(nproc)
run_suite() {  # <build dir> <ctest args...>
  local dir=$1
  shift
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" "$@"
}

echo "== build (warnings as errors)"
cmake -S . -B build -G Ninja -DZORVAN_WERROR=ON >/dev/null
cmake --build build
run_suite build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZORVAN_BUILD_BENCH=OFF \
  -DZORVAN_SANITIZE=address,undefined >/dev/null
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp run_suite build-asan

echo "== ThreadSanitizer (threaded tests)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZORVAN_BUILD_BENCH=OFF \
  -DZORVAN_SANITIZE=thread >/dev/null
cmake --build build-tsan
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 run_suite build-tsan -L threaded

echo "== format"
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "format: clean"
