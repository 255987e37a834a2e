#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Leak check of the real game: valgrind --leak-check=full over a scripted
# play-through on a private X server, with disk audio (the microphone reads a
# file of loud and quiet stretches) and input from xdotool: the start word is
# clicked, then keys, clicks and pointer moves follow until the time is up,
# and the game is asked to quit with SIGTERM (SDL turns it into its quit event).
#
#   tools/valgrind.sh [SECONDS] [BUILD_DIR]     defaults: 60, build-vg/
#
# SECONDS of play count from the start of the run (the start screen, slow to
# come up under valgrind, is extra).
#
# BUILD_DIR is a non-sanitized Debug build, configured and built here when it
# does not exist. Writes valgrind's report to BUILD_DIR/valgrind/valgrind.log
# and fails unless the game exits with status 0 and no byte is definitely or
# indirectly lost. tools/valgrind.supp covers SDL, Mesa and D-Bus internals only.
# Not part of the test suite: one run takes a few minutes.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
seconds="${1:-60}"
build="$(realpath -m "${2:-$root/build-vg}")"
out="$build/valgrind"

if [ ! -x "$build/game/bramble" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DBRAMBLE_SANITIZE=OFF \
    -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j 2 >/dev/null

rm -rf "$out"
mkdir -p "$out"
# shellcheck source=tools/headless.sh
. "$here/headless.sh"
trap 'kill "$game" 2>/dev/null || true; headless_stop_xvfb' EXIT
game=""
headless_start_xvfb "$out"

# Microphone: 20 s of loud noise, 20 s of silence, then loud again to the end.
headless_write_mic "$out/loud.raw" 20 0.5
headless_write_mic "$out/quiet.raw" 20 0
cat "$out/loud.raw" "$out/quiet.raw" "$out/loud.raw" "$out/loud.raw" >"$out/mic.raw"
headless_audio_env "$out" "$out/mic.raw"
# headless_audio_env points D-Bus at a missing bus; BRAMBLE_VG_NO_BUS=1 leaves
# the address unset instead, as on a machine without any session bus.
if [ "${BRAMBLE_VG_NO_BUS:-0}" = 1 ]; then unset DBUS_SESSION_BUS_ADDRESS; fi

# Mesa's drivers are loaded with dlopen and unloaded before the leak check;
# --keep-debuginfo keeps their symbols, so suppressions can name their frames.
valgrind --leak-check=full --show-leak-kinds=definite,indirect,possible \
  --errors-for-leak-kinds=definite,indirect --keep-debuginfo=yes --num-callers=40 \
  --suppressions="$here/valgrind.supp" --gen-suppressions=all \
  --log-file="$out/valgrind.log" "$build/game/bramble" >"$out/stdout.log" 2>"$out/stderr.log" &
game=$!
pid=$game

win=$(headless_wait_window "$game" 120) || { echo "valgrind.sh: no game window" >&2; exit 1; }
launched=$SECONDS
# Under valgrind a frame takes far longer than the 60 ms presses of headless.sh:
# every press here is held for half a second, so that presses and releases land
# in frames of their own as they do for a player at full speed.
hold=0.5
click() { xdotool mousemove --window "$win" "$1" "$2" mousedown 1 sleep $hold mouseup 1; }
key() { xdotool keydown "$1" sleep $hold keyup "$1"; }
# The start screen's background is one fixed red; every challenge has a random
# colour. Wait for the first frame, then click the start word (it becomes
# clickable once it grows) until the corner's colour changes.
# SDL replaces its first window by one fit for OpenGL when it makes the renderer,
# so the window is looked up again until one shows a drawn frame.
corner() { headless_pixel "$win" 5 5; }
deadline=$((SECONDS + 120))
drawn() {
  win=$(xdotool search --onlyvisible --name '^bramble$' 2>/dev/null | tail -n1)
  [ -n "$win" ] || return 1
  local max
  max=$(xwd -id "$win" -silent 2>/dev/null | "$HEADLESS_CONVERT" xwd:- -format '%[max]' info: 2>/dev/null)
  [ -n "$max" ] && [ "$max" != 0 ]
}
until drawn; do
  kill -0 "$game" 2>/dev/null || { echo "valgrind.sh: the game ended early" >&2; exit 1; }
  [ $SECONDS -lt $deadline ] || { echo "valgrind.sh: no frame drawn" >&2; exit 1; }
  sleep 1
done
headless_shot "$win" "$out/start.xwd"
start_colour=$(corner)
while [ "$(corner)" = "$start_colour" ]; do
  [ $SECONDS -lt $deadline ] || { echo "valgrind.sh: the run did not start" >&2; exit 1; }
  click 320 320
  sleep 1
done
started=$((SECONDS - launched))
start=$SECONDS # the play-through's SECONDS count from here
headless_shot "$win" "$out/run.xwd"
keys=(e e e a z q s d f j k l m w x c v b n space Return)
i=0
while [ $((SECONDS - start)) -lt "$seconds" ]; do
  case $((i % 4)) in
    0) key "${keys[$((i / 4 % ${#keys[@]}))]}" ;;
    1) click $((100 + (i * 37) % 440)) $((100 + (i * 53) % 440)) ;;
    2) xdotool mousemove --window "$win" $(((i * 71) % 640)) $(((i * 29) % 640)) ;;
    3) key e ;;
  esac
  i=$((i + 1))
  sleep 0.1
done
headless_shot "$win" "$out/end.xwd"

kill -TERM "$game"
set +e
wait "$game"
status=$?
set -e
game=""

echo "game exit status: $status; run started after ${started} s; $i inputs over $((SECONDS - start)) s"
# Only the game's own lines: children forked by libraries (D-Bus's autolaunch)
# write their own summaries into the same log under their own pid.
grep "^==$pid==" "$out/valgrind.log" >"$out/game.log" || true
sed -n '/HEAP SUMMARY/,$p' "$out/game.log" | sed 's/^==[0-9]*== //'
definite=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$out/game.log" | tr -d ,)
indirect=$(sed -n 's/.*indirectly lost: \([0-9,]*\) bytes.*/\1/p' "$out/game.log" | tr -d ,)
# No leak line at all means nothing was lost ("All heap blocks were freed").
if [ "$status" -ne 0 ] || [ "${definite:-0}" != 0 ] || [ "${indirect:-0}" != 0 ]; then
  echo "valgrind.sh: FAILED (see $out/valgrind.log)" >&2
  exit 1
fi
echo "valgrind.sh: no byte definitely or indirectly lost"
