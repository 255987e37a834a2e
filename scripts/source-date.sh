#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Prints the time the artefacts carry, in seconds since 1970 (for
# SOURCE_DATE_EPOCH): SOURCE_DATE_EPOCH itself when it is set; in a git checkout
# of this tree, the last commit's time; outside one (a source tarball), the date
# of this version's entry in CHANGELOG.md ("## [0.1.0] - 2026-12-08"), at 00:00
# UTC, as Debian's packaging takes its changelog's. So the same sources give the
# same bytes wherever and whenever they are built, and a build never carries an
# empty time.
#
#   scripts/source-date.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd -P)
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    [[ $SOURCE_DATE_EPOCH =~ ^[0-9]+$ ]] ||
        { echo "$0: SOURCE_DATE_EPOCH='$SOURCE_DATE_EPOCH' is not a count of seconds" >&2; exit 1; }
    echo "$SOURCE_DATE_EPOCH"
    exit 0
fi
# This tree's own checkout only: a source tarball unpacked inside another
# repository must not take that repository's time.
if [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ]; then
    git -C "$root" log -1 --format=%ct
    exit 0
fi
version=$(sed -n 's/^project(bramble VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
day=""
[ ! -f "$root/CHANGELOG.md" ] ||
    day=$(sed -n "s/^## \[${version//./\\.}\] - \([0-9]\{4\}-[0-9]\{2\}-[0-9]\{2\}\)\$/\1/p" \
          "$root/CHANGELOG.md" | head -n 1)
if [ -z "$version" ] || [ -z "$day" ]; then
    echo "$0: $root is not a git checkout, and CHANGELOG.md has no dated entry" \
         "'## [${version:-?}] - YYYY-MM-DD' for the version of CMakeLists.txt;" \
         "set SOURCE_DATE_EPOCH to the release's time in seconds since 1970" >&2
    exit 1
fi
date -u -d "$day" +%s
