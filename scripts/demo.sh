#!/usr/bin/env bash
# Builds zorvan and the board simulator, and runs the driver against a
# simulated board playing tools/board_sim/scripts/demo.sim: a pen stroke, the
# pen's double-click command, a pen held until it right-clicks, and a touch
# stroke. With a display the real pointer moves (uinput or XTest); without one
# the driver's event log is shown.
#   scripts/demo.sh          play the demo once
#   scripts/demo.sh --stay   keep the driver running afterwards (Ctrl-C ends it)
set -euo pipefail
cd "$(dirname "$0")/.."
stay=0
[ "${1:-}" = "--stay" ] && stay=1

scripts/setup-deps.sh build runtime
# A fresh build folder leaves the tests and benchmarks out: the demo has
# installed only the build and runtime packages.
demo_flags=()
[ -f build/CMakeCache.txt ] || demo_flags=(-DZORVAN_BUILD_TESTS=OFF -DZORVAN_BUILD_BENCH=OFF)
cmake -S . -B build -G Ninja "${demo_flags[@]}" >/dev/null
echo "== building zorvan and zorvan-board-sim"
build_log=$(mktemp)
cmake --build build --target zorvan zorvan-board-sim >"$build_log" 2>&1 || { cat "$build_log"; exit 1; }
rm -f "$build_log"

bin=build/bin
work=$(mktemp -d)
spid="" zpid=""
cleanup() {
  # The driver first, so that it closes the board while the board is still there.
  for pid in $zpid $spid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A calibration of its own, so the demo neither needs nor touches yours: the
# dots 10% in from each edge of the screen saw these raw positions.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME/Zorvan"
cat >"$XDG_CONFIG_HOME/Zorvan/Zorvan.conf" <<'CONF'
[General]
DotCount=2
Dot0.x=500
Dot0.y=400
Dot1.x=500
Dot1.y=3600
Dot2.x=3500
Dot2.y=400
Dot3.x=3500
Dot3.y=3600
CONF

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  pointer=auto
  echo "== a display is there: watch the pointer"
else
  pointer=log
  echo "== no display: the pointer events are shown as the driver's event log"
fi

"$bin/zorvan-board-sim" tools/board_sim/scripts/demo.sim >"$work/board" 2>&1 &
spid=$!
for _ in $(seq 100); do [ -s "$work/board" ] && break; sleep 0.05; done
device=$(head -n 1 "$work/board")
echo "== simulated board on $device"
tail -n +2 -f --pid="$spid" "$work/board" | sed -u 's/^/[board]   /' &

"$bin/zorvan" --device "$device" --pointer "$pointer" --log-stdout >"$work/zorvan" 2>&1 &
zpid=$!
tail -n +1 -f --pid="$zpid" "$work/zorvan" | sed -u -E \
  -e 's/^((left|right)-(down|up|drag) .*)/[pointer] \1/' -e '/^\[pointer\]/!s/^/[zorvan]  /' &

# The driver sends its handshake after each silence of the board: once
# before the demo starts and once after it has ended.
for _ in $(seq 600); do
  [ "$(grep -c '^rx CE' "$work/board" || true)" -ge 2 ] && break
  kill -0 "$zpid" 2>/dev/null || { echo "== zorvan ended early"; exit 1; }
  sleep 0.05
done
if [ "$stay" = 1 ]; then
  echo "== demo played; the driver runs on (Ctrl-C to stop)"
  wait "$zpid" || true
  exit 0
fi
kill "$zpid" 2>/dev/null || true
wait "$zpid" 2>/dev/null || true
zpid=""
sleep 0.1
if [ "$pointer" = log ]; then
  echo "== demo done: $(grep -c -E '^(left|right)-' "$work/zorvan" || true) pointer events" \
    "from the board: a stroke, a double click (click=2), a right click, a touch stroke"
else
  echo "== demo done"
fi
