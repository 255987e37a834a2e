#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Runs every benchmark and writes their figures into docs/performance.md, between
# the "figures" markers (the notes around them are kept). `make bench` builds
# build-perf/ and calls this; it takes about 40 minutes with the defaults.
#
#   bench/run.sh [BUILD_DIR]
# Environment (defaults): BENCH_FRAMES (600) and BENCH_RUNS (5) for the frame,
# start-up, memory and peer figures; BENCH_LONG_FRAMES (36000) and BENCH_LONG_RUNS
# (2) for the long pacing runs; BENCH_DOC (docs/performance.md).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-perf}" && pwd)
frames=${BENCH_FRAMES:-600}
runs=${BENCH_RUNS:-5}
long_frames=${BENCH_LONG_FRAMES:-36000}
long_runs=${BENCH_LONG_RUNS:-2}
doc=${BENCH_DOC:-$root/docs/performance.md}
bin=$build/bench
rel_bin=${bin#"$root"/}

for exe in bench_frame bench_peer bench_services; do
  [ -x "$bin/$exe" ] || { echo "run.sh: $bin/$exe is not built" >&2; exit 1; }
done

tmp=$(mktemp -d)
xpid=""
cleanup() {
  [ -n "$xpid" ] && kill "$xpid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT

# An X server of our own, on the first display number nobody holds.
display=""
for n in $(seq 90 199); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "run.sh: no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
xpid=$!
for _ in $(seq 100); do
  xdpyinfo -display "$display" >/dev/null 2>&1 && break
  kill -0 "$xpid" 2>/dev/null || { cat "$tmp/xvfb.log" >&2; exit 1; }
  sleep 0.1
done

# No sound card and no session bus here: both sides use SDL's dummy audio driver
# (its mixing thread still runs and decodes the music).
export SDL_AUDIODRIVER=dummy DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
soft=(env -u DISPLAY SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software)
xgl=(env -u SDL_VIDEODRIVER -u SDL_RENDER_DRIVER DISPLAY="$display")
soft_text="SDL_VIDEODRIVER=dummy SDL_RENDER_DRIVER=software SDL_AUDIODRIVER=dummy"
xgl_text="DISPLAY=<Xvfb> SDL_AUDIODRIVER=dummy"

out=$tmp/figures.md
say() { printf '%s\n' "$@" >>"$out"; }
load() { cut -d' ' -f1-3 /proc/loadavg; }

load_start=$(load)
started=$(date -u '+%Y-%m-%d %H:%M UTC')
echo "run.sh: figures into $doc (load average at start: $load_start)"

# --- the two sides of the frame benchmark must draw the same picture: compare
# the windows after 37 frames (the start screen's word mid-growth), byte for byte
same=""
for scene in start keyboard chut; do
  for side in game bare; do
    BENCH_DUMP="$tmp/$scene-$side.bmp" "${soft[@]}" "$bin/bench_frame" --child "$side" "$scene" 37 0 >/dev/null
  done
  if cmp -s "$tmp/$scene-game.bmp" "$tmp/$scene-bare.bmp"; then
    same="$same $scene: identical;"
  else
    same="$same $scene: DIFFERENT;"
  fi
done
echo "run.sh: pictures of game and bare:$same"

# --- frame cost, pacing (600), start-up, memory, heap calls: both drivers
echo "run.sh: frame benchmark, dummy video driver, software renderer"
"${soft[@]}" "$bin/bench_frame" frame --frames "$frames" --runs "$runs" >"$tmp/frame_soft.md"
echo "run.sh: frame benchmark, Xvfb, default renderer"
"${xgl[@]}" "$bin/bench_frame" frame --frames "$frames" --runs "$runs" >"$tmp/frame_xgl.md"
echo "run.sh: peer benchmark, Xvfb"
"${xgl[@]}" "$bin/bench_frame" peer --frames "$frames" --runs "$runs" >"$tmp/peer.md"
echo "run.sh: engine services micro-benchmarks"
"$bin/bench_services" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  >"$tmp/services.txt" 2>&1
# --- long pacing: one driver after the other; within one, every run of both sides
# at once (they mostly sleep; on Xvfb each still keeps a fifth of a core busy)
minutes=$((long_frames * 16 / 60000 + 1))
echo "run.sh: long pacing runs, dummy driver, $long_frames frames (about $minutes minutes)"
"${soft[@]}" "$bin/bench_frame" pacing --frames "$long_frames" --runs "$long_runs" >"$tmp/long_soft.md"
echo "run.sh: long pacing runs, Xvfb, $long_frames frames (about $minutes minutes)"
"${xgl[@]}" "$bin/bench_frame" pacing --frames "$long_frames" --runs "$long_runs" >"$tmp/long_xgl.md"
load_end=$(load)

cpu=$(lscpu | sed -n 's/^Model name: *//p' | head -1)
cores=$(nproc)
sdl=$(pkg-config --modversion sdl2)
mixer=$(pkg-config --modversion SDL2_mixer)
sfml=$(dpkg-query -W -f='${Version}' libsfml-dev 2>/dev/null || echo '?')
mesa=$(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null || echo '?')

say "<!-- figures:begin (written by bench/run.sh; edit outside the markers) -->"
say "## Figures" ""
say "Taken $started by \`make bench\` (= \`bench/run.sh $(basename "$build")\`, Release build)." \
  "Machine: $cpu, $cores cores, $(uname -sr); SDL $sdl, SDL_mixer $mixer, Mesa $mesa, SFML $sfml." \
  "Load average (1, 5, 15 min) at start: $load_start; at end: $load_end." ""
say "### Game frame against the bare SDL2 program: dummy video driver, software renderer" ""
say "\`$soft_text $rel_bin/bench_frame frame --frames $frames --runs $runs\`" ""
say "Window pictures of the two sides after 37 frames, compared byte for byte (\`BENCH_DUMP\`):$same" ""
cat "$tmp/frame_soft.md" >>"$out"
say "" "### Game frame against the bare SDL2 program: Xvfb, default renderer" ""
say "\`$xgl_text $rel_bin/bench_frame frame --frames $frames --runs $runs\`" ""
cat "$tmp/frame_xgl.md" >>"$out"
say "" "### Pacing over $long_frames frames" ""
say "Dummy driver, software renderer: \`$soft_text $rel_bin/bench_frame pacing --frames $long_frames --runs $long_runs\`" ""
cat "$tmp/long_soft.md" >>"$out"
say "" "Xvfb, default renderer: \`$xgl_text $rel_bin/bench_frame pacing --frames $long_frames --runs $long_runs\`" ""
cat "$tmp/long_xgl.md" >>"$out"
say "" "### Engine against the peer program (SFML 2.5), Xvfb" ""
say "\`$xgl_text $rel_bin/bench_frame peer --frames $frames --runs $runs\` (goal: engine at most 1.0 times the peer)" ""
cat "$tmp/peer.md" >>"$out"
say "" "### Engine services micro-benchmarks" ""
say "\`$rel_bin/bench_services --benchmark_repetitions=5 --benchmark_report_aggregates_only=true\`" ""
say '```'
grep -v '^\*\*\*WARNING' "$tmp/services.txt" >>"$out"
say '```'
say "<!-- figures:end -->"

# Splice the figures into the document, keeping whatever surrounds the markers.
mkdir -p "$(dirname "$doc")"
if [ -f "$doc" ] && grep -q '^<!-- figures:begin' "$doc" && grep -q '^<!-- figures:end' "$doc"; then
  awk -v figs="$out" '
    /^<!-- figures:begin/ { while ((getline l < figs) > 0) print l; skip = 1; next }
    /^<!-- figures:end/ { skip = 0; next }
    !skip { print }' "$doc" >"$tmp/doc.md"
else
  { [ -f "$doc" ] && cat "$doc" && echo; cat "$out"; } >"$tmp/doc.md"
fi
cp "$tmp/doc.md" "$doc"
echo "run.sh: wrote $doc (load average at end: $load_end)"
