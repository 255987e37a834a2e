#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The Windows build: cross-compiles bramble.exe with mingw-w64 into BUILD_DIR
# (default build-windows/) and packs it as a zip and as an installer (NSIS);
# prints the zip's path, then the installer's, one a line. The first configure
# builds SDL2 and SDL2_mixer for Windows from Debian's sources into the shared
# cache build-sdl/ (cmake/sdl.cmake: minutes, once).
#
#   scripts/windows-build.sh [BUILD_DIR [HOST_BUILD]]
#
# HOST_BUILD: the native build tree whose asset generators make the assets
# (cmake/host.cmake); default build-host/, shared with the browser build.
# BRAMBLE_WERROR=ON in the environment makes warnings errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}
host=${2:-}

args=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release)
[ -n "$host" ] && args+=(-DBRAMBLE_HOST_BUILD="$(cd "$host" && pwd)")
[ -n "${BRAMBLE_WERROR:-}" ] && args+=(-DBRAMBLE_WERROR="$BRAMBLE_WERROR")
CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}" cmake -S "$root" -B "$build" "${args[@]}" >/dev/null
cmake --build "$build" -j "${JOBS:-2}" >/dev/null
# The packages of this configuration, by the name CPack was given (the installer's
# gets -setup in packaging/windows/CPackOptions.cmake): an older version's in a
# reused build folder are not them.
name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
dir=$(cd "$build" && pwd)
# Both carry the time of the last commit (SOURCE_DATE_EPOCH), not the build's:
# the zip is packed by scripts/pack.sh from the stripped install, the installer
# by cpack, whose staged files get that time (cmake/staged-files.cmake).
SOURCE_DATE_EPOCH=$(bash "$root/scripts/source-date.sh")
export SOURCE_DATE_EPOCH
rm -rf "$dir/zip-stage"
cmake --install "$build" --prefix "$dir/zip-stage/$name" --strip >/dev/null
bash "$root/scripts/pack.sh" zip "$dir/zip-stage" "$dir/$name.zip"
(cd "$build" && cpack -G NSIS >/dev/null)
for package in "$dir/$name.zip" "$dir/$name-setup.exe"; do
  [ -n "$name" ] && [ -f "$package" ] || { echo "windows-build.sh: no $package" >&2; exit 1; }
  echo "$package"
done
