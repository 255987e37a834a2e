#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The unpacked Windows game needs nothing installed: bramble.exe imports only DLLs
# every Windows has (no SDL2.dll, no compiler runtime such as libstdc++-6.dll or
# libwinpthread-1.dll), and asset/ and res/ are beside it; it carries the game's
# icon (the PNG in its resources) and VERSION in its version resource.
#
#   tests/windows/self_contained.sh GAME_DIR VERSION
set -uo pipefail
dir=$1 version=$2
system="advapi32 gdi32 imm32 kernel32 msvcrt ole32 oleaut32 setupapi shell32 user32 version winmm"
status=0
for part in bramble.exe asset/atarifont.bmp asset/keyboard.bmp asset/Hall-of-the-Mountain-King.wav \
            res/world/world.csv; do
  [ -f "$dir/$part" ] || { echo "missing: $part"; status=1; }
done
dlls=$(x86_64-w64-mingw32-objdump -p "$dir/bramble.exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$dlls" ] || { echo "no import table read from $dir/bramble.exe"; exit 1; }
for dll in $dlls; do
  name=$(echo "${dll%.*}" | tr 'A-Z' 'a-z')
  case " $system " in
    *" $name "*) echo "imports $dll" ;;
    *) echo "imports $dll, which is not part of Windows"; status=1 ;;
  esac
done
resources=$(x86_64-w64-mingw32-objdump -s -j .rsrc "$dir/bramble.exe" 2>/dev/null)
[[ $resources == *.PNG* ]] || { echo "no icon in the resources of bramble.exe"; status=1; }
for key in FileVersion ProductVersion; do
  strings -el "$dir/bramble.exe" | grep -A1 -x "$key" | tail -n 1 | grep -qx "$version" ||
    { echo "no $key $version in bramble.exe"; status=1; }
done
exit $status
