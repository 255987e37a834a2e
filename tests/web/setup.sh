#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Setup of the browser tests: builds the site into DIR (web/build.sh, with the
# assets of the native build tree HOST_BUILD) and, from the same build, DIR/site-next,
# the site as another version would be, and installs the browsers' clients
# pinned by package-lock.json into DIR/npm: playwright-core (Chromium, DevTools)
# and puppeteer-core (Firefox, WebDriver BiDi; it downloads no browser of its own).
#
#   tests/web/setup.sh DIR HOST_BUILD
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
dir="$1"
"$here/../../web/build.sh" "$dir" "$2"
# The same game as another version, for the update from one deployment to the next.
version="$(sed -n 's/.*<span id="version">\([^<]*\)<.*/\1/p' "$dir/site/index.html")"
cmake -DSITE="$dir/site-next" -DVERSION="$version-next" -P "$dir/site.cmake"
mkdir -p "$dir/npm"
if ! cmp -s "$here/package-lock.json" "$dir/npm/package-lock.json" ||
   [ ! -d "$dir/npm/node_modules/playwright-core" ] ||
   [ ! -d "$dir/npm/node_modules/puppeteer-core" ]; then
    cp "$here/package.json" "$here/package-lock.json" "$dir/npm/"
    (cd "$dir/npm" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
