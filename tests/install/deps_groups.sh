#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# The package groups of scripts/deps.sh: the game's own build (`make run`) pulls in
# none of the toolchains, emulators and browsers of the other targets and the
# tests; every package a group names is one apt knows; and each make entry point
# installs its own group.
#
#   deps_groups.sh SOURCE_DIR
set -euo pipefail
src=$1
deps=$src/scripts/deps.sh
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

run=$(bash "$deps" --list run)
[ -n "$run" ] || fail "the run group is empty"
for heavy in wine chromium emscripten mingw nsis clang valgrind sfml benchmark xvfb gtest googletest; do
    if grep -i -- "$heavy" <<<"$run" >/dev/null; then fail "the run group holds $heavy: $(tr '\n' ' ' <<<"$run")"; fi
done

# One question to apt for all the names (each call reads its whole cache).
named=$(for g in run test bench screenshots windows web release; do bash "$deps" --list "$g"; done | sort -u)
# shellcheck disable=SC2086 # one name a word
known=$(apt-cache show --no-all-versions $named 2>/dev/null | sed -n 's/^Package: //p' | sort -u)
unknown=$(comm -23 <(echo "$named") <(echo "$known") | xargs)
[ -z "$unknown" ] || fail "apt knows no package $unknown"
bash "$deps" --list no-such-group >/dev/null 2>&1 && fail "an unknown group is accepted"

# Each entry point and the groups it installs (make -n prints without running).
for pair in run:run package:run test:test bench:bench screenshots:screenshots windows:windows \
    web:web serve-web:web release:release release-check:release; do
    target=${pair%%:*} want=${pair#*:}
    got=$(env -u MAKEFLAGS -u MFLAGS -u MAKELEVEL make -s -n -C "$src" "$target" |
        sed -n 's|^bash scripts/deps.sh\(.*\)$|\1|p' | xargs)
    [[ " $got " == *" $want "* ]] || fail "make $target installs the groups '$got', not $want"
    [ "$want" != run ] || [ "$got" = run ] || fail "make $target installs '$got', more than the game's build"
done
echo "deps groups: run holds no toolchain of the other targets, all packages known, entry points install their own"
