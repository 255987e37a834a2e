#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The unpacked portable Linux build stands alone: the program needs only glibc's
# own libraries (objdump's NEEDED list: no SDL, no libstdc++, no libgcc_s, no X11
# or sound library), answers --version with VERSION and its built-in SDL, and the
# folder holds the assets, the README with the photosensitivity warning first in
# its how-to-play part, the desktop entry, the icon and the licences with the
# Debian source versions of SDL.
#
#   tests/release/portable_contents.sh GAME_DIR VERSION
set -uo pipefail
dir=$1 version=$2
glibc=" libc.so.6 libm.so.6 libpthread.so.0 libdl.so.2 librt.so.1 ld-linux-x86-64.so.2 "
status=0
for part in bramble asset/atarifont.bmp asset/keyboard.bmp asset/Hall-of-the-Mountain-King.wav \
            res/world/world.csv README.txt CHANGELOG.md bramble.desktop bramble.png bramble.svg \
            licences/bramble.txt licences/SDL2.txt licences/SDL2_mixer.txt \
            licences/gcc-runtime-libraries.txt licences/atarifont.LICENSE.txt; do
  [ -f "$dir/$part" ] || { echo "missing: $part"; status=1; }
done
needed=$(objdump -p "$dir/bramble" | awk '$1 == "NEEDED" { print $2 }')
[ -n "$needed" ] || { echo "no NEEDED entries read from $dir/bramble"; exit 1; }
for lib in $needed; do
  case $glibc in
    *" $lib "*) echo "needs $lib" ;;
    *) echo "needs $lib, which is not part of glibc"; status=1 ;;
  esac
done
out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$dir/bramble" --version) ||
  { echo "--version failed"; status=1; }
[ "$(echo "$out" | head -n 1)" = "bramble $version" ] || { echo "--version said: $out"; status=1; }
grep -Eq "^libsdl2 [^ ]+-[^ ]+$" "$dir/licences/SDL-debian-sources.txt" &&
  grep -Eq "^libsdl2-mixer [^ ]+-[^ ]+$" "$dir/licences/SDL-debian-sources.txt" ||
  { echo "no Debian source versions in licences/SDL-debian-sources.txt"; status=1; }
warning="Photosensitivity warning: this game flashes the whole screen in changing colours."
[ "$(grep -A2 -x "How to play" "$dir/README.txt" | tail -n 1 | cut -c1-${#warning})" = "$warning" ] ||
  { echo "README.txt: the how-to-play part does not start with the photosensitivity warning"; status=1; }
exit $status
