#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Archives that are the same bytes whatever the folder, the time or the umask of
# the build: entries sorted by name, every time SOURCE_DATE_EPOCH (default:
# scripts/source-date.sh's, the last commit's), owner root, modes 644 or 755, no
# extra fields.
#
#   scripts/pack.sh zip DIR OUT.zip   DIR's contents at the zip's root
#   scripts/pack.sh tgz DIR OUT.tar.gz   DIR itself, its name the top folder
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 zip|tgz DIR OUT" >&2; exit 2; }
kind=$1 dir=$(cd "$2" && pwd) out=$(mkdir -p "$(dirname "$3")" && cd "$(dirname "$3")" && pwd)/$(basename "$3")
epoch=$(bash "$(dirname "$0")/source-date.sh")
# Folders made under a setgid folder inherit its g+s, which tar would store
# (2755): every set-ID and sticky bit goes, whatever the parent folder.
chmod -R u+rw,go-w,a+rX,a-st "$dir"
find "$dir" -exec touch -h -d "@$epoch" {} +
rm -f "$out"
case $kind in
zip)
    # Info-ZIP writes local times: UTC here, so the zone of the build does not matter.
    (cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
        TZ=UTC zip -q -X -D -9 "$out" -@)
    ;;
tgz)
    (cd "$(dirname "$dir")" && tar --sort=name --mtime="@$epoch" --owner=0 --group=0 \
        --numeric-owner --format=gnu -cf - "$(basename "$dir")" | gzip -9n >"$out")
    ;;
*) echo "$0: unknown kind $kind" >&2; exit 2 ;;
esac
