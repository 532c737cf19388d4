#!/usr/bin/env bash
# Builds the Debian package: a release build with the prefix /usr, only the
# programs and the catalogue, then cpack. Prints the package's path last.
# Needs dpkg-dev and file (library dependencies come from dpkg-shlibdeps).
#
#   scripts/package.sh [BUILD_DIR]      (default build-package)
#
# A new BUILD_DIR is configured without tests and benchmarks; an existing one
# keeps its options and only gets the prefix /usr.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-package}"
if [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_INSTALL_PREFIX=/usr >/dev/null
else
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DTAMBERLINK_BUILD_TESTS=OFF -DTAMBERLINK_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" --target tamberlink-programs -j "${TAMBERLINK_JOBS:-2}"
rm -f "$build"/tamberlink_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
ls "$build"/tamberlink_*.deb
