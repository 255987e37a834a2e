# SPDX-License-Identifier: Zlib
# The Windows build's own options, cross-compiled here with mingw-w64
# (cmake/mingw-w64-x86_64.cmake): bramble.exe with asset/ and res/ beside it in
# <build>/game; its install is the zip's folder with the licences
# (scripts/windows-build.sh packs it, and the installer with cpack -G NSIS).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DBRAMBLE_HOST_BUILD=build   # optional: the native tree making the assets
#
# Nothing is installed on the player's machine: SDL2 and SDL2_mixer are linked in
# statically (cmake/sdl.cmake), and so are the compiler's runtimes, so the .exe
# imports only Windows system DLLs.
#
# Included by the top-level CMakeLists.txt after the engine and the game: the
# tests, benchmarks, examples and asset generators are build-host programs.

# ---------------------------------------------------------------------------
# The entry and the link: SDL2's main library is the process entry (WinMain,
# which calls the game's SDL_main), so src/entry.cpp, the other targets' hand-over,
# stays out: here SDL renames `main` to SDL_main and it would call itself.
# main.cpp, which holds SDL_main, goes into the executable itself: from the game's
# library the linker would not take it for SDL2main's later reference.
# A GUI program (WIN32): started from Explorer it opens no console window beside
# the game. Its stderr still reaches whatever it is redirected to.
# ---------------------------------------------------------------------------
target_sources(bramble PRIVATE ${CMAKE_SOURCE_DIR}/src/main.cpp)
target_link_libraries(bramble PRIVATE SDL2::SDL2main)
# No link time in the PE header: the same commit links to the same bytes.
target_link_options(bramble PRIVATE -static -static-libgcc -static-libstdc++
                    -Wl,--no-insert-timestamp)
set_target_properties(bramble PROPERTIES WIN32_EXECUTABLE ON)

# ---------------------------------------------------------------------------
# Resources (windres): the game's icon and a version, which Explorer, the
# taskbar, the window and the installer's Start-menu entry show. The icon file
# is packaging/'s 64 x 64 PNG in an icon directory, made at build time.
# ---------------------------------------------------------------------------
enable_language(RC)
set(BRAMBLE_ICO ${CMAKE_BINARY_DIR}/bramble.ico)
add_custom_command(OUTPUT ${BRAMBLE_ICO}
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/png-to-ico.sh ${CMAKE_SOURCE_DIR}/packaging/bramble-64.png
          ${BRAMBLE_ICO}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/png-to-ico.sh ${CMAKE_SOURCE_DIR}/packaging/bramble-64.png
  VERBATIM)
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/bramble.rc.in ${CMAKE_BINARY_DIR}/bramble.rc
               @ONLY)
# The executable is declared in src/: the icon is made by a target of this folder
# that it waits for, and the resource's dependency is set in the executable's folder.
add_custom_target(bramble_icon DEPENDS ${BRAMBLE_ICO})
add_dependencies(bramble bramble_icon)
target_sources(bramble PRIVATE ${CMAKE_BINARY_DIR}/bramble.rc)
set_source_files_properties(${CMAKE_BINARY_DIR}/bramble.rc TARGET_DIRECTORY bramble
                            PROPERTIES OBJECT_DEPENDS ${BRAMBLE_ICO})

# ---------------------------------------------------------------------------
# Assets: asset/ and res/ of the native generators, copied beside the .exe.
# ---------------------------------------------------------------------------
add_custom_target(bramble_assets ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${BRAMBLE_HOST_RUNTIME}/asset ${BRAMBLE_RUNTIME_DIR}/asset
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${BRAMBLE_HOST_RUNTIME}/res ${BRAMBLE_RUNTIME_DIR}/res
  COMMENT "Copying the natively generated asset/ and res/"
  VERBATIM)
add_dependencies(bramble_assets bramble_host_assets)
add_dependencies(bramble bramble_assets)

# ---------------------------------------------------------------------------
# A program of the Windows tests (tests/windows/), built only when they ask for
# it: a fatal stop whose notice is hard to show. Never packaged.
# ---------------------------------------------------------------------------
add_executable(fatal_notice EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/windows/fatal_notice.cpp)
target_link_libraries(fatal_notice PRIVATE vek)
target_link_options(fatal_notice PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(fatal_notice PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/probes)

# ---------------------------------------------------------------------------
# The zip: one folder bramble-<version>-windows-x64 holding the game folder and
# the licences of everything linked into the .exe, and the Debian source
# versions of its SDL.
# ---------------------------------------------------------------------------
install(TARGETS bramble RUNTIME DESTINATION .)
install(DIRECTORY ${BRAMBLE_RUNTIME_DIR}/asset ${BRAMBLE_RUNTIME_DIR}/res DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
bramble_install_licences(/usr/share/doc/mingw-w64-x86-64-dev/copyright mingw-w64-runtime.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME bramble)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME bramble-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)

# The installer (`cpack -G NSIS`, Debian's nsis): bramble-<version>-windows-x64-setup.exe,
# per user, without administrator rights, from the project's own template
# (packaging/windows/NSIS.template.in: CMake's stock one asks for them); the
# per-generator name is set in packaging/windows/CPackOptions.cmake.
set(CPACK_PACKAGE_VENDOR "the bramble developers")
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/packaging/windows/CPackOptions.cmake)
list(APPEND CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging/windows)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_NSIS_MUI_ICON ${BRAMBLE_ICO})
set(CPACK_NSIS_MUI_UNIICON ${BRAMBLE_ICO})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/staged-files.cmake)
include(CPack)
