#!/usr/bin/env bash
# Takes docs/screenshot.png: the main window on the simulated programmer
# board, halfway through writing an 8 KB image. Needs no display (Qt's
# offscreen platform). With --lang en the English window goes to
# docs/screenshot-en.png.
#   scripts/screenshot.sh [--lang zh|en] [BUILD_DIR] [TOOL OPTIONS...]
set -euo pipefail
cd "$(dirname "$0")/.."
lang=zh
if [ "${1:-}" = --lang ]; then
  lang="${2:?--lang needs zh or en}"
  shift 2
fi
case "$lang" in
  zh) out=docs/screenshot.png ;;
  en) out=docs/screenshot-en.png ;;
  *) echo "screenshot.sh: --lang takes zh or en" >&2; exit 2 ;;
esac
build="${1:-build}"
if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target tamberlink-screenshot
mkdir -p docs
QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" \
  "$build/bin/tamberlink-screenshot" --lang "$lang" --out "$out" "${@:2}"
