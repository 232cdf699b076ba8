#!/usr/bin/env bash
# Builds zorvan and the board simulator, runs the driver against a simulated
# board playing tools/board_sim/scripts/demo.sim, and shows the packets the
# driver receives and the handshake it sends once the board falls silent.
#   scripts/demo.sh          stop after the first handshake
#   scripts/demo.sh --stay   keep running until Ctrl-C (or the window is closed)
set -euo pipefail
cd "$(dirname "$0")/.."
stay=0
[ "${1:-}" = "--stay" ] && stay=1

scripts/setup-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target zorvan zorvan-board-sim

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

"$bin/zorvan-board-sim" tools/board_sim/scripts/demo.sim >"$work/board" 2>&1 &
spid=$!
for _ in $(seq 100); do [ -s "$work/board" ] && break; sleep 0.05; done
device=$(head -n 1 "$work/board")
echo "== simulated board on $device"
tail -n +2 -f --pid="$spid" "$work/board" | sed -u 's/^/[board]  /' &

"$bin/zorvan" --device "$device" --log-stdout >"$work/zorvan" 2>&1 &
zpid=$!
tail -n +1 -f --pid="$zpid" "$work/zorvan" | sed -u 's/^/[zorvan] /' &

# The board sends its script, falls silent, and the driver's handshake
# ("rx CE 00 00 00 00 00 00 00") arrives about 1.5 s later.
for _ in $(seq 300); do
  grep -q '^rx CE' "$work/board" && break
  kill -0 "$zpid" 2>/dev/null || { echo "zorvan ended early"; exit 1; }
  sleep 0.05
done
if ! grep -q '^rx CE' "$work/board"; then
  echo "== no handshake arrived"
  exit 1
fi
sleep 0.2
echo "== the board received the driver's handshake after its silence"
if [ "$stay" = 1 ]; then
  echo "== running on (Ctrl-C to stop): the handshake repeats every ~1.5 s of silence"
  wait "$zpid" || true
fi
