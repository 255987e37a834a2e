#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Installs the build into a temporary prefix, checks the installed layout, then
# starts the installed game once through its bin/ launcher from an unrelated
# working directory, on a private X server with a silent microphone file: the
# start screen (red background, white text) must show, and SIGTERM must end the
# game with status 0 and no ERR line.
#
#   installed_game.sh CMAKE_COMMAND BUILD_DIR SOURCE_DIR [GL_DRIVER]
set -uo pipefail
cmake_cmd=$1 build=$2 src=$3 gl_driver=${4:-}
source "$src/tools/headless.sh"

work=$(mktemp -d /tmp/bramble-install.XXXXXX)
game_pid=""
cleanup() {
    [ -n "$game_pid" ] && kill -KILL "$game_pid" 2>/dev/null
    headless_stop_xvfb
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

prefix=$work/prefix
env -u DESTDIR "$cmake_cmd" --install "$build" --prefix "$prefix" >"$work/install.log" ||
    { cat "$work/install.log" >&2; fail "cmake --install"; }

# --- layout -----------------------------------------------------------------
app=lib/bramble
# Files copied from the build's game directory must arrive unchanged.
for f in bramble asset/atarifont.bmp asset/keyboard.bmp asset/Hall-of-the-Mountain-King.wav \
    asset/atarifont.LICENSE.txt res/world/world.csv; do
    cmp -s "$build/game/$f" "$prefix/$app/$f" || fail "$app/$f missing or differs from the build"
done
[ -x "$prefix/$app/bramble" ] || fail "$app/bramble is not executable"
[ -L "$prefix/bin/bramble" ] || fail "bin/bramble is not a link"
[ "$(realpath "$prefix/bin/bramble")" = "$(realpath "$prefix/$app/bramble")" ] ||
    fail "bin/bramble does not lead to $app/bramble"
case $(readlink "$prefix/bin/bramble") in
/*) fail "bin/bramble is an absolute link: it breaks when the tree moves (package staging)" ;;
esac
for f in share/icons/hicolor/scalable/apps/bramble.svg share/icons/hicolor/64x64/apps/bramble.png \
    share/doc/bramble/copyright; do
    [ -s "$prefix/$f" ] || fail "$f missing"
done
cmp -s "$src/asset/atarifont.LICENSE.txt" "$prefix/share/doc/bramble/atarifont.LICENSE.txt" ||
    fail "share/doc/bramble/atarifont.LICENSE.txt missing or differs"
desktop=$prefix/share/applications/bramble.desktop
for line in '[Desktop Entry]' 'Type=Application' 'Exec=bramble' 'Icon=bramble'; do
    grep -qxF "$line" "$desktop" 2>/dev/null || fail "bramble.desktop lacks '$line'"
done

# --- one headless start -------------------------------------------------------
headless_start_xvfb "$work" || fail "no X server"
headless_write_mic "$work/mic.raw" 1 0
headless_audio_env "$work" "$work/mic.raw"
# In the sanitized test build, any leak ends the game with status 1. Mesa's GL
# driver, which the renderer runs on under Xvfb, is unloaded at SDL_Quit while
# still holding a few blocks, which LeakSanitizer then reports as leaks of an
# unknown module. Preloading the driver (after the sanitizer runtime, which must
# come first) keeps it mapped to the end, so those blocks stay reachable and
# leak checking stays on for everything else.
# Only the game gets these: the X tools must not run with the preload.
game_env=(-u SDL_VIDEODRIVER -u SDL_RENDER_DRIVER)
asan=$(ldd "$prefix/$app/bramble" | awk '$1 ~ /^libasan/ { print $3 }')
if [ -n "$asan" ]; then
    preload=$asan
    [ -n "$gl_driver" ] && [ -e "$gl_driver" ] && preload="$preload $gl_driver"
    game_env+=("LD_PRELOAD=$preload" ASAN_OPTIONS=detect_leaks=1:halt_on_error=1
        UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1)
fi

mkdir "$work/elsewhere"
(cd "$work/elsewhere" && exec env "${game_env[@]}" "$prefix/bin/bramble" >"$work/stdout" 2>"$work/stderr") &
game_pid=$!

win=$(headless_wait_window "$game_pid" 60) || {
    cat "$work/stderr" >&2
    fail "no bramble window"
}
# Poll the background colour with a deadline: the first frames may not be up yet.
deadline=$((SECONDS + 30))
bg=""
while [ $SECONDS -lt $deadline ]; do
    bg=$(headless_pixel "$win" 5 5 2>/dev/null)
    [ "$bg" = "255,25,25" ] && break
    sleep 0.2
done
[ "$bg" = "255,25,25" ] || fail "start-screen background not seen (last read: '$bg')"
# White text means the font sheet was found relative to the game's own directory.
headless_shot "$win" "$work/start.xwd"
max_blue=$("$HEADLESS_CONVERT" "$work/start.xwd" -depth 8 -format '%[fx:int(255*maxima.b+.5)]' info:)
[ "$max_blue" = 255 ] || fail "no white text on the start screen (blue maximum $max_blue)"

kill -TERM "$game_pid"
wait "$game_pid"
status=$?
game_pid=""
[ $status -eq 0 ] || {
    cat "$work/stderr" >&2
    fail "exit status $status after SIGTERM"
}
if grep -q 'ERR ' "$work/stderr"; then
    cat "$work/stderr" >&2
    fail "ERR line on stderr"
fi
echo "installed game: layout checked, start screen seen, SIGTERM exit 0"
