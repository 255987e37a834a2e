#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Soak run (not part of the test suite): the game loop unpaced for SECONDS
# (default 3600) on SDL's dummy drivers with the hot-reload watcher busy on
# pictures rewritten every second; prints resident memory, the resource table
# and the tracked blocks every REPORT_EVERY seconds (default 60) and a summary.
#
#   nice -n 10 tools/soak.sh [SECONDS] [REPORT_EVERY] [BUILD_DIR]   default build-soak/
#
# BUILD_DIR is a non-sanitized RelWithDebInfo build (configured and built here
# when missing); tools/soak.cpp is linked with its engine and game libraries.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-3600}"
every="${2:-60}"
build="$(realpath -m "${3:-$root/build-soak}")"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRAMBLE_SANITIZE=OFF \
    -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j 2 >/dev/null
# shellcheck disable=SC2046
g++ -std=gnu++20 -O2 -g -Wall -Wextra -Werror -I"$root/engine" -I"$root/inc" \
  "$here/soak.cpp" "$build/src/libbramble_game.a" "$build/libvek.a" \
  $(pkg-config --cflags --libs sdl2 SDL2_mixer) -lm -pthread -o "$build/soak"
exec "$build/soak" "$seconds" "$build/game" "$every"
