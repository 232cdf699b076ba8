#!/usr/bin/env bash
# Builds the fuzz targets with clang (the code under test instrumented for
# coverage, ASan and UBSan) in build-fuzz/ and runs them under libFuzzer, as
# many at once as there are cores. Two ways:
#
#   scripts/fuzz.sh [TARGET...]
#     The check CI runs, the same verdict on every run of the same commit:
#     each target replays every input of its corpus (seeds and past
#     findings), then fuzzes from those seeds with a fixed seed for a fixed
#     number of runs (a time bound would let the machine's speed decide how
#     far it gets).
#
#   scripts/fuzz.sh --explore SECONDS [TARGET...]
#     A developer's longer search with fresh random seeds, SECONDS per target,
#     growing a work corpus in build-fuzz/corpus/ across runs.
#
# Either way a finding fails the run; the input is left in build-fuzz/findings/
# with the target's report. Keep its minimised form as a seed
# (fuzz/corpus/<target>/finding-<what>): every test build replays the corpora.
set -euo pipefail
cd "$(dirname "$0")/.."

explore=0
seconds=0
if [ "${1:-}" = "--explore" ]; then
  [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+$ ]] || {
    echo "usage: scripts/fuzz.sh [--explore SECONDS] [TARGET...]" >&2
    exit 2
  }
  explore=1
  seconds=$2
  shift 2
fi

# Inputs each target tries in the fixed check: about 10 s apiece on a
# 2-core machine of today, under ASan and UBSan.
fixed_runs() {
  case $1 in
    board_road_fuzz) echo 30000 ;;
    calibration_load_fuzz) echo 600 ;;  # a settings file written and read each
    wb_coordinate_fuzz) echo 300000 ;;
    sim_script_fuzz) echo 30000 ;;
    serial_options_fuzz) echo 30000 ;;
    serial_string_fuzz) echo 100000 ;;
    *) echo 20000 ;;
  esac
}

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
export ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=64 UBSAN_OPTIONS=print_stacktrace=1
common=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1)
# Comparisons of addresses feed the fuzzer's choices, so the fixed check
# runs without address-space randomisation where the kernel lets it; and it
# never reloads its corpus on a timer.
fixed=()
if setarch "$(uname -m)" -R true 2>/dev/null; then
  fixed=(setarch "$(uname -m)" -R)
fi

# The fixed check of one target: replay, then a seeded run from the seeds
# alone, in name order, into a work corpus that starts empty.
check_one() {
  local target=$1 bin="$build/bin/$1" log="$build/findings/$1.log"
  local work="$build/check-corpus/$1" seeds
  rm -rf "$work"
  mkdir -p "$work"
  seeds=$(find "fuzz/corpus/$target" -maxdepth 1 -type f | LC_ALL=C sort | paste -sd, -)
  # shellcheck disable=SC2046 # the corpus file names have no blanks
  "$bin" "${common[@]}" $(tr , ' ' <<<"$seeds") >"$log" 2>&1 &&
    "${fixed[@]}" "$bin" "${common[@]}" -reload=0 -seed=1 -runs="$(fixed_runs "$target")" -seed_inputs="$seeds" \
      -artifact_prefix="$build/findings/$target-" "$work" >>"$log" 2>&1
}

explore_one() {
  local target=$1 work="$build/corpus/$1"
  mkdir -p "$work"
  "$build/bin/$target" "${common[@]}" -max_total_time="$seconds" \
    -artifact_prefix="$build/findings/$target-" "$work" "fuzz/corpus/$target" \
    >"$build/findings/$target.log" 2>&1
}

fuzz_one() {
  local target=$1 log="$build/findings/$1.log"
  if { [ $explore -eq 1 ] && explore_one "$target"; } ||
    { [ $explore -eq 0 ] && check_one "$target"; }; then
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
if [ "$failed" -ne 0 ]; then
  echo "fuzz: findings in $build/findings/; keep each minimised input as" \
    "fuzz/corpus/<target>/finding-<what> (\`<target> -minimize_crash=1 -runs=10000 FILE\`)" >&2
  exit 1
fi
if [ $explore -eq 1 ]; then
  echo "fuzz: ${#targets[@]} targets, ${seconds} s each, no finding"
else
  echo "fuzz: ${#targets[@]} targets, corpora replayed and fixed runs done, no finding"
fi
