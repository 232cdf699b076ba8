#!/usr/bin/env bash
# Builds the fuzz targets with clang (the code under test instrumented for
# coverage, ASan and UBSan) and runs each under libFuzzer for SECONDS
# (default 60), as many at once as there are cores. Fails on any finding:
# the input is kept in build-fuzz/findings/ and its report printed.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=build-fuzz
CXX=clang++ cmake -S . -B "$build" -G Ninja -DZORVAN_FUZZ=ON -DZORVAN_BUILD_TESTS=OFF \
  -DZORVAN_BUILD_BENCH=OFF ${CMAKE_CXX_COMPILER_LAUNCHER:+-DCMAKE_CXX_COMPILER_LAUNCHER=$CMAKE_CXX_COMPILER_LAUNCHER} >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for seeds in fuzz/corpus/*/; do
    targets+=("$(basename "$seeds")")
  done
fi
cmake --build "$build" --target "${targets[@]}"

mkdir -p "$build/findings"
# One job per target: new inputs go to a work corpus in the build folder, the
# seeds in the source tree are only read.
fuzz_one() {
  local target=$1 work="$build/corpus/$1" log="$build/findings/$1.log"
  mkdir -p "$work"
  if ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64 UBSAN_OPTIONS=print_stacktrace=1 \
    "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/findings/$target-" -print_final_stats=1 \
      "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "fuzz $target: $(grep -E '^#[0-9]+.*DONE' "$log" | tail -1)"
  else
    echo "fuzz $target: FINDING"
    tail -n 60 "$log"
    return 1
  fi
}

jobs=$(nproc)
failed=0
running=0
for target in "${targets[@]}"; do
  fuzz_one "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
[ "$failed" -eq 0 ] || { echo "fuzz: findings in $build/findings/" >&2; exit 1; }
echo "fuzz: ${#targets[@]} targets, ${seconds} s each, no finding"
