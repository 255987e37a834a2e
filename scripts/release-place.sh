#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# What a release writes into its folder, and nothing else. The release
# (scripts/release.sh) builds its artefacts into a folder of its own; only once
# every one is there are they moved into DIST_DIR with SHA256SUMS. Whatever else
# DIST_DIR holds (the user's files, other versions' artefacts) is left as it is,
# and a file in the way that no release made (someone's own SHA256SUMS in
# ~/Downloads, a folder of the artefact's name) stops the release instead of
# being replaced.
#
#   scripts/release-place.sh check DIST_DIR VERSION
#       fails, saying why, if placing this version's artefacts would replace a
#       file no release made (run before building, so that no build is wasted)
#   scripts/release-place.sh place BUILT_DIR DIST_DIR VERSION
#       BUILT_DIR holds this version's artefacts, no more and no fewer: writes
#       their SHA256SUMS beside them, checks DIST_DIR again, moves them in
set -euo pipefail
usage() { echo "usage: $0 check DIST_DIR VERSION | place BUILT_DIR DIST_DIR VERSION" >&2; exit 2; }
[ $# -ge 1 ] || usage
mode=$1
shift
case $mode in
check) [ $# -eq 2 ] || usage; dist=$1 version=$2 ;;
place) [ $# -eq 3 ] || usage; built=$1 dist=$2 version=$3 ;;
*) usage ;;
esac

# This version's artefacts, in the order SHA256SUMS lists them.
names=("bramble-$version-linux-x86_64.tar.gz" "bramble_${version}_amd64.deb"
       "bramble-$version-web.zip" "bramble-$version-windows-x64-setup.exe"
       "bramble-$version-windows-x64.zip")

# A SHA256SUMS that a release wrote lists release artefacts only, of any version.
release_sums() {
    local n='[0-9][0-9.]*'
    ! grep -qvE "^[0-9a-f]{64}  (bramble-$n-(linux-x86_64\.tar\.gz|web\.zip|windows-x64(-setup\.exe|\.zip))|bramble_${n}_amd64\.deb)\$" "$1"
}

check() {
    local name path bad=0
    [ -d "$dist" ] || { echo "$0: $dist is not a folder" >&2; exit 1; }
    for name in "${names[@]}" SHA256SUMS; do
        path=$dist/$name
        if [ -L "$path" ] || { [ -e "$path" ] && [ ! -f "$path" ]; }; then
            echo "$0: $path is in the way and is not a file a release wrote" >&2
            bad=1
        elif [ "$name" = SHA256SUMS ] && [ -f "$path" ] && ! release_sums "$path"; then
            echo "$0: $path lists files that are not release artefacts; a release would replace it" >&2
            bad=1
        fi
    done
    [ $bad -eq 0 ] || { echo "$0: nothing was changed in $dist; move those aside first" >&2; exit 1; }
}

case $mode in
check) check ;;
place)
    expected=$(printf '%s\n' "${names[@]}" | LC_ALL=C sort)
    present=$(cd "$built" && find . -mindepth 1 -maxdepth 1 -printf '%P\n' | LC_ALL=C sort)
    [ "$present" = "$expected" ] || {
        echo "$0: $built holds"$'\n'"$present"$'\n'"where the release makes"$'\n'"$expected" >&2
        exit 1
    }
    (cd "$built" && sha256sum -- "${names[@]}" >SHA256SUMS &&
        sha256sum -c --quiet SHA256SUMS)
    check
    # SHA256SUMS last, once the files it lists are in place.
    for name in "${names[@]}" SHA256SUMS; do
        mv -f -- "$built/$name" "$dist/$name"
    done
    ;;
esac
