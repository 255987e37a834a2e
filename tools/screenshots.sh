#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Plays one whole run of the game headless and saves one picture of each screen:
#
#   tools/screenshots.sh [BUILD_DIR [OUT_DIR]]     (make screenshots)
#
# BUILD_DIR defaults to build (the game is BUILD_DIR/game/bramble), OUT_DIR to
# docs/screenshots, whose tracked pictures it overwrites. It takes about three minutes: the finish screen comes only
# after the run's 145 seconds. The game runs on a private X server with a quiet
# microphone file; the start screen is taken once the word has grown, then the
# word is clicked and the window is read after every background change. Each
# challenge is told apart by the box around everything that is not background
# (sizes of the titles, the gauge, the rectangle, the keyboard) and the first
# picture of each kind is kept. The keyboard prompt has no time-out: letters are
# pressed in turn until it is solved.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/headless.sh"

build=${1:-build}
out=${2:-docs/screenshots}
game=$(realpath "$build/game/bramble")
[ -x "$game" ] || { echo "screenshots: no game at $build/game/bramble (make build first)" >&2; exit 1; }
mkdir -p "$out"
# The default folder holds the README's tracked pictures: say that they are replaced.
echo "screenshots: overwriting the pictures in $out/ (git shows what changed)"

work=$(mktemp -d /tmp/bramble-shots.XXXXXX)
game_pid=""
cleanup() {
    [ -n "$game_pid" ] && kill -TERM "$game_pid" 2>/dev/null && wait "$game_pid" 2>/dev/null
    headless_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT

headless_start_xvfb "$work"
# Noise of about 5 on the game's level scale (silence is below 10): "CHUT !" is
# passed by waiting, and the gauge shows a little.
headless_write_mic "$work/mic.raw" 160 0.03
headless_audio_env "$work" "$work/mic.raw"

"$game" >"$work/stdout" 2>"$work/stderr" &
game_pid=$!
win=$(headless_wait_window "$game_pid" 30) || { cat "$work/stderr" >&2; exit 1; }

save() { # save NAME XWD
    "$HEADLESS_CONVERT" "$2" -strip "$out/$1.png"
    echo "screenshots: $out/$1.png"
}
colour() { # "r,g,b" of a pixel of a dump
    "$HEADLESS_CONVERT" "$1" -crop "1x1+$2+$3" -depth 8 \
        -format '%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]' info:
}
# Which screen a dump shows, from the box around its non-background pixels.
classify() {
    local w h x y
    read -r w h x y < <("$HEADLESS_CONVERT" "$1" -trim -format '%w %h %X %Y' info:)
    x=${x#+} y=${y#+}
    near() { [ $(($1 - $2)) -le 8 ] && [ $(($2 - $1)) -le 8 ]; }
    if [ "$2" = "255,25,25" ]; then
        # Red: the start screen until the run began, the finish screen after
        # (the challenges' palette has no 255).
        if [ -n "$started" ]; then echo finish; else echo unknown; fi
    elif near "$x" 10; then # the gauge at the left edge
        if [ "$w" -lt 470 ]; then echo chut; else echo yell; fi
    elif [ "$w" -eq 400 ] && [ "$h" -eq 100 ]; then
        echo follow-me
    elif near "$x" 60 && [ "$h" -gt 250 ]; then
        echo keyboard
    elif near "$w" 544 && near "$h" 80; then
        echo press-e
    elif near "$w" 520 && near "$h" 100; then
        echo click
    elif near "$w" 440 && near "$h" 100; then
        echo stop
    else
        echo unknown
    fi
}

# Start screen: the word grows for about two seconds after 0.2 s.
sleep 4
headless_shot "$win" "$work/shot.xwd"
save start-screen "$work/shot.xwd"

headless_click "$win" 320 320
declare -A kept=()
started=""
letters=(q w e r t y u i o p a s d f g h j k l z x c v b n m)
next_letter=0
last=""
deadline=$((SECONDS + 175))
while [ $SECONDS -lt $deadline ]; do
    kill -0 "$game_pid" 2>/dev/null || { cat "$work/stderr" >&2; exit 1; }
    headless_shot "$win" "$work/shot.xwd"
    bg=$(colour "$work/shot.xwd" 5 5)
    if [ "$bg" != "$last" ]; then
        last=$bg
        [ "$bg" = "255,25,25" ] || started=1
        kind=$(classify "$work/shot.xwd" "$bg")
        if [ "$kind" != unknown ] && [ -z "${kept[$kind]:-}" ]; then
            kept[$kind]=1
            save "$kind" "$work/shot.xwd"
        fi
        [ "$kind" = finish ] && break
    elif [ "${kind:-}" = keyboard ]; then
        headless_key "${letters[next_letter]}"
        next_letter=$(((next_letter + 1) % 26))
    fi
done

missing=""
for kind in chut yell click press-e stop follow-me keyboard finish; do
    [ -n "${kept[$kind]:-}" ] || missing="$missing $kind"
done
if [ -n "$missing" ]; then
    echo "screenshots: not seen:$missing" >&2
    exit 1
fi
