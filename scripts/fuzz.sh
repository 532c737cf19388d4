#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/ and runs each one for a bounded
# time (default 30 s each), starting from the seeds in fuzz/corpus/<target>.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# New inputs go to build-fuzz/corpus/<target>, crashes to
# build-fuzz/artifacts/. A summary line per target (executions, seconds) is
# written to build-fuzz/fuzz-summary.txt. Exits non-zero when a target fails.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
shift || true
all_targets=(intel_hex_fuzz srecord_fuzz catalogue_fuzz profile_fuzz settings_fuzz recent_files_fuzz serial_replies_fuzz)
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=("${all_targets[@]}")

build=build-fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DCMAKE_C_FLAGS_DEBUG="-O1 -g" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DTAMBERLINK_BUILD_FUZZ=ON -DTAMBERLINK_BUILD_TESTS=OFF -DTAMBERLINK_BUILD_BENCH=OFF \
  -DTAMBERLINK_BUILD_GUI=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j "${TAMBERLINK_JOBS:-2}"

mkdir -p "$build/artifacts"
summary="$build/fuzz-summary.txt"
: >"$summary"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  args=(-max_total_time="$seconds" -timeout=60 -rss_limit_mb=2048 -print_final_stats=1
        -artifact_prefix="$build/artifacts/$target-")
  [ -f "fuzz/dict/$target.dict" ] && args+=(-dict="fuzz/dict/$target.dict")
  log="$build/$target.log"
  echo "== $target: ${seconds}s"
  if "$build/bin/$target" "${args[@]}" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    took=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log" | tail -1)
    echo "$target: ${runs:-?} executions in ${took:-?} s" | tee -a "$summary"
  else
    echo "$target: FAILED (see $log)" | tee -a "$summary"
    tail -40 "$log" >&2
    failed=1
  fi
done
exit $failed
