#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The portable Linux build (cmake/linux.cmake) into BUILD_DIR (default
# build-linux/), packed as BUILD_DIR/bramble-<version>-linux-x86_64.tar.gz, whose
# path it prints. The first configure builds SDL2 and SDL2_mixer for it from
# Debian's sources into the shared cache build-sdl/ (cmake/sdl.cmake: minutes, once).
#
#   scripts/linux-build.sh [BUILD_DIR]
#
# BRAMBLE_WERROR=ON in the environment makes warnings errors.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(mkdir -p "${1:-$root/build-linux}" && cd "${1:-$root/build-linux}" && pwd)
version=$(sed -n 's/^project(bramble VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name=bramble-$version-linux-x86_64

args=(-DCMAKE_BUILD_TYPE=Release -DBRAMBLE_PORTABLE=ON -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF
      -DBRAMBLE_EXAMPLES=OFF)
[ -n "${BRAMBLE_WERROR:-}" ] && args+=(-DBRAMBLE_WERROR="$BRAMBLE_WERROR")
log=$build/build.log
{
  CMAKE_BUILD_PARALLEL_LEVEL="${JOBS:-2}" cmake -S "$root" -B "$build" "${args[@]}" &&
  cmake --build "$build" -j "${JOBS:-2}" &&
  rm -rf "$build/stage" &&
  cmake --install "$build" --prefix "$build/stage/$name" --strip
} >"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "$0: failed (whole output in $log)" >&2; exit 1; }
bash "$root/scripts/pack.sh" tgz "$build/stage/$name" "$build/$name.tar.gz"
echo "$build/$name.tar.gz"
