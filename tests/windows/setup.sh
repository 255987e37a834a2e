#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Set-up of the Windows tests: builds the Windows zip and installer into BUILD_DIR
# (the assets of the native build tree HOST_BUILD, the test build itself) and the
# tests' own program BUILD_DIR/probes/fatal_notice.exe, unpacks the zip into
# BUILD_DIR/unpacked, as a player would, and makes the private Wine prefix
# BUILD_DIR/wineprefix once. The installer is made a second time as the version
# OLDER_VERSION, with one file more (retired/notes.txt, which this version no
# longer ships), into BUILD_DIR/older, for the upgrade test.
#
#   tests/windows/setup.sh BUILD_DIR HOST_BUILD OLDER_VERSION
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1 host=$2 older=$3

packages=$(bash "$root/scripts/windows-build.sh" "$build" "$host")
zip=${packages%%$'\n'*} # the first line
# The tests' own Windows program, beside the game's build (never in its packages).
cmake --build "$build" --target fatal_notice -j "${JOBS:-2}" >/dev/null
rm -rf "$build/unpacked"
mkdir -p "$build/unpacked"
(cd "$build/unpacked" && cmake -E tar xf "$zip")
echo "unpacked $zip"
rm -rf "$build/older"
(cd "$build" && cpack -G NSIS -B "$build/older" -D CPACK_PACKAGE_VERSION="$older" \
  -D CPACK_PACKAGE_FILE_NAME="bramble-$older-windows-x64" \
  -D CPACK_INSTALL_SCRIPTS="$root/tests/windows/older.cmake" >/dev/null)
echo "made the installer of version $older"

export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  # No display: the prefix needs none, and wineboot shows no dialog without one.
  env -u DISPLAY wine wineboot --init
  wineserver -w
  echo "made the Wine prefix $WINEPREFIX"
fi
