#!/usr/bin/env bash
# The main job on this machine: builds the plugin, the host runner and the PLC simulator,
# starts simulated ControlLogix, Micro800, Omron NJ/NX and SLC500 controllers on loopback
# (127.0.0.2-127.0.0.5), and runs the plugin in the host runner against them: identity
# items, scalar, array and string values, one write read back, and a clean stop.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B "${BUILD:-build}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "${BUILD:-build}" -j"$(nproc)" --target ab_eip ab-eip-runner ab_sim_server

work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The simulator keeps stdin open on a pipe so that it serves until we stop it.
mkfifo "$work/sim.in"
${BIN:-build/bin}/ab-sim --config examples/sim/demo-controllers.json <"$work/sim.in" >"$work/sim.out" 2>&1 &
sim_pid=$!
exec 3>"$work/sim.in"
for _ in $(seq 1 50); do
  [ "$(grep -c '^listening' "$work/sim.out" 2>/dev/null || true)" -ge 4 ] && break
  sleep 0.1
done
cat "$work/sim.out"

echo
echo "== The plugin in the host runner: one pass, a write of Counter=42 and its read-back =="
${BIN:-build/bin}/ab-eip-runner --once --table --item-store "$work/demo.items.json" --write Counter=42 examples/demo.json || true
echo
echo "== The simulator's own value of Counter after the write =="
echo "get 127.0.0.2 Counter" >&3
sleep 0.3
tail -n 1 "$work/sim.out"
echo "quit" >&3
