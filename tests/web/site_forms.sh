#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# cmake/web-site.cmake cut off and run again (no browser, no game build: small
# stand-in files): a site build stopped while it compresses the new index.html
# (its brotli fails there), then run whole, leaves every .gz and .br form the
# same bytes as its file. A server that sends the forms would otherwise give
# the page before, which names game files the run deleted.
#
#   site_forms.sh SOURCE_DIR
set -euo pipefail
src=$1
work=$(mktemp -d /tmp/bramble-site-forms.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/bin" "$work/icons" "$work/one" "$work/two"
for game in one two; do
    head -c 3000 /dev/urandom | base64 >"$work/$game/bramble.js"
    head -c 5000 /dev/urandom >"$work/$game/bramble.wasm"
    head -c 5000 /dev/urandom >"$work/$game/bramble.data"
done
head -c 200 /dev/urandom >"$work/icons/icon-192.png"
head -c 300 /dev/urandom >"$work/icons/icon-512.png"
brotli=$(command -v brotli) || fail "no brotli (scripts/deps.sh installs it)"
# brotli that fails on index.html while $work/cut exists: the run stops there.
cat >"$work/bin/brotli" <<STUB
#!/bin/bash
if [ -e "$work/cut" ] && [[ "\$*" == *index.html* ]]; then exit 1; fi
exec "$brotli" "\$@"
STUB
chmod +x "$work/bin/brotli"
site() { # VERSION GAME
    PATH=$work/bin:$PATH cmake -DSITE="$work/site" -DVERSION="$1" -DSOURCE_DIR="$src" \
        -DGAME_DIR="$work/$2" -DICON_DIR="$work/icons" -P "$src/cmake/web-site.cmake"
}

site 1.0 one >/dev/null || fail "the first site build failed"
touch "$work/cut"
site 2.0 two >/dev/null 2>&1 && fail "the cut run did not stop"
rm "$work/cut"
site 2.0 two >/dev/null || fail "the run after the cut one failed"

cd "$work/site"
forms=0
for form in *.gz *.br; do
    file=${form%.*}
    case $form in
    *.gz) gzip -dc "$form" ;;
    *.br) "$brotli" -dc "$form" ;;
    esac | cmp -s - "$file" || fail "$form is not $file's bytes (another build's)"
    forms=$((forms + 1))
done
[ -e index.html.br ] && [ "$forms" -ge 10 ] || fail "only $forms compressed forms were made"
echo "after a cut site build and a whole one, the $forms compressed forms match their files"
