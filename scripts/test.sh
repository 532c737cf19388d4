#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 600)
# Soak, fuzzing and the sanitizer builds (long: see scripts/hardening.sh).
if [ "${TAMBERLINK_SKIP_HARDENING:-0}" != 1 ]; then
  scripts/hardening.sh
fi
