#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Wraps one square PNG (up to 256 x 256) in a Windows icon file: a six-byte
# header, one sixteen-byte directory entry and the PNG itself, which Windows
# reads as the entry's picture. Used by the Windows build for the game's icon.
#
#   scripts/png-to-ico.sh IN.png OUT.ico
set -euo pipefail
in=$1 out=$2
# The PNG's width and height, big-endian at bytes 16 and 20 of its header.
w=$(od -An -tu1 -j16 -N4 "$in" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
h=$(od -An -tu1 -j20 -N4 "$in" | awk '{print $1*16777216 + $2*65536 + $3*256 + $4}')
[ "$w" -ge 1 ] && [ "$w" -le 256 ] && [ "$w" -eq "$h" ] || { echo "$in: not a square PNG of 1 to 256 pixels" >&2; exit 1; }
size=$(stat -c %s "$in")
le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $(($1 >> 8 & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $(($1 >> 16)); }
{
  le16 0; le16 1; le16 1                    # reserved, type 1 (icon), one entry
  printf "\\x$(printf %02x $((w & 255)))"   # width (0 stands for 256)
  printf "\\x$(printf %02x $((h & 255)))"   # height
  le16 0                                    # no palette, reserved
  le16 1; le16 32                           # planes, bits per pixel
  le32 "$size"; le32 22                     # the picture's size and offset
  cat "$in"
} > "$out.tmp"
mv "$out.tmp" "$out"
