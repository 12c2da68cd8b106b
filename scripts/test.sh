#!/usr/bin/env bash
# Builds everything in a plain, an AddressSanitizer + UndefinedBehaviorSanitizer and a
# ThreadSanitizer configuration, runs every test suite in each, then the short fuzz runs.
# Exit status 0 only when all pass.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

build() {  # build <dir> <cmake options...>
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
}

build build
build build-asan -DAB_EIP_SANITIZE=ON -DAB_EIP_BENCHMARKS=OFF
build build-tsan -DAB_EIP_TSAN=ON -DAB_EIP_BENCHMARKS=OFF

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
(cd build && ctest --output-on-failure -j"$jobs") || status=1
bash scripts/package-check.sh build || status=1
(cd build-asan && ctest --output-on-failure -j"$jobs") || status=1
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j"$jobs") || status=1

# Fuzz targets (clang + libFuzzer, build-fuzz/): a short bounded run of each; a crash,
# a sanitizer report or a hang fails the script. Long runs: scripts/fuzz-long.sh.
bash scripts/fuzz-run.sh 20 || status=1
exit $status
