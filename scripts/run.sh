#!/usr/bin/env bash
# Installs what is missing, builds, and runs the program. With no arguments it
# lists the device catalogue and programs a demo image into the simulated board.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
if [ $# -gt 0 ]; then
  exec build/bin/tamberlink-cli "$@"
fi
build/bin/tamberlink-cli devices
