#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a bounded time.
# Usage: fuzz-run.sh [seconds per target, default 20]. Exit status 1 when a target finds a
# crash, a sanitizer report or a hang; the reproducer is kept in build-fuzz/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
dir=build-fuzz

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAB_EIP_FUZZ=ON -DAB_EIP_BENCHMARKS=OFF \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" --target fuzz_targets -j"$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
while read -r target seeds; do
  [ -n "$target" ] || continue
  work="$dir/fuzz/work/$target"      # new inputs go here, never into the committed seeds
  artifacts="$dir/fuzz/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  echo "fuzz: $target for ${seconds}s"
  if ! "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=5 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "$seeds" >"$dir/fuzz/$target.log" 2>&1; then
    echo "fuzz: $target FAILED (log $dir/fuzz/$target.log, reproducer in $artifacts)"
    tail -n 40 "$dir/fuzz/$target.log"
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$dir/fuzz/$target.log" | sed "s/^/fuzz: $target /" || true
  fi
done <"$dir/fuzz/targets.txt"
exit $status
