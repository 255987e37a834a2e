#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# cmake/host.cmake's lock holds between its two sides: while one cross build
# makes the assets in the shared native tree (its bramble_host_assets step), a
# second cross build's configure waits for it before it looks at the tree. A
# small project stands in for the game: configured as the native tree it gives
# a bramble_assets target that takes two seconds and marks its start and end.
#
#   host_lock.sh SOURCE_DIR
set -uo pipefail
src=$1
work=$(mktemp -d /tmp/bramble-host-lock.XXXXXX)
trap 'kill "${assets:-}" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

proj=$work/proj
mkdir -p "$proj"
cat >"$proj/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(host_lock NONE)
if(CMAKE_BINARY_DIR STREQUAL "$proj/build-host")
  add_custom_target(bramble_assets
    COMMAND sh -c "touch '$work/started' && sleep 2 && touch '$work/ended'" VERBATIM)
  return()
endif()
include($src/cmake/host.cmake)
EOF
configure() { cmake -S "$proj" -B "$proj/$1" -G "Unix Makefiles" >"$work/$1.log" 2>&1; }

configure first || fail "the first cross build did not configure: $(cat "$work/first.log")"
[ -f "$proj/build-host/CMakeCache.txt" ] || fail "the native tree was not configured"

make -C "$proj/first" bramble_host_assets >"$work/assets.log" 2>&1 &
assets=$!
for _ in $(seq 100); do [ -e "$work/started" ] && break; sleep 0.1; done
[ -e "$work/started" ] || fail "the assets step did not start: $(cat "$work/assets.log")"

configure second || fail "the second cross build did not configure: $(cat "$work/second.log")"
[ -e "$work/ended" ] || fail "the second configure did not wait for the assets step to end"
wait "$assets" || fail "the assets step failed: $(cat "$work/assets.log")"
echo "a configure waited for the assets step that held the native tree"
