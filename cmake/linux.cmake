# SPDX-License-Identifier: Zlib
# The portable Linux build (-DBRAMBLE_PORTABLE=ON): one folder a player unpacks
# and starts on any x86-64 Linux whose C library is no older than the one it was
# built against, without installing anything.
#
#   cmake -S . -B build-linux -DBRAMBLE_PORTABLE=ON -DCMAKE_BUILD_TYPE=Release
#   cmake --build build-linux && cmake --install build-linux --prefix DIR
#
# SDL2 and SDL2_mixer are built from Debian's sources by cmake/sdl.cmake and
# linked in; SDL loads the display and sound libraries at start. The C++ runtime
# and libgcc are linked in too: the executable needs only the C library's own
# libraries. Included by the top-level CMakeLists.txt after the engine and the game.
target_sources(bramble PRIVATE ${CMAKE_SOURCE_DIR}/src/entry.cpp)
target_link_options(bramble PRIVATE -static-libstdc++ -static-libgcc)

# The folder: the game with asset/ and res/, the README, the desktop entry and
# icons, and the licences of everything linked in with the exact Debian sources
# of SDL.
install(TARGETS bramble RUNTIME DESTINATION .)
install(DIRECTORY ${BRAMBLE_RUNTIME_DIR}/asset ${BRAMBLE_RUNTIME_DIR}/res DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/linux/README.txt ${CMAKE_SOURCE_DIR}/CHANGELOG.md
              ${CMAKE_SOURCE_DIR}/packaging/bramble.desktop ${CMAKE_SOURCE_DIR}/packaging/bramble.svg
        DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/bramble-64.png DESTINATION . RENAME bramble.png)
string(REGEX MATCH "^[0-9]+" gcc_major ${CMAKE_CXX_COMPILER_VERSION})
bramble_install_licences(/usr/share/doc/gcc-${gcc_major}-base/copyright gcc-runtime-libraries.txt)
