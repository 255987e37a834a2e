#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Installs the Debian packages that one or more entry points need, and only those
# that are missing, so a second run costs nothing. Runs apt-get directly as root
# and through sudo otherwise.
#
#   scripts/deps.sh [GROUP...]    no GROUP: every group
#   scripts/deps.sh --list GROUP  prints the group's packages, one a line; installs nothing
#
# A group is what one make target needs, and names the lists below it is made of:
# `make run` builds the game only, so it never pulls in the cross compilers,
# Wine or a browser that the tests use.
set -euo pipefail

# The lists. A new need goes into the list of the work that has it; a list that
# several groups share is named in each of them (groups, below).
game=(
  build-essential cmake pkg-config
  libsdl2-dev libsdl2-mixer-dev
  console-setup-linux gzip # the console font the text sheet is cut from (tools/)
)
headless=(xvfb xdotool x11-apps imagemagick) # a private X server, its input and pictures (tools/headless.sh)
windows=(
  g++-mingw-w64-x86-64-posix # the Windows build (cmake/windows.cmake)
  nsis                       # its installer (packaging/windows/NSIS.template.in)
  zip                        # its reproducible zip (scripts/pack.sh)
)
web=(
  emscripten node-acorn # the browser build (web/)
  librsvg2-bin brotli   # the site's app icons and its Brotli files (cmake/web.cmake, cmake/web-site.cmake)
)
bench=(
  libbenchmark-dev # the micro-benchmarks (bench/)
  libsfml-dev      # the peer program of the frame benchmarks (bench/)
)
# The portable Linux build (cmake/linux.cmake): the headers SDL2 is built against,
# for the display and sound libraries it loads only when the game starts.
portable=(
  libx11-dev libxext-dev libxcursor-dev libxi-dev libxrandr-dev libxss-dev libxkbcommon-dev
  libwayland-dev libdecor-0-dev libegl-dev libdbus-1-dev libibus-1.0-dev libudev-dev
  libpulse-dev libpipewire-0.3-dev libasound2-dev
  zip # the reproducible archives (scripts/pack.sh)
)
tests=(
  googletest libgtest-dev libgmock-dev
  libx11-dev libxext-dev libgl1-mesa-dri # e2e tests: screen read-back, the game's OpenGL under Xvfb (tests/e2e/)
  clang-14 libclang-rt-14-dev            # libFuzzer and its sanitizer runtimes (fuzz/)
  valgrind                               # the leak check over a play-through (tools/valgrind.sh)
  wine                                   # the Windows build's tests (tests/windows/)
  chromium                               # the browser build's tests (tests/web/)
  firefox-esr                            # ... in Firefox, driven over WebDriver BiDi (tests/web/harness.js)
  webkit2gtk-driver xvfb xauth           # ... in WebKit: its WebDriver server starts MiniBrowser under xvfb-run
)

# Each group: the lists it is made of.
declare -A groups=(
  [run]="game"
  [screenshots]="game headless"
  [windows]="game windows"
  [web]="game web"
  [bench]="game headless bench"
  [release]="game windows web portable"
  [test]="game headless windows web portable tests"
)

known() {
  [ -n "${groups[$1]:-}" ] || { echo "deps.sh: no group '$1' (groups: ${!groups[*]})" >&2; exit 2; }
}

packages_of() {
  local list
  for list in ${groups[$1]}; do
    local -n names=$list
    printf '%s\n' "${names[@]}"
  done
  # The browser tests install their DevTools client with npm; a Node.js that
  # brings its own npm counts (Debian's npm would conflict with it).
  if [ "$1" = test ] && ! command -v npm >/dev/null; then printf '%s\n' nodejs npm; fi
}

if [ "${1:-}" = --list ]; then
  [ $# -eq 2 ] || { echo "usage: $0 --list GROUP" >&2; exit 2; }
  known "$2"
  packages_of "$2"
  exit 0
fi
[ $# -gt 0 ] || set -- "${!groups[@]}"
packages=()
for group in "$@"; do
  known "$group"
  mapfile -t -O "${#packages[@]}" packages < <(packages_of "$group")
done

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "deps.sh: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "deps.sh: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Wait for another apt-get holding the package lock rather than fail at once.
apt=(apt-get -o DPkg::Lock::Timeout=900)
$sudo "${apt[@]}" update -qq
$sudo "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}"
