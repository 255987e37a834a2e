#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Setup of the browser tests: builds the site into DIR (web/build.sh, with the
# assets of the native build tree HOST_BUILD) and installs the DevTools client
# pinned by package-lock.json into DIR/npm.
#
#   tests/web/setup.sh DIR HOST_BUILD
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
dir="$1"
"$here/../../web/build.sh" "$dir" "$2"
mkdir -p "$dir/npm"
if ! cmp -s "$here/package-lock.json" "$dir/npm/package-lock.json" ||
   [ ! -d "$dir/npm/node_modules/playwright-core" ]; then
    cp "$here/package.json" "$here/package-lock.json" "$dir/npm/"
    (cd "$dir/npm" && npm ci --no-audit --no-fund --loglevel=error)
fi
