#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The archives are the same bytes whatever the folder's parent: the same files,
# packed once under a plain folder and once under a setgid one (whose new
# folders inherit g+s), make the same tarball and zip (scripts/pack.sh) and the
# same Debian package (cpack with cmake/staged-files.cmake, as the game's
# package is made), and the folders in them are stored as 755.
#
#   pack_modes.sh SOURCE_DIR
set -uo pipefail
src=$1
pack=$src/scripts/pack.sh
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

mkdir -p "$work/project"
cat >"$work/project/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.20)
project(modes VERSION 1.0 LANGUAGES NONE)
install(PROGRAMS "$work/plain/game/bramble" DESTINATION games)
install(FILES "$work/plain/game/licences/zlib.txt" DESTINATION share/doc/modes)
set(CPACK_PACKAGE_CONTACT "the tests")
set(CPACK_PRE_BUILD_SCRIPTS "$src/cmake/staged-files.cmake")
include(CPack)
EOF
for parent in plain shared; do
    { cmake -S "$work/project" -B "$work/$parent/deb" && (cd "$work/$parent/deb" && cpack -G DEB); } \
        >"$work/cpack.log" 2>&1 || fail "cpack under $parent: $(cat "$work/cpack.log")"
done
[ -g "$work/shared/deb" ] || fail "the package's build folder has no setgid bit: nothing to test"
modes=$(dpkg-deb -c "$work"/shared/deb/modes-*.deb | awk '{ print $1 }' | sort -u | xargs)
[ "$modes" = "-rw-r--r-- -rwxr-xr-x drwxr-xr-x" ] || fail "the Debian package stores the modes $modes"
cmp "$work"/plain/deb/modes-*.deb "$work"/shared/deb/modes-*.deb || fail "the Debian packages differ"
echo "the same tarball, zip and Debian package under a plain and a setgid parent; folders 755"
