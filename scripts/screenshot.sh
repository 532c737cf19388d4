#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window on the simulated programmer
# board, halfway through writing an 8 KB image. Needs no display (Qt's
# offscreen platform). Usage: scripts/screenshot.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tamberlink-screenshot
mkdir -p docs
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" \
  "$build/bin/tamberlink-screenshot" --out docs/screenshot.png "${@:2}"
