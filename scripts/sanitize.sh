#!/usr/bin/env bash
# Builds everything with clang under AddressSanitizer + UndefinedBehavior-
# Sanitizer (build-asan/) and/or ThreadSanitizer (build-tsan/) and runs the
# whole test suite there, then a short soak on the simulated board and cable.
#
#   scripts/sanitize.sh [asan|tsan|all]      (default all)
#
# Any report of a sanitizer fails the test or the soak that made it, and so
# this script.
set -euo pipefail
cd "$(dirname "$0")/.."

which="${1:-all}"
jobs="${TAMBERLINK_JOBS:-2}"
soak_runs="${TAMBERLINK_SANITIZE_SOAK_RUNS:-25}"
soak_cable_runs="${TAMBERLINK_SANITIZE_SOAK_CABLE_RUNS:-8}"
# The window's tests run too unless TAMBERLINK_SANITIZE_GUI=OFF.
gui="${TAMBERLINK_SANITIZE_GUI:-ON}"

# LeakSanitizer takes part in every AddressSanitizer run; every report stops
# the program with a failure.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1}"
# Leaks inside Debian's uninstrumented D-Bus libraries are not judged (see
# scripts/sanitizers/lsan.supp).
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/sanitizers/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
# Qt is not instrumented: calls made inside its libraries are not judged
# (see scripts/sanitizers/tsan.supp).
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:history_size=4:suppressions=$PWD/scripts/sanitizers/tsan.supp}"

run_one() {
  local kind="$1" flags="$2" exclude="${3:-}"
  local build="build-$kind"
  echo "== $kind: configure and build ($build)"
  cmake -S . -B "$build" -G Ninja \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" \
    -DTAMBERLINK_BUILD_BENCH=OFF -DTAMBERLINK_BUILD_GUI="$gui" >/dev/null
  cmake --build "$build" -j "$jobs"
  echo "== $kind: tests"
  (cd "$build" && ctest --output-on-failure -j "$jobs" --timeout 900 ${exclude:+-E "$exclude"})
  echo "== $kind: short soak"
  "$build/bin/tamberlink-soak" --runs "$soak_runs" --seed 11
  "$build/bin/tamberlink-soak" --cable --runs "$soak_cable_runs" --seed 11
}

common="-fno-omit-frame-pointer -fno-sanitize-recover=all"
# Qt's D-Bus module moves every message through a thread of its own, handing
# events over inside uninstrumented Qt Core: ThreadSanitizer reports each one.
# Our portal client runs on the main thread only, so these tests run in the
# plain and AddressSanitizer suites but not under ThreadSanitizer.
tsan_exclude="^HotkeyPortalTest\."
case "$which" in
  asan) run_one asan "-fsanitize=address,undefined $common" ;;
  tsan) run_one tsan "-fsanitize=thread $common" "$tsan_exclude" ;;
  all)
    run_one asan "-fsanitize=address,undefined $common"
    run_one tsan "-fsanitize=thread $common" "$tsan_exclude"
    ;;
  *) echo "usage: scripts/sanitize.sh [asan|tsan|all]" >&2; exit 2 ;;
esac
