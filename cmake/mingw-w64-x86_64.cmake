# SPDX-License-Identifier: Zlib
# Cross toolchain for 64-bit Windows: Debian's mingw-w64 GCC with POSIX threads
# (package g++-mingw-w64-x86-64-posix, which `make windows` installs through
# scripts/deps.sh). The posix flavour is the one whose libstdc++ has std::thread
# and std::mutex without extra headers.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(BRAMBLE_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${BRAMBLE_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${BRAMBLE_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${BRAMBLE_MINGW}-windres)

# Libraries and headers come from the mingw sysroot and the prefixes the build
# adds (CMAKE_PREFIX_PATH, re-rooted too); programs are the build host's.
set(CMAKE_FIND_ROOT_PATH /usr/${BRAMBLE_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
