#!/usr/bin/env bash
# The hardening runs that follow the test suite: a short soak on the
# simulators, a short fuzz of every target, and the whole suite under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer.
# Each step's time is printed; the first failing step fails the script.
#
# TAMBERLINK_FUZZ_SECONDS (default 20), TAMBERLINK_SOAK_RUNS (50) and
# TAMBERLINK_SOAK_CABLE_RUNS (20) size the steps.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds="${TAMBERLINK_FUZZ_SECONDS:-20}"
soak_runs="${TAMBERLINK_SOAK_RUNS:-50}"
soak_cable_runs="${TAMBERLINK_SOAK_CABLE_RUNS:-20}"

step() {
  local name="$1"
  shift
  local start=$SECONDS
  echo "==== hardening: $name"
  "$@"
  echo "==== hardening: $name took $((SECONDS - start)) s"
}

total=$SECONDS
step "soak ($soak_runs board runs, $soak_cable_runs cable runs)" \
  scripts/soak.sh "$soak_runs" "$soak_cable_runs" "${TAMBERLINK_SOAK_SEED:-$RANDOM}"
step "fuzz (${fuzz_seconds} s per target)" scripts/fuzz.sh "$fuzz_seconds"
cat build-fuzz/fuzz-summary.txt
step "AddressSanitizer + UndefinedBehaviorSanitizer" scripts/sanitize.sh asan
step "ThreadSanitizer" scripts/sanitize.sh tsan
echo "==== hardening: all steps took $((SECONDS - total)) s"
