#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# scripts/pack.sh gives the same bytes whatever the folder's parent: the same
# files, packed once under a plain folder and once under a setgid one (whose
# new folders inherit g+s), make the same tarball and the same zip, and the
# tarball's folders are stored as 755.
#
#   pack_modes.sh SOURCE_DIR
set -uo pipefail
pack=$1/scripts/pack.sh
work=$(mktemp -d /tmp/bramble-pack-modes.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export SOURCE_DATE_EPOCH=981158400

mkdir -p "$work/plain" "$work/shared"
chmod g+s "$work/shared"
for parent in plain shared; do
    mkdir -p "$work/$parent/game/licences"
    echo play >"$work/$parent/game/bramble"
    chmod 755 "$work/$parent/game/bramble"
    echo text >"$work/$parent/game/licences/zlib.txt"
done
[ -g "$work/shared/game/licences" ] ||
    fail "this file system gives new folders no setgid bit from their parent: nothing to test"

for parent in plain shared; do
    bash "$pack" tgz "$work/$parent/game" "$work/$parent.tar.gz" || fail "pack.sh tgz under $parent"
    bash "$pack" zip "$work/$parent/game" "$work/$parent.zip" || fail "pack.sh zip under $parent"
done
modes=$(tar -tvzf "$work/shared.tar.gz" | awk '{ print $1 }' | sort -u | xargs)
[ "$modes" = "-rw-r--r-- -rwxr-xr-x drwxr-xr-x" ] || fail "the tarball stores the modes $modes"
cmp "$work/plain.tar.gz" "$work/shared.tar.gz" || fail "the tarballs differ"
cmp "$work/plain.zip" "$work/shared.zip" || fail "the zips differ"
echo "the same tarball and zip under a plain and a setgid parent; folders 755"
