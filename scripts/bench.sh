#!/usr/bin/env bash
# Builds the benchmarks optimised (build-rel/) and runs them: a table of the loopback floor,
# each figure and its ratio. Pass --quick for a shorter run. Loopback only (127.0.50.x).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build-rel -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build-rel --target ab_eip_benchmarks -j"$(nproc)"
exec build-rel/bin/ab-eip-benchmarks "$@"
