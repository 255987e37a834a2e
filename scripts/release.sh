#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# make release: every artefact of this version, built from clean build folders
# (build-dist/; only the SDL cache build-sdl/ is kept, keyed on all that goes into
# it), then moved into DIST_DIR (default dist/) with their SHA256SUMS; prints the
# files. Nothing else in DIST_DIR is touched, a failed build leaves it as it was,
# and a file there that no release wrote, in the way of one, stops the release
# before it builds (scripts/release-place.sh).
#
#   scripts/release.sh [DIST_DIR]
#
#   bramble-<version>-linux-x86_64.tar.gz      the portable Linux build
#   bramble_<version>_amd64.deb                the Debian package
#   bramble-<version>-windows-x64.zip          the Windows game, unzipped anywhere
#   bramble-<version>-windows-x64-setup.exe    its installer
#   bramble-<version>-web.zip                  the browser site, index.html at the root
#
# Reproducible: the time inside every artefact is SOURCE_DATE_EPOCH, the last
# commit's unless set (outside git, the date of the version in CHANGELOG.md:
# scripts/source-date.sh), and no path of this machine reaches them, so the same
# commit gives the same bytes in any folder (scripts/release-check.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# DIST_DIR from where the script was called; dist/ of the checkout by default.
dist=${1:-$root/dist}
dist=$(mkdir -p "$dist" && cd "$dist" && pwd)
cd "$root"
export JOBS=${JOBS:-2} CMAKE_BUILD_PARALLEL_LEVEL=${JOBS:-2}
# Set apart from export, whose status would hide a failure.
SOURCE_DATE_EPOCH=$(bash scripts/source-date.sh)
export SOURCE_DATE_EPOCH
# One umask, whoever builds: the modes of the files the tools make come from it.
umask 022
version=$(sed -n 's/^project(bramble VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "$0: no version in CMakeLists.txt's project()" >&2; exit 1; }
work=$root/build-dist
# Compared as the links lead: a folder reached through a link into build-dist/
# is inside it as much as one named there.
case $(cd "$dist" && pwd -P)/ in
"$(pwd -P)/build-dist"/*)
    echo "$0: $dist is inside $work, which every release starts by removing" >&2
    exit 1
    ;;
esac
bash scripts/release-place.sh check "$dist" "$version"
# One release at a time per checkout: a second one would remove build-dist/
# under the first, which would then fail on artefacts it never saw go. The lock
# is on this script, which no release removes.
exec 9<"$root/scripts/release.sh"
flock -n 9 || {
    echo "$0: another release is running in $root (building in $work); wait until it ends" >&2
    exit 1
}
rm -rf "$work"
out=$work/dist # the artefacts, until every one is built
mkdir -p "$out"
step() { echo "release: $*" >&2; }
quiet() { "$@" >"$work/last.log" 2>&1 || { tail -n 40 "$work/last.log" >&2; exit 1; }; }

step "the Debian package, and the native assets for the other builds"
native=(-DCMAKE_BUILD_TYPE=Release -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF -DBRAMBLE_EXAMPLES=OFF)
quiet cmake -S . -B "$work/deb" "${native[@]}"
quiet cmake --build "$work/deb" -j "$JOBS"
(cd "$work/deb" && quiet cpack -G DEB)
cp "$work/deb/bramble_${version}_amd64.deb" "$out/"

step "the portable Linux build"
cp "$(bash scripts/linux-build.sh "$work/linux")" "$out/"

step "the Windows zip and installer"
packages=$(bash scripts/windows-build.sh "$work/windows" "$work/deb")
mapfile -t packages <<<"$packages" # one path a line, spaces and all
cp -- "${packages[@]}" "$out/"

step "the browser site"
quiet env WEB_JOBS="$JOBS" bash web/build.sh "$work/web" "$work/deb"
# Upload-style game hosts compress what they serve themselves: the zip leaves out
# the site's ready-made .gz and .br forms, which only a self-hosted server sends.
rm -rf "$work/web-zip"
cp -a "$work/web/site" "$work/web-zip"
find "$work/web-zip" -type f \( -name '*.gz' -o -name '*.br' \) -delete
bash scripts/pack.sh zip "$work/web-zip" "$out/bramble-$version-web.zip"

bash scripts/release-place.sh place "$out" "$dist" "$version"
step "done: $dist"
(cd "$dist" && awk '{ print $2 }' SHA256SUMS | xargs -d '\n' stat -c '%10s  %n' -- && stat -c '%10s  %n' SHA256SUMS)
