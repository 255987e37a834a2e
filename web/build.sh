#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Builds the game as a static web site: BUILD_DIR/site/ with index.html, the
# service worker sw.js, and the page's script, the game's bramble.js, bramble.wasm
# and bramble.data and the rest under names carrying a hash of their content
# (cmake/web-site.cmake), each large one also gzip- and Brotli-compressed.
#
#   web/build.sh [BUILD_DIR [HOST_BUILD]]     defaults: build-web/, build-host/
#
# BUILD_DIR is a configure of the source tree with emscripten's toolchain
# (cmake/emscripten.cmake finds it; cmake/web.cmake holds the browser's options),
# the same as `cmake --preset web`. Its first configure builds SDL2 and SDL2_mixer for the
# browser from Debian's sources into the shared cache build-sdl/ (cmake/sdl.cmake:
# minutes, once). The assets come from the native generators of HOST_BUILD
# (cmake/host.cmake; the test build passes its own). Later runs only rebuild what
# changed: seconds. BRAMBLE_WERROR=ON in the environment makes warnings errors.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(dirname "$here")"
build="$(mkdir -p "${1:-$src/build-web}" && cd "${1:-$src/build-web}" && pwd)"
jobs="${WEB_JOBS:-2}"

for tool in emcc rsvg-convert brotli; do
    command -v $tool >/dev/null || {
        echo "$0: $tool not found (scripts/deps.sh installs it)" >&2
        exit 1
    }
done
# emcc's JavaScript optimiser loads acorn, which Debian installs as node-acorn.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

args=(-DCMAKE_BUILD_TYPE=Release)
[ -n "${2:-}" ] && args+=(-DBRAMBLE_HOST_BUILD="$(cd "$2" && pwd)")
[ -n "${BRAMBLE_WERROR:-}" ] && args+=(-DBRAMBLE_WERROR="$BRAMBLE_WERROR")
log="$build/configure.log"
CMAKE_BUILD_PARALLEL_LEVEL="$jobs" \
    cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/emscripten.cmake" "${args[@]}" \
    >"$log" 2>&1 || {
    tail -n 40 "$log" >&2
    echo "$0: configuring $build failed (whole output in $log)" >&2
    exit 1
}
cmake --build "$build" -j "$jobs"
echo "web: site ready in $build/site"
