#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The Windows build: cross-compiles bramble.exe with mingw-w64 into BUILD_DIR
# (default build-windows/) and packs it as a zip and as an installer (NSIS);
# prints the zip's path, then the installer's, one a line. The first
# run fetches Debian's SDL2 and SDL2_mixer sources and builds them (a few
# minutes, more on a loaded machine); later runs reuse them from BUILD_DIR.
#
#   scripts/windows-build.sh [BUILD_DIR [HOST_RUNTIME_DIR]]
#
# HOST_RUNTIME_DIR: a native runtime folder whose asset/ and res/ are shipped
# (the asset generators are build-host programs); without it BUILD_DIR/host makes
# them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}
host=${2:-}

args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release)
[ -n "$host" ] && args+=(-DBRAMBLE_HOST_ASSETS="$(cd "$host" && pwd)")
cmake -S "$root" -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" -j "${JOBS:-2}" >/dev/null
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null)
# The packages of this configuration, by the name CPack was given (the installer's
# gets -setup in packaging/windows/CPackOptions.cmake): an older version's in a
# reused build folder are not them.
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
dir=$(cd "$build" && pwd)
for package in "$dir/$name.zip" "$dir/$name-setup.exe"; do
  [ -n "$name" ] && [ -f "$package" ] || { echo "windows-build.sh: no $package" >&2; exit 1; }
  echo "$package"
done
