#!/usr/bin/env bash
# Builds the Debian package: a release build with the prefix /usr, only the
# programs and the catalogue, then cpack. Prints the package's path last.
# Needs dpkg-dev and file (library dependencies come from dpkg-shlibdeps),
# help2man for the manual pages, and lintian, which checks the result.
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
package=$(ls "$build"/tamberlink_*.deb)
# A package with lintian errors is not one a distribution would take.
if command -v lintian >/dev/null 2>&1; then
  report=$(lintian --allow-root "$package" 2>&1 || true)
  [ -n "$report" ] && printf '%s\n' "$report" >&2
  if printf '%s\n' "$report" | grep -q -E '^E: |no-manual-page'; then
    echo "package.sh: lintian found errors in $package" >&2
    exit 1
  fi
else
  echo "package.sh: lintian is not installed; the package was not checked" >&2
fi
echo "$package"
