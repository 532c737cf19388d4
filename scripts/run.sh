#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program on the simulated
# programmer board. With a display the window opens; without one the command
# line programs the demo image into the simulated chip. Arguments, when
# given, go to tamberlink-cli instead.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# Only the programs (and their catalogue and translations): the tests,
# benchmarks and fuzz targets are test.sh's to build.
scripts/build.sh tamberlink-programs
if [ $# -gt 0 ]; then
  exec build/bin/tamberlink-cli "$@"
fi
if [ -x build/bin/tamberlink ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/tamberlink --simulate
fi
build/bin/tamberlink-cli devices
exec build/bin/tamberlink-cli --simulate auto res/demo/blink.hex
