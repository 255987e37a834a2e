#!/usr/bin/env bash
# SPDX-License-Identifier: Zlib
# Builds the fuzz targets with clang into BUILD_DIR (default: build-fuzz/ of the
# source tree). The compiler: $FUZZ_CXX, else clang++-14, else clang++.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$(dirname "$here")/build-fuzz}"
cxx="${FUZZ_CXX:-$(command -v clang++-14 || command -v clang++ || true)}"
if [ -z "$cxx" ]; then
  echo "$0: clang++ not found (scripts/deps.sh installs clang-14 and libclang-rt-14-dev)" >&2
  exit 1
fi
cmake -S "$here" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${FUZZ_JOBS:-2}"
