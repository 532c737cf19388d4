#!/usr/bin/env bash
# Builds tamberlink-soak and runs the soak: RUNS Auto runs on the simulated
# programmer board and CABLE_RUNS on the simulated ISP cable, each with a
# seeded random fault.
#
#   scripts/soak.sh [RUNS] [CABLE_RUNS] [SEED]      (default 1000 200 1)
#
# The build folder is build/ (TAMBERLINK_BUILD_DIR to change it).
set -euo pipefail
cd "$(dirname "$0")/.."

runs="${1:-1000}"
cable_runs="${2:-200}"
seed="${3:-1}"
build="${TAMBERLINK_BUILD_DIR:-build}"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tamberlink-soak -j "${TAMBERLINK_JOBS:-2}"

status=0
"$build/bin/tamberlink-soak" --runs "$runs" --seed "$seed" || status=1
"$build/bin/tamberlink-soak" --cable --runs "$cable_runs" --seed "$seed" || status=1
exit $status
