#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Installs the Debian packages the build, the game and the tests need, and only
# those that are missing, so a second run costs nothing. Runs apt-get directly as
# root and through sudo otherwise.
set -euo pipefail

# Releases (scripts/release.sh, make release): the headers SDL2 is built against
# for the portable Linux build, which loads these libraries only when the game
# starts (cmake/sdl.cmake), and zip for the reproducible zips (scripts/pack.sh).
release_packages=(
  libx11-dev libxext-dev libxcursor-dev libxi-dev libxrandr-dev libxss-dev libxkbcommon-dev
  libwayland-dev libdecor-0-dev libegl-dev libdbus-1-dev libibus-1.0-dev libudev-dev
  libpulse-dev libpipewire-0.3-dev libasound2-dev
  zip
)

packages=(
  build-essential cmake pkg-config
  libsdl2-dev libsdl2-mixer-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  console-setup-linux gzip
  xvfb xdotool x11-apps imagemagick
  libx11-dev libxext-dev libgl1-mesa-dri # e2e tests: screen read-back, the game's OpenGL under Xvfb (tests/e2e/)
  libsfml-dev # the peer program of the frame benchmarks (bench/)
  clang-14 libclang-rt-14-dev # libFuzzer and its sanitizer runtimes (fuzz/)
  valgrind # the leak check over a play-through (tools/valgrind.sh)
  g++-mingw-w64-x86-64-posix wine # the Windows build and its tests under Wine (cmake/windows.cmake)
  nsis # the Windows installer (packaging/windows/NSIS.template.in)
  emscripten node-acorn chromium # the browser build (web/) and its tests (tests/web/)
)
packages+=("${release_packages[@]}")
# The browser tests install their DevTools client with npm; a Node.js that
# brings its own npm counts (Debian's npm would conflict with it).
command -v npm >/dev/null || packages+=(nodejs npm)

missing=()
for p in "${packages[@]}"; do
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
