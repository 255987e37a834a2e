#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Builds the game as a static web site into BUILD_DIR (default: build-web/ of the
# source tree): BUILD_DIR/site/ with index.html, page.js, bramble.js, bramble.wasm,
# bramble.data, files.json (their sizes) and licences/.
#
#   web/build.sh [BUILD_DIR [HOST_BUILD]]
#
# Three stages:
#  1. SDL2 and SDL2_mixer compiled for the browser from Debian's own source
#     packages (scripts/debian-source.sh), installed into BUILD_DIR/sdl/prefix.
#     This is the slow part (minutes); it runs once per build tree.
#  2. The assets, made by the native asset generators of tools/ in
#     BUILD_DIR/host, or in HOST_BUILD, a native build tree that has built them
#     already (the test build passes its own). They are build-host programs, run
#     here, never compiled for the browser. The music is written as 8-bit mu-law (music --mu-law), a
#     quarter of the compressed download; it keeps its .wav name and the mixer's
#     WAV decoder.
#  3. The engine and the game compiled with em++ (web/CMakeLists.txt) and the
#     page copied beside them.
# Stages 2 and 3 are incremental builds: a second run with nothing changed takes
# seconds.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(dirname "$here")"
build="$(mkdir -p "${1:-$src/build-web}" && cd "${1:-$src/build-web}" && pwd)"
jobs="${WEB_JOBS:-2}"

for tool in emcmake emcc; do
    command -v $tool >/dev/null || {
        echo "$0: $tool not found (scripts/deps.sh installs emscripten)" >&2
        exit 1
    }
done
# emcc's JavaScript optimiser loads acorn, which Debian installs as node-acorn.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

# Runs a step with its output in LOG, shown only when the step fails.
quiet() {
    local log="$1"
    shift
    "$@" >"$log" 2>&1 || {
        tail -n 40 "$log" >&2
        echo "$0: failed: $* (whole output in $log)" >&2
        return 1
    }
}

# --- 1. SDL2 and SDL2_mixer --------------------------------------------------------
prefix="$build/sdl/prefix"
if [ ! -f "$prefix/.complete" ]; then
    mapfile -t dirs < <("$src/scripts/debian-source.sh" "$build/sdl/src" libsdl2 libsdl2-mixer)
    rm -rf "$prefix" "$build/sdl/build"
    mkdir -p "$build/sdl/build"
    log="$build/sdl/build/log"
    echo "web: building SDL2 for the browser (${dirs[0]##*/})"
    quiet "$log" emcmake cmake -S "${dirs[0]}" -B "$build/sdl/build/sdl2" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
        -DSDL_TESTS=OFF
    quiet "$log" cmake --build "$build/sdl/build/sdl2" -j "$jobs"
    quiet "$log" cmake --install "$build/sdl/build/sdl2"
    # The mixer with its WAV decoder only: the game plays nothing else.
    echo "web: building SDL2_mixer for the browser (${dirs[1]##*/})"
    quiet "$log" emcmake cmake -S "${dirs[1]}" -B "$build/sdl/build/mixer" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_FIND_ROOT_PATH="$prefix" -DSDL2_DIR="$prefix/lib/cmake/SDL2" \
        -DBUILD_SHARED_LIBS=OFF -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_VENDORED=OFF \
        -DSDL2MIXER_DEPS_SHARED=OFF -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF \
        -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF \
        -DSDL2MIXER_VORBIS=OFF -DSDL2MIXER_WAVE=ON
    quiet "$log" cmake --build "$build/sdl/build/mixer" -j "$jobs"
    quiet "$log" cmake --install "$build/sdl/build/mixer"
    touch "$prefix/.complete"
fi

# --- 2. Assets ------------------------------------------------------------------------
# The native generators' build; only the asset target is built (no game, no tests).
if [ -n "${2:-}" ]; then
    host="$(cd "$2" && pwd)"
else
    host="$build/host"
    mkdir -p "$host"
    quiet "$host/log" cmake -S "$src" -B "$host" -DCMAKE_BUILD_TYPE=Release -DBRAMBLE_TESTS=OFF \
        -DBRAMBLE_BENCH=OFF -DBRAMBLE_EXAMPLES=OFF
    quiet "$host/log" cmake --build "$host" --target bramble_assets -j "$jobs"
fi
assets="$build/assets"
mkdir -p "$assets/asset" "$assets/res/world"
for f in atarifont.bmp keyboard.bmp atarifont.LICENSE.txt; do
    cmp -s "$host/game/asset/$f" "$assets/asset/$f" || cp "$host/game/asset/$f" "$assets/asset/$f"
done
cmp -s "$host/game/res/world/world.csv" "$assets/res/world/world.csv" ||
    cp "$host/game/res/world/world.csv" "$assets/res/world/world.csv"
music="$assets/asset/Hall-of-the-Mountain-King.wav"
if [ ! -f "$music" ] || [ "$host/tools/music" -nt "$music" ]; then
    "$host/tools/music" --mu-law "$music"
fi

# --- 3. The game ----------------------------------------------------------------------
mkdir -p "$build/game"
quiet "$build/game/log" emcmake cmake -S "$here" -B "$build/game" -DCMAKE_BUILD_TYPE=Release \
    -DBRAMBLE_SDL_PREFIX="$prefix" -DBRAMBLE_WEB_ASSETS="$assets"
cmake --build "$build/game" -j "$jobs"
site="$build/site"
mkdir -p "$site"
for f in bramble.js bramble.wasm bramble.data; do
    cmp -s "$build/game/$f" "$site/$f" || cp "$build/game/$f" "$site/$f"
done
cp "$here/index.html" "$here/page.js" "$site/"
# The sizes of the two big downloads, for the page's progress bar.
printf '{"bramble.wasm": %d, "bramble.data": %d}\n' \
    "$(stat -c %s "$site/bramble.wasm")" "$(stat -c %s "$site/bramble.data")" >"$site/files.json"
# The licences of what the site carries, as the Windows zip has them, linked from the
# page; SDL's builds install theirs (LICENSE.txt of Debian's sources) into the prefix.
mkdir -p "$site/licences"
cp "$prefix/share/licenses/SDL2/LICENSE.txt" "$site/licences/SDL2.txt"
cp "$prefix/share/licenses/SDL2_mixer/LICENSE.txt" "$site/licences/SDL2_mixer.txt"
cp "$src/asset/atarifont.LICENSE.txt" "$site/licences/"
cp "$src/LICENSE" "$site/licences/LICENSE.txt"
echo "web: site ready in $site"
