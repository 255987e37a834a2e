#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# CPU time per frame of the Windows build under Wine against the Linux build: the
# real executables on a private Xvfb, each on its start screen once the word has
# grown (the game keeps drawing every frame and mixing the music), with SDL's
# software renderer and with the default one. Prints a Markdown table.
#
#   bench/windows.sh WINDOWS_GAME_DIR LINUX_GAME_DIR [SECONDS [RUNS]]
#
# BENCH_RENDERERS (default "software default") names SDL render drivers to try,
# "default" meaning none (SDL's choice: OpenGL on Linux, Direct3D on Windows).
# e.g. bench/windows.sh build-windows/game build/game   (after `make windows` and `make build`)
#
# CPU time is read from /proc (utime + stime, all threads) over SECONDS of play
# after a 6-second settling time, and divided by the frames of that time at the
# engine's 16 ms pacing. Under Wine the game's own process holds everything the
# game does (SDL, Wine's Direct3D on OpenGL, the GL driver); Wine's server and its
# service processes (explorer, services, winedevice...) are Wine's own overhead
# and are reported apart, as is the X server. Runs alternate between the sides.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win=$(cd "$1" && pwd)
lin=$(cd "$2" && pwd)
secs=${3:-20}
runs=${4:-3}
settle=6
hz=$(getconf CLK_TCK)

tmp=$(mktemp -d)
export WINEPREFIX=$tmp/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  headless_stop_xvfb
  rm -rf "$tmp"
}
trap cleanup EXIT
source "$root/tools/headless.sh"
headless_start_xvfb "$tmp"
env -u DISPLAY wine wineboot --init >/dev/null 2>&1
wineserver -w
export SDL_AUDIODRIVER=dummy DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent

ticks() { # utime + stime of a process, in clock ticks
  awk '{ print $14 + $15 }' "/proc/$1/stat" 2>/dev/null || echo 0
}
wine_pids() { # Wine's own processes of our prefix: the server and its services
  local p
  for p in $(pgrep -u "$(id -u)" .); do
    [ "$p" = "$1" ] && continue
    tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "$p"
  done
  pgrep -u "$(id -u)" -x wineserver || true
}
sum_ticks() {
  local t=0 p
  for p in "$@"; do t=$((t + $(ticks "$p"))); done
  echo $t
}

# One run: prints "game_ms_per_frame wine_ms_per_frame xvfb_ms_per_frame".
measure() {
  local side=$1 renderer=$2 pid wpids g0 g1 w0 w1 x0 x1
  local env=(env)
  [ "$renderer" != default ] && env+=(SDL_RENDER_DRIVER="$renderer")
  if [ "$side" = windows ]; then
    "${env[@]}" wine "$win/bramble.exe" >/dev/null 2>&1 &
  else
    "${env[@]}" "$lin/bramble" >/dev/null 2>&1 &
  fi
  pid=$!
  sleep "$settle"
  [ -n "${BENCH_VERBOSE:-}" ] && echo "$side $renderer: $(tr '\0' ' ' </proc/$pid/cmdline)" >&2
  kill -0 "$pid" || { echo "measure: the $side game ended early" >&2; exit 1; }
  wpids=$(wine_pids "$pid")
  g0=$(ticks "$pid"); w0=$(sum_ticks $wpids); x0=$(ticks "$HEADLESS_XVFB_PID")
  sleep "$secs"
  g1=$(ticks "$pid"); w1=$(sum_ticks $wpids); x1=$(ticks "$HEADLESS_XVFB_PID")
  kill "$pid"; wait "$pid" 2>/dev/null || true
  [ "$side" = windows ] && { wineserver -k 2>/dev/null || true; wineserver -w; }
  awk -v g=$((g1 - g0)) -v w=$((w1 - w0)) -v x=$((x1 - x0)) -v hz="$hz" -v s="$secs" \
    'BEGIN { f = s * 1000 / 16; printf "%.3f %.3f %.3f\n", g*1000/hz/f, w*1000/hz/f, x*1000/hz/f }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "Load average at start: $(cut -d' ' -f1-3 /proc/loadavg). $secs s per run after ${settle} s, $runs runs per side; medians, ms per frame."
echo
echo "| renderer | Linux build | Windows build under Wine | Windows / Linux | Wine's own processes | X server (Linux, Windows) |"
echo "|---|---|---|---|---|---|"
for renderer in ${BENCH_RENDERERS:-software default}; do
  : >"$tmp/lin" ; : >"$tmp/win"
  for _ in $(seq "$runs"); do
    measure linux "$renderer" >>"$tmp/lin"
    measure windows "$renderer" >>"$tmp/win"
  done
  lg=$(cut -d' ' -f1 "$tmp/lin" | median); lx=$(cut -d' ' -f3 "$tmp/lin" | median)
  wg=$(cut -d' ' -f1 "$tmp/win" | median); ww=$(cut -d' ' -f2 "$tmp/win" | median)
  wx=$(cut -d' ' -f3 "$tmp/win" | median)
  ratio=$(awk -v a="$wg" -v b="$lg" 'BEGIN { printf "%.2f", a / b }')
  echo "| $renderer | $lg | $wg | **$ratio** | $ww | $lx, $wx |"
done
echo
echo "Load average at end: $(cut -d' ' -f1-3 /proc/loadavg)."
