#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Set-up of the portable Linux build's tests: builds the tarball into BUILD_DIR
# (scripts/linux-build.sh) and unpacks it into BUILD_DIR/unpacked, as a player
# would.
#
#   tests/release/portable_setup.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$1
tarball=$(bash "$root/scripts/linux-build.sh" "$build")
rm -rf "$build/unpacked"
mkdir -p "$build/unpacked"
tar -xzf "$tarball" -C "$build/unpacked"
echo "unpacked $tarball"
