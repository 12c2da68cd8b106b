#!/usr/bin/env bash
# Builds the plugin and the host runner, loads libab_eip.so through the runner exactly as a
# host does, and shows the schema it declares and the identity items init() creates for the
# demo devices (all on loopback). The live read/write demo against the built-in simulator
# follows once the simulator lands.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target ab_eip ab-eip-runner
runner=$(find build -type f -name ab-eip-runner | head -n 1)
store=$(mktemp -d)/demo.items.json
trap 'rm -rf "$(dirname "$store")"' EXIT
"$runner" --show-schema --item-store "$store" examples/demo.json
