#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# scripts/release.sh and the folder it is given, without an hour of building:
# its scripts are copied into a checkout whose path holds a space and which is
# no git repository (a source tarball), with stand-ins for the builds (cmake,
# cpack, linux-build.sh, windows-build.sh, web/build.sh) that make small
# artefacts quickly; pack.sh, source-date.sh and release-place.sh are the real
# ones. The folder holds the user's own file, which no run may remove: not a
# release refused because of the user's SHA256SUMS or for want of a time, nor
# one whose build fails, nor one that succeeds. The artefacts carry the date of
# the version's CHANGELOG.md entry, a second release replaces the first one's
# files, and a release started while another runs is refused, as is one
# into a folder inside build-dist/, even through a link.
#
#   release_dist.sh SOURCE_DIR
set -uo pipefail
src=$1
work=$(mktemp -d /tmp/bramble-release-dist.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

tree="$work/a checkout/bramble" bin=$work/bin dist="$work/my downloads"
mkdir -p "$tree/scripts" "$tree/web" "$bin" "$dist"
cp "$src"/scripts/{release.sh,release-place.sh,source-date.sh,pack.sh} "$tree/scripts/"
v=9.9.9
echo "project(bramble VERSION $v LANGUAGES CXX)" >"$tree/CMakeLists.txt"
printf '# Changelog\n\n## [%s] - 2001-02-03\n\n## [9.9.8] - 2000-01-01\n' "$v" >"$tree/CHANGELOG.md"

cat >"$bin/cmake" <<'STUB'
#!/bin/bash
echo "cmake $*" >>"$STUB_LOG"
[ -z "$STUB_FAIL" ] || { echo "stand-in build failure" >&2; exit 1; }
while [ $# -gt 0 ]; do [ "$1" = -B ] && mkdir -p "$2"; shift; done
STUB
# cpack's staged files take SOURCE_DATE_EPOCH as their time, as cmake/staged-files.cmake does.
cat >"$bin/cpack" <<STUB
#!/bin/bash
touch -d "@\$SOURCE_DATE_EPOCH" stamp && echo "deb \$SOURCE_DATE_EPOCH" >bramble_${v}_amd64.deb
STUB
# While \$HOLD names a file, the stand-in Linux build says so in \$HOLD.held and waits.
cat >"$tree/scripts/linux-build.sh" <<STUB
if [ -n "\${HOLD:-}" ]; then touch "\$HOLD.held"; while [ -e "\$HOLD" ]; do sleep 0.1; done; fi
mkdir -p "\$1" && echo linux >"\$1/bramble-$v-linux-x86_64.tar.gz" && echo "\$1/bramble-$v-linux-x86_64.tar.gz"
STUB
cat >"$tree/scripts/windows-build.sh" <<STUB
mkdir -p "\$1" && echo zip >"\$1/bramble-$v-windows-x64.zip" && echo exe >"\$1/bramble-$v-windows-x64-setup.exe"
printf '%s\n' "\$1/bramble-$v-windows-x64.zip" "\$1/bramble-$v-windows-x64-setup.exe"
STUB
cat >"$tree/web/build.sh" <<'STUB'
mkdir -p "$1/site" && echo page >"$1/site/index.html" && echo page >"$1/site/index.html.br"
STUB
chmod +x "$bin"/*
unset SOURCE_DATE_EPOCH
export PATH=$bin:$PATH STUB_LOG=$work/cmake.log STUB_FAIL="" GIT_CEILING_DIRECTORIES=$work
release() { bash "$tree/scripts/release.sh" "${1:-$dist}" >/dev/null 2>"$work/err"; }

echo "the user's" >"$dist/notes.txt"
printf '%064d  holiday.iso\n' 0 >"$dist/SHA256SUMS"

# Someone's own SHA256SUMS where the release's would go: refused before building.
release && fail "a release replaced the user's SHA256SUMS"
grep -q "SHA256SUMS" "$work/err" || fail "the refusal does not name SHA256SUMS: $(cat "$work/err")"
[ ! -e "$STUB_LOG" ] || fail "a refused release built: $(cat "$STUB_LOG")"
grep -q holiday.iso "$dist/SHA256SUMS" || fail "the user's SHA256SUMS was changed"
rm "$dist/SHA256SUMS"

# No time to give the artefacts: said, and nothing built.
mv "$tree/CHANGELOG.md" "$work/CHANGELOG.md"
release && fail "a release without a time succeeded"
grep -q "SOURCE_DATE_EPOCH" "$work/err" || fail "the error does not say what is missing: $(cat "$work/err")"
[ ! -e "$STUB_LOG" ] || fail "a release without a time built: $(cat "$STUB_LOG")"
mv "$work/CHANGELOG.md" "$tree/CHANGELOG.md"

# A build that fails leaves the folder as it was.
STUB_FAIL=1 release && fail "a failed build succeeded"
[ "$(ls -A "$dist")" = notes.txt ] || fail "after a failed build the folder holds: $(ls -A "$dist")"

# A release from a checkout with a space in its path, outside git.
release || fail "the release failed: $(cat "$work/err")"
names="SHA256SUMS bramble-$v-linux-x86_64.tar.gz bramble-$v-web.zip bramble-$v-windows-x64-setup.exe"
names+=" bramble-$v-windows-x64.zip bramble_${v}_amd64.deb notes.txt"
held=$(cd "$dist" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | xargs)
[ "$held" = "$names" ] || fail "the folder holds $held, not $names"
[ "$(cat "$dist/notes.txt")" = "the user's" ] || fail "the user's file was changed"
[ "$(wc -l <"$dist/SHA256SUMS")" -eq 5 ] || fail "SHA256SUMS does not list the 5 artefacts: $(cat "$dist/SHA256SUMS")"
(cd "$dist" && sha256sum -c --quiet SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(cat "$dist/bramble_${v}_amd64.deb")" = "deb $(date -u -d 2001-02-03 +%s)" ] ||
    fail "outside git the time is not the CHANGELOG entry's: $(cat "$dist/bramble_${v}_amd64.deb")"

# A second release, given the folder relative to where it is called, replaces
# the first one's files, its SHA256SUMS included.
echo old >"$dist/bramble-$v-web.zip"
cp "$dist/bramble-$v-web.zip" "$work/old"
(cd "$dist" && sha256sum -- *.deb *.exe *.gz *.zip >SHA256SUMS)
(cd "$work" && release "my downloads") || fail "a second release failed: $(cat "$work/err")"
(cd "$dist" && sha256sum -c --quiet SHA256SUMS) || fail "the second release's SHA256SUMS does not match"
! cmp -s "$dist/bramble-$v-web.zip" "$work/old" || fail "the second release did not replace the web zip"
# A folder reached through a link into build-dist/, which every release starts
# by removing: refused, and the user's file there stays.
mkdir -p "$tree/build-dist/out"
echo "the user's" >"$tree/build-dist/out/notes.txt"
ln -s "$tree/build-dist/out" "$work/linked"
release "$work/linked" && fail "a release into a link into build-dist/ ran"
[ -e "$tree/build-dist/out/notes.txt" ] || fail "a release removed the user's file behind a link"
grep -q "is inside" "$work/err" || fail "the refusal does not say why: $(cat "$work/err")"

# Two releases at once from one checkout: the second, whose start would remove
# the first one's build folder, is refused, and the first ends well.
export HOLD=$work/hold
touch "$HOLD"
bash "$tree/scripts/release.sh" "$dist" >/dev/null 2>"$work/err1" &
first=$!
for _ in $(seq 100); do [ -e "$HOLD.held" ] && break; sleep 0.1; done
[ -e "$HOLD.held" ] || { kill "$first"; fail "the first release never reached its build"; }
HOLD="" release "$work/other" && fail "a second release ran beside the first"
grep -q "another release is running" "$work/err" || fail "the refusal does not say why: $(cat "$work/err")"
rm "$HOLD"
wait "$first" || fail "the first release failed beside the second: $(cat "$work/err1")"
unset HOLD

echo "the release kept the user's file through a refused, a failed and two good runs, outside git, under a path with a space"
