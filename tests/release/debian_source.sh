#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# scripts/debian-source.sh follows the installed Debian version, revision
# included: with a cache holding libsdl2 2.26.5+dfsg-1, a dpkg-query that
# reports the security update 2.26.5+dfsg-1+deb12u99 gets that version fetched
# and unpacked, never the old folder. A download cut off after the .dsc arrived,
# and an unpack that stops half-way, leave nothing that a later run would take
# for the sources, and a cut download that an earlier script kept is fetched
# again. A package that is neither installed nor known to apt is named in the
# error. apt-get, apt-cache, dpkg-query and dpkg-source are stand-ins
# first on PATH; apt-get records what it is asked.
#
#   debian_source.sh SOURCE_DIR
set -uo pipefail
script=$1/scripts/debian-source.sh
work=$(mktemp -d /tmp/bramble-debsrc.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

bin=$work/bin cache=$work/cache
mkdir -p "$bin" "$cache/libsdl2-2.26.5+dfsg-1"
# Knows libsdl2-dev alone, as dpkg-query and apt-cache do with a name they do not know.
cat >"$bin/dpkg-query" <<'STUB'
#!/bin/sh
for p; do :; done
[ "$p" = libsdl2-dev ] || { echo "dpkg-query: no packages found matching $p" >&2; exit 1; }
printf 'install ok installed\tlibsdl2\t%s' "$STUB_VERSION"
STUB
cat >"$bin/apt-cache" <<'STUB'
#!/bin/sh
echo "E: No packages found" >&2
exit 100
STUB
# Fetches the .dsc and the tarball, or is cut off in the middle of the tarball.
cat >"$bin/apt-get" <<'STUB'
#!/bin/sh
echo "$*" >>"$STUB_LOG"
case " $* " in
*" source "*)
    for a; do v=$a; done; v=${v#*=}
    touch "libsdl2_$v.dsc"
    if [ -n "$STUB_CUT" ]; then echo cut >"libsdl2_$v.orig.tar.gz"; exit 130; fi
    echo whole >"libsdl2_$v.orig.tar.gz" ;;
esac
STUB
# Checks the tarball beside the .dsc and unpacks a marker file, or stops
# half-way as an interrupted build would.
cat >"$bin/dpkg-source" <<'STUB'
#!/bin/sh
[ "$(cat "${2%.dsc}.orig.tar.gz")" = whole ] ||
    { echo "dpkg-source: error: ${2%.dsc}.orig.tar.gz has the wrong checksum" >&2; exit 25; }
mkdir -p "$3" && echo "$2" >"$3/unpacked-from"
[ -z "$STUB_BREAK" ] || exit 1
STUB
chmod +x "$bin"/*
export PATH=$bin:$PATH STUB_LOG=$work/apt.log STUB_BREAK="" STUB_CUT=""

# The cached version: served as it is, nothing fetched.
out=$(STUB_VERSION=2.26.5+dfsg-1 bash "$script" "$cache" libsdl2-dev) || fail "cached version"
[ "$out" = "$cache/libsdl2-2.26.5+dfsg-1" ] || fail "cached version gave '$out'"
[ ! -e "$STUB_LOG" ] || fail "the cached version was fetched: $(cat "$STUB_LOG")"

# A package nobody knows: an error that names it.
if STUB_VERSION=2.26.5+dfsg-1 bash "$script" "$cache" libsdl2-dev nosuch-dev >/dev/null 2>"$work/err"
then
    fail "an unknown package succeeded"
fi
grep -q "nosuch-dev" "$work/err" || fail "the error for an unknown package does not name it: '$(cat "$work/err")'"

# A newer revision whose download is cut off: an error, and no folder.
export STUB_VERSION=2.26.5+dfsg-1+deb12u99
new=$cache/libsdl2-2.26.5+dfsg-1+deb12u99
if out=$(STUB_CUT=1 bash "$script" "$cache" libsdl2-dev 2>/dev/null); then
    fail "a cut-off download succeeded with '$out'"
fi
[ ! -e "$new" ] || fail "a cut-off download left $new"

# Then interrupted during its unpack: an error, and no folder.
if out=$(STUB_BREAK=1 bash "$script" "$cache" libsdl2-dev 2>/dev/null); then
    fail "an interrupted unpack succeeded with '$out'"
fi
[ ! -e "$new" ] || fail "an interrupted unpack left $new"

# Run again: fetched at that version and unpacked whole.
out=$(bash "$script" "$cache" libsdl2-dev) || fail "newer revision"
[ "$out" = "$new" ] || fail "newer revision gave '$out', not $new"
grep -q "source .*libsdl2=2.26.5+dfsg-1+deb12u99" "$STUB_LOG" ||
    fail "apt-get was not asked for the new revision: $(cat "$STUB_LOG")"
[ "$(cat "$new/unpacked-from")" = "$cache/libsdl2_2.26.5+dfsg-1+deb12u99.dsc" ] ||
    fail "$new was not unpacked from the new revision's .dsc"
# A cache that a download cut off after its .dsc left (as before downloads were
# kept apart): fetched again and unpacked, not an error on every run.
export STUB_VERSION=2.26.5+dfsg-1+deb12u100
touch "$cache/libsdl2_$STUB_VERSION.dsc"
echo cut >"$cache/libsdl2_$STUB_VERSION.orig.tar.gz"
out=$(bash "$script" "$cache" libsdl2-dev 2>/dev/null) || fail "a cut cache failed again"
[ "$out" = "$cache/libsdl2-$STUB_VERSION" ] || fail "a cut cache gave '$out'"
[ -f "$out/unpacked-from" ] || fail "a cut cache was not unpacked"
echo "newer Debian revision fetched and unpacked; the old folder not served"
