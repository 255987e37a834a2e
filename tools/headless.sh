# SPDX-License-Identifier: Zlib
# Shell helpers to run the game on a private X server with file-backed audio.
# Sourced by tools/screenshots.sh and the installed-game test; needs Xvfb,
# xdotool, xwd (x11-apps), ImageMagick and perl, all installed by scripts/deps.sh.
#
#   headless_start_xvfb DIR       private X server on a free display; exports DISPLAY
#   headless_audio_env DIR MIC    disk audio: speaker DIR/speaker.raw, microphone MIC
#   headless_write_mic FILE SECONDS PEAK
#                                 uniform noise in [-PEAK, PEAK] (0: silence) as the
#                                 microphone expects it: 32-bit float LE, mono, 44100 Hz
#   headless_wait_window PID SECS prints the id of the "bramble" window once it is mapped
#   headless_pixel WIN X Y        "r,g,b" of one window pixel
#   headless_shot WIN FILE        the window's picture as an X dump (fast; convert later)
#   headless_click WIN X Y        left click at window coordinates
#   headless_key KEY              one key press (xdotool key name)
#   headless_stop_xvfb            stops the server started above
#
# Every press is held for 60 ms: the game sees a press and release within one
# frame as a release only.

# ImageMagick by full path: the Debian one, whatever else is earlier on PATH.
HEADLESS_CONVERT=/usr/bin/convert
HEADLESS_XVFB_PID=""

headless_start_xvfb() {
    local dir=$1 fdfile="$1/xvfb.display" i
    : >"$fdfile"
    # -displayfd lets the server pick a free display number itself (no race with
    # other servers on the machine); -noreset keeps it from resetting between clients.
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$fdfile" \
        2>"$dir/xvfb.log" &
    HEADLESS_XVFB_PID=$!
    for i in $(seq 100); do
        if [ -s "$fdfile" ] && grep -q '^[0-9]' "$fdfile"; then
            DISPLAY=":$(head -n1 "$fdfile")"
            export DISPLAY
            return 0
        fi
        kill -0 "$HEADLESS_XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "headless: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    return 1
}

headless_stop_xvfb() {
    if [ -n "$HEADLESS_XVFB_PID" ]; then
        kill "$HEADLESS_XVFB_PID" 2>/dev/null || true
        wait "$HEADLESS_XVFB_PID" 2>/dev/null || true
        HEADLESS_XVFB_PID=""
    fi
}

headless_audio_env() {
    # Absolute paths: the game changes its working directory at start.
    export SDL_AUDIODRIVER=disk
    export SDL_DISKAUDIOFILE="$(realpath -m "$1/speaker.raw")"
    export SDL_DISKAUDIOFILEIN="$(realpath -m "$2")"
    export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
}

headless_write_mic() {
    perl -e '
        my ($seconds, $peak) = @ARGV;
        srand(7);
        my $n = int($seconds * 44100);
        binmode STDOUT;
        print pack("f<*", map { $peak * (2 * rand() - 1) } 1 .. $n);
    ' "$2" "$3" >"$1"
}

headless_wait_window() {
    local pid=$1 deadline=$((SECONDS + $2)) win
    while [ $SECONDS -lt $deadline ]; do
        kill -0 "$pid" 2>/dev/null || return 1
        win=$(xdotool search --onlyvisible --name '^bramble$' 2>/dev/null | head -n1)
        if [ -n "$win" ]; then
            echo "$win"
            return 0
        fi
        sleep 0.1
    done
    return 1
}

headless_shot() {
    xwd -id "$1" -silent >"$2"
}

headless_pixel() {
    xwd -id "$1" -silent |
        "$HEADLESS_CONVERT" xwd:- -crop "1x1+$2+$3" -depth 8 -format '%[fx:int(255*r+.5)],%[fx:int(255*g+.5)],%[fx:int(255*b+.5)]' info:
}

headless_click() {
    xdotool mousemove --window "$1" "$2" "$3" mousedown 1 sleep 0.06 mouseup 1
}

headless_key() {
    xdotool keydown "$1" sleep 0.06 keyup "$1"
}
