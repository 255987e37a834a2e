#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Fetches and unpacks the Debian sources of installed packages into a cache folder,
# for the builds that compile libraries themselves (SDL2 and SDL2_mixer for the
# browser and for Windows, cmake/sdl.cmake). Nothing else can be downloaded here.
#
#   scripts/debian-source.sh CACHE_DIR PACKAGE...
#
# PACKAGE names a binary package (libsdl2-dev); its source package is fetched at
# the version installed on this machine, so the cross builds compile the very
# library the desktop build links. A package that is not installed takes apt's
# candidate version instead, and says so.
#
# Prints, one per line, the unpacked source folder of each package
# (CACHE_DIR/SOURCE-VERSION, the whole Debian version with its revision, so a
# security update of the same upstream version, 2.26.5+dfsg-1+deb12u1 after
# 2.26.5+dfsg-1, is fetched and built). A folder already unpacked there at that
# version is not fetched again; another version is fetched beside it. The
# download goes into a temporary folder whose files are kept only once apt has
# fetched and checked them all, and the unpack into one renamed only once
# dpkg-source has applied every patch: an interrupted download or unpack is never
# taken for a whole one. Callers run one at a time per CACHE_DIR (cmake/sdl.cmake
# holds its lock).
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
fetch() { # SOURCE[=VERSION]
    if [ $fetched -eq 0 ]; then
        mkdir -p "$apt_dir/sources.list.d" "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
        sources_list > "$apt_dir/sources.list"
        [ -s "$apt_dir/sources.list" ] || { echo "$0: no Debian sources found in /etc/apt" >&2; exit 1; }
        apt-get "${apt_opts[@]}" update -qq >&2
        fetched=1
    fi
    # Into a folder of its own, moved here only once apt has fetched and checked
    # every file: a download cut off after the .dsc arrived must not leave a .dsc
    # whose other files are missing or short, which every later run would take
    # for a whole download and fail to unpack. The .dsc moves last: here, it
    # means the rest is here too.
    local partial=$cache/fetching
    rm -rf "$partial"
    mkdir -p "$partial"
    (cd "$partial" && apt-get "${apt_opts[@]}" source --download-only -qq "$1" >&2)
    find "$partial" -mindepth 1 -maxdepth 1 ! -name '*.dsc' -exec mv -f -t "$cache" {} +
    find "$partial" -mindepth 1 -maxdepth 1 -name '*.dsc' -exec mv -f -t "$cache" {} +
    rm -rf "$partial"
}

unpack() { # DSC DIR
    local partial="$2.unpacking"
    rm -rf "$partial"
    dpkg-source -x "$1" "$partial" >&2 || { rm -rf "$partial"; return 1; }
    mv -T "$partial" "$2"
}

for pkg in "$@"; do
    if info=$(dpkg-query -W -f='${Status}\t${source:Package}\t${source:Version}' "$pkg" 2>/dev/null) &&
       [[ $info == "install ok installed"* ]]; then
        IFS=$'\t' read -r _ source version <<<"$info"
    else
        # Not installed: apt's candidate, from the machine's package lists.
        # apt-cache fails on a name it does not know: that is said below, in words.
        shown=$(apt-cache show --no-all-versions "$pkg" 2>/dev/null) || shown=""
        version=$(sed -n 's/^Version: //p' <<<"$shown")
        source=$(sed -n 's/^Source: \([^ ]*\).*/\1/p' <<<"$shown")
        [ -n "$version" ] || {
            echo "$0: $pkg is neither installed nor known to apt (its name, or apt-get update?)" >&2
            exit 1
        }
        source=${source:-$pkg}
        echo "$0: $pkg is not installed: taking apt's candidate $source $version" >&2
    fi
    plain=${version#*:} # no epoch: the .dsc's name leaves it out
    dir="$cache/$source-$plain"
    if [ ! -d "$dir" ]; then
        dsc="$cache/${source}_$plain.dsc"
        # Downloaded whole by apt before (it checks every file against the
        # signed index): unpacked again without asking the network. A .dsc whose
        # files do not unpack (a cache that an interrupted download left before
        # downloads were kept apart) is fetched again rather than failing for good.
        if [ -f "$dsc" ] && ! unpack "$dsc" "$dir"; then
            echo "$0: $dsc did not unpack: fetching $source $version again" >&2
            rm -f "$dsc"
        fi
        if [ ! -d "$dir" ]; then
            [ -f "$dsc" ] || fetch "$source=$version"
            [ -f "$dsc" ] || { echo "$0: $source $version: no $dsc fetched" >&2; exit 1; }
            unpack "$dsc" "$dir"
        fi
    fi
    echo "$dir"
done
