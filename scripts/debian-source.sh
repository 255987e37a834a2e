#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Fetches and unpacks Debian's source packages into a cache folder, for the builds
# that compile libraries themselves (the browser and Windows builds of SDL2 and
# SDL2_mixer). Nothing else can be downloaded here, and Debian's sources are the
# very versions the desktop build links.
#
#   scripts/debian-source.sh CACHE_DIR PACKAGE...
#
# Prints, one per line, the unpacked source folder of each package
# (CACHE_DIR/PACKAGE-VERSION). A package already unpacked there is not fetched again.
# The deb-src entries are derived from the machine's own apt sources, and apt
# works on a private source list and state folder under CACHE_DIR, so the
# machine's apt set-up is left untouched.
set -euo pipefail

[ $# -ge 2 ] || { echo "usage: $0 CACHE_DIR PACKAGE..." >&2; exit 2; }
cache=$(mkdir -p "$1" && cd "$1" && pwd)
shift

apt_dir=$cache/apt
apt_opts=(-o "Dir::Etc::SourceList=$apt_dir/sources.list"
          -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
          -o "Dir::State::Lists=$apt_dir/lists"
          -o "Dir::Cache=$apt_dir/cache"
          -o "Debug::NoLocking=1" -o "APT::Sandbox::User=root")

# The machine's deb entries, one-line and deb822 forms alike, become deb-src lines.
sources_list() {
    local f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk '
            function flush(   n, s, i) {
                if (types ~ /(^| )deb( |$)/ && uris != "") {
                    n = split(suites, s, " ")
                    for (i = 1; i <= n; i++)
                        printf "deb-src [signed-by=%s] %s %s %s\n", key, uris, s[i], comps
                }
                types = uris = suites = comps = key = ""
            }
            /^[[:space:]]*$/ { flush(); next }
            /^Types:/ { sub(/^Types:[[:space:]]*/, ""); types = $0 }
            /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris = $0 }
            /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites = $0 }
            /^Components:/ { sub(/^Components:[[:space:]]*/, ""); comps = $0 }
            /^Signed-By:/ { sub(/^Signed-By:[[:space:]]*/, ""); key = $0 }
            END { flush() }' "$f" | sed 's/\[signed-by=\] //'
    done
}

fetched=0
for pkg in "$@"; do
    dir=$(find "$cache" -mindepth 1 -maxdepth 1 -type d -name "$pkg-[0-9]*" | sort | tail -n 1)
    if [ -z "$dir" ]; then
        if [ $fetched -eq 0 ]; then
            mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
            sources_list > "$apt_dir/sources.list"
            [ -s "$apt_dir/sources.list" ] || { echo "$0: no Debian sources found in /etc/apt" >&2; exit 1; }
            apt-get "${apt_opts[@]}" update -qq >&2
            fetched=1
        fi
        (cd "$cache" && apt-get "${apt_opts[@]}" source -qq "$pkg" >&2)
        dir=$(find "$cache" -mindepth 1 -maxdepth 1 -type d -name "$pkg-[0-9]*" | sort | tail -n 1)
        [ -n "$dir" ] || { echo "$0: $pkg did not unpack" >&2; exit 1; }
    fi
    echo "$dir"
done
