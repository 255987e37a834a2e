#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# make release-check: are the release artefacts reproducible? Builds them twice
# from this commit, here (make release, into dist/) and in a fresh clone in
# another folder with a longer path, and compares them byte by byte. The clone
# shares this tree's SDL cache (the SDL builds map its path to a fixed name, see
# cmake/sdl.cmake): a second SDL build would add half an hour and test SDL's own
# build rather than ours. Then no artefact, unpacked, may contain the clone's
# path. Needs a clean working tree: the clone has only what is committed.
#
#   scripts/release-check.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "$0: the working tree has uncommitted changes; commit them first" >&2
    exit 1
fi
start=$SECONDS
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct)
export SOURCE_DATE_EPOCH
export BRAMBLE_SDL_CACHE=${BRAMBLE_SDL_CACHE:-$root/build-sdl}
bash scripts/release.sh "$root/dist" >/dev/null

work=$(mktemp -d /tmp/bramble-release-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
second=$work/a-second-folder-for-the-same-commit/bramble
git clone -q --no-hardlinks "$root" "$second"
git -C "$second" checkout -q "$(git rev-parse HEAD)"
bash "$second/scripts/release.sh" "$second/dist" >/dev/null

# This release's files: dist/ may also keep other files, older versions' too.
status=0
for name in SHA256SUMS $(awk '{ print $2 }' "$root/dist/SHA256SUMS"); do
    if cmp -s "$root/dist/$name" "$second/dist/$name"; then
        echo "same bytes: $name"
    else
        echo "DIFFERS: $name"
        status=1
    fi
done

# The clone's paths inside the unpacked artefacts (the installer's files are
# the Windows zip's, compressed otherwise).
look=$work/unpacked
mkdir -p "$look"
for f in "$second"/dist/*; do
    d=$look/$(basename "$f")
    mkdir -p "$d"
    case $f in
    *.tar.gz) tar -xzf "$f" -C "$d" ;;
    *.zip) (cd "$d" && cmake -E tar xf "$f") ;;
    *.deb) dpkg-deb -x "$f" "$d" ;;
    *) cp "$f" "$d/" ;;
    esac
done
if grep -r -l -a -F -e "$work" -e "$root" "$look"; then
    echo "BUILD PATHS found in the files above"
    status=1
else
    echo "no build path in any artefact"
fi
echo "release-check: $((SECONDS - start)) s"
exit $status
