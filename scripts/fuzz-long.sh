#!/usr/bin/env bash
# The long fuzzing run: every target for FUZZ_MINUTES minutes (default 10). Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
minutes=${FUZZ_MINUTES:-10}
exec bash scripts/fuzz-run.sh $((minutes * 60))
