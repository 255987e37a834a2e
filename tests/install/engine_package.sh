#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Installs the engine's component `vek` into a temporary prefix and builds
# examples/hello.cpp out of tree against it twice, as another project would:
# through CMake's find_package(VEK), with the README's CMakeLists.txt, and through
# pkg-config. Each build is then started headless and must reach its main loop
# and end with status 0 on SIGTERM (which SDL turns into its quit event).
#
#   engine_package.sh CMAKE_COMMAND BUILD_DIR SOURCE_DIR CXX_COMPILER [LINK_FLAGS]
#
# LINK_FLAGS: what the engine's build links with (its sanitizers): an instrumented
# libvek.a needs their runtimes in the program that links it.
set -uo pipefail
cmake_cmd=$1 build=$2 src=$3 cxx=$4 link_flags=${5:-}

work=$(mktemp -d /tmp/bramble-vek.XXXXXX)
pid=""
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$work/prefix
env -u DESTDIR "$cmake_cmd" --install "$build" --component vek --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; fail "cmake --install --component vek"; }
[ -e "$prefix/lib/bramble" ] && fail "the engine component installed the game"
for f in include/vek/VEK.h include/vek/_.h; do
    cmp -s "$src/engine/${f#include/vek/}" "$prefix/$f" || fail "$f missing or differs"
done
libdir=$(dirname "$(find "$prefix" -name libvek.a | head -1)")
[ -f "$libdir/libvek.a" ] || fail "no libvek.a under the prefix"

# --- find_package -------------------------------------------------------------
# The README's whole CMakeLists.txt (its one cmake block), beside hello.cpp; it
# configures without a word from CMake beyond its own status lines.
mkdir "$work/cmake-src"
sed -n '/^```cmake$/,/^```$/p' "$src/README.md" | sed '1d;$d' >"$work/cmake-src/CMakeLists.txt"
grep -q 'find_package(VEK' "$work/cmake-src/CMakeLists.txt" || fail "README: no cmake block with find_package(VEK)"
cp "$src/examples/hello.cpp" "$work/cmake-src/"
"$cmake_cmd" -S "$work/cmake-src" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_EXE_LINKER_FLAGS="$link_flags" >"$work/configure.log" 2>&1 &&
    "$cmake_cmd" --build "$work/cmake-build" >"$work/build.log" 2>&1 ||
    { cat "$work/configure.log" "$work/build.log" >&2; fail "hello with find_package(VEK)"; }
if grep -Ei 'warning|deprecat' "$work/configure.log" >&2; then
    fail "the README's CMakeLists.txt draws warnings from CMake"
fi

# --- pkg-config ----------------------------------------------------------------
mkdir "$work/pc-build"
flags=$(PKG_CONFIG_PATH="$libdir/pkgconfig" pkg-config --cflags --libs vek) ||
    fail "pkg-config does not know vek"
# shellcheck disable=SC2086 # word splitting of the flags is intended
"$cxx" -std=c++20 "$src/examples/hello.cpp" -o "$work/pc-build/hello" $flags $link_flags \
    >"$work/build.log" 2>&1 || { cat "$work/build.log" >&2; fail "hello with pkg-config: c++ $flags"; }

# --- runs ----------------------------------------------------------------------
run_headless() {
    local exe=$1 dir
    dir=$(dirname "$exe")
    env SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy \
        DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "$exe" >"$work/stdout" 2>"$work/stderr" &
    pid=$!
    # hello writes its picture beside itself once the engine is up, just before
    # its main loop; SDL's SIGTERM handler is in place from then on.
    local deadline=$((SECONDS + 30))
    while [ ! -s "$dir/hello.bmp" ] && kill -0 "$pid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        sleep 0.1
    done
    [ -s "$dir/hello.bmp" ] || { cat "$work/stderr" >&2; fail "$exe: never started"; }
    sleep 1 # a second of frames
    kill -TERM "$pid" 2>/dev/null || { cat "$work/stderr" >&2; fail "$exe: ended by itself"; }
    wait "$pid"
    local status=$?
    pid=""
    [ $status -eq 0 ] || { cat "$work/stderr" >&2; fail "$exe: exit status $status after SIGTERM"; }
}
run_headless "$work/cmake-build/hello"
run_headless "$work/pc-build/hello"
echo "engine package: installed, hello built with find_package and pkg-config, both ran"
