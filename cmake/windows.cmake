# SPDX-License-Identifier: Zlib
# The Windows build, cross-compiled here with mingw-w64 (cmake/mingw-w64-x86_64.cmake):
# bramble.exe with asset/ and res/ beside it in <build>/game, and a zip of that
# folder with the licences (`cmake --build <build> --target package`).
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
#         -DBRAMBLE_HOST_ASSETS=build/game   # optional, see below
#
# Nothing is installed on the player's machine: SDL2 and SDL2_mixer are linked in
# statically, and so are the compiler's runtimes, so the .exe imports only
# Windows system DLLs. SDL2's main library provides the process entry (WinMain,
# which calls the game's SDL_main); src/entry.cpp, the hand-over the desktop
# build needs, stays out, since here SDL renames `main` to SDL_main and that
# hand-over would call itself.
#
# Included by the top-level CMakeLists.txt, which stops after it: the tests,
# benchmarks, examples and asset generators are build-host programs.

set(BRAMBLE_RUNTIME_DIR ${CMAKE_BINARY_DIR}/game)

# ---------------------------------------------------------------------------
# SDL2 and SDL2_mixer: static, from Debian's source packages (the versions the
# desktop build links), built once at configure time into <build>/sdl. The stamp
# names the source folders, so new sources rebuild and a second configure does not.
# ---------------------------------------------------------------------------
set(BRAMBLE_SDL_PREFIX ${CMAKE_BINARY_DIR}/sdl)
set(BRAMBLE_SDL_CACHE ${CMAKE_BINARY_DIR}/sdl-src CACHE PATH
    "Where Debian's SDL2 and SDL2_mixer sources are fetched and unpacked")

function(bramble_sdl_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${out}")
  endif()
endfunction()

execute_process(
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/debian-source.sh ${BRAMBLE_SDL_CACHE} libsdl2 libsdl2-mixer
  RESULT_VARIABLE rc OUTPUT_VARIABLE sdl_sources ERROR_VARIABLE err
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fetching Debian's SDL2 sources failed:\n${err}")
endif()
string(REPLACE "\n" ";" sdl_sources "${sdl_sources}")
list(GET sdl_sources 0 BRAMBLE_SDL2_SOURCE)
list(GET sdl_sources 1 BRAMBLE_SDL2_MIXER_SOURCE)
get_filename_component(sdl2_name ${BRAMBLE_SDL2_SOURCE} NAME)
get_filename_component(mixer_name ${BRAMBLE_SDL2_MIXER_SOURCE} NAME)
set(sdl_stamp ${BRAMBLE_SDL_PREFIX}/built-${sdl2_name}-${mixer_name})

if(NOT EXISTS ${sdl_stamp})
  message(STATUS "Building ${sdl2_name} and ${mixer_name} for Windows (once, a few minutes)")
  file(REMOVE_RECURSE ${BRAMBLE_SDL_PREFIX} ${CMAKE_BINARY_DIR}/sdl-build)
  set(common -G ${CMAKE_GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
             -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=${BRAMBLE_SDL_PREFIX})
  set(jobs 2)
  if(DEFINED ENV{CMAKE_BUILD_PARALLEL_LEVEL})
    set(jobs $ENV{CMAKE_BUILD_PARALLEL_LEVEL})
  endif()
  set(b ${CMAKE_BINARY_DIR}/sdl-build/sdl2)
  bramble_sdl_step("configuring SDL2" ${CMAKE_COMMAND} -S ${BRAMBLE_SDL2_SOURCE} -B ${b} ${common}
                   -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF)
  bramble_sdl_step("building SDL2" ${CMAKE_COMMAND} --build ${b} -j ${jobs})
  bramble_sdl_step("installing SDL2" ${CMAKE_COMMAND} --install ${b})
  # WAV is the only format the game plays; every other decoder is left out.
  set(b ${CMAKE_BINARY_DIR}/sdl-build/mixer)
  bramble_sdl_step("configuring SDL2_mixer" ${CMAKE_COMMAND} -S ${BRAMBLE_SDL2_MIXER_SOURCE} -B ${b}
                   ${common} -DSDL2_DIR=${BRAMBLE_SDL_PREFIX}/lib/cmake/SDL2
                   -DBUILD_SHARED_LIBS=OFF -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_SAMPLES=OFF
                   -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF -DSDL2MIXER_MP3=OFF
                   -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF
                   -DSDL2MIXER_WAVE=ON)
  bramble_sdl_step("building SDL2_mixer" ${CMAKE_COMMAND} --build ${b} -j ${jobs})
  bramble_sdl_step("installing SDL2_mixer" ${CMAKE_COMMAND} --install ${b})
  file(TOUCH ${sdl_stamp})
endif()

# The prefix lies outside the mingw root the toolchain confines searches to.
find_package(SDL2 CONFIG REQUIRED PATHS ${BRAMBLE_SDL_PREFIX} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_package(SDL2_mixer CONFIG REQUIRED PATHS ${BRAMBLE_SDL_PREFIX} NO_DEFAULT_PATH
             NO_CMAKE_FIND_ROOT_PATH)

# ---------------------------------------------------------------------------
# The engine, the game and the executable
# ---------------------------------------------------------------------------
file(GLOB VEK_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/engine/*.cpp)
list(FILTER VEK_SOURCES EXCLUDE REGEX "/platform_[a-z]+\\.cpp$")
list(APPEND VEK_SOURCES ${CMAKE_SOURCE_DIR}/engine/platform_windows.cpp)
add_library(vek STATIC ${VEK_SOURCES})
target_include_directories(vek PUBLIC ${CMAKE_SOURCE_DIR}/engine)
target_link_libraries(vek PUBLIC SDL2_mixer::SDL2_mixer-static SDL2::SDL2-static)

# main.cpp, which holds SDL_main, goes into the executable itself: from a library
# the linker would not pull it in for SDL2main's reference.
file(GLOB GAME_MODULES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*.cpp)
list(REMOVE_ITEM GAME_MODULES ${CMAKE_SOURCE_DIR}/src/entry.cpp ${CMAKE_SOURCE_DIR}/src/main.cpp)
add_library(bramble_game STATIC ${GAME_MODULES})
target_include_directories(bramble_game PUBLIC ${CMAKE_SOURCE_DIR}/inc)
target_link_libraries(bramble_game PUBLIC vek)

# A GUI program (WIN32): started from Explorer it opens no console window beside
# the game. Its stderr still reaches whatever it is redirected to.
add_executable(bramble WIN32 ${CMAKE_SOURCE_DIR}/src/main.cpp)
target_link_libraries(bramble PRIVATE SDL2::SDL2main bramble_game)
target_link_options(bramble PRIVATE -static -static-libgcc -static-libstdc++)
set_target_properties(bramble PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${BRAMBLE_RUNTIME_DIR})

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
set_source_files_properties(${CMAKE_BINARY_DIR}/bramble.rc PROPERTIES OBJECT_DEPENDS ${BRAMBLE_ICO})
target_sources(bramble PRIVATE ${CMAKE_BINARY_DIR}/bramble.rc)

# ---------------------------------------------------------------------------
# Assets: the generators are build-host programs, so their output comes from a
# native build: BRAMBLE_HOST_ASSETS names a runtime folder holding asset/ and res/
# (e.g. build/game after `make build`). Left empty, a native configure of this
# source tree in <build>/host makes them (its bramble_assets target only).
# ---------------------------------------------------------------------------
set(BRAMBLE_HOST_ASSETS "" CACHE PATH "Native runtime folder whose asset/ and res/ the Windows build ships")
set(copy_assets)
if(BRAMBLE_HOST_ASSETS)
  set(host_assets ${BRAMBLE_HOST_ASSETS})
else()
  set(host_build ${CMAKE_BINARY_DIR}/host)
  set(host_assets ${host_build}/game)
  if(NOT EXISTS ${host_build}/CMakeCache.txt)
    bramble_sdl_step("configuring the native asset build"
                     ${CMAKE_COMMAND} -E env --unset=CC --unset=CXX
                     ${CMAKE_COMMAND} -S ${CMAKE_SOURCE_DIR} -B ${host_build} -G ${CMAKE_GENERATOR}
                     -DCMAKE_BUILD_TYPE=Release -DBRAMBLE_TESTS=OFF -DBRAMBLE_BENCH=OFF
                     -DBRAMBLE_EXAMPLES=OFF)
  endif()
  set(copy_assets COMMAND ${CMAKE_COMMAND} --build ${host_build} --target bramble_assets)
endif()
add_custom_target(bramble_assets ALL
  ${copy_assets}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${host_assets}/asset ${BRAMBLE_RUNTIME_DIR}/asset
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${host_assets}/res ${BRAMBLE_RUNTIME_DIR}/res
  COMMENT "Copying the natively generated asset/ and res/"
  VERBATIM)
add_dependencies(bramble bramble_assets)

# ---------------------------------------------------------------------------
# The zip: one folder bramble-<version>-windows-x64 holding the game folder and
# the licences of everything linked into the .exe.
# ---------------------------------------------------------------------------
install(TARGETS bramble RUNTIME DESTINATION .)
install(DIRECTORY ${BRAMBLE_RUNTIME_DIR}/asset ${BRAMBLE_RUNTIME_DIR}/res DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/windows/README.txt DESTINATION .)
install(FILES ${BRAMBLE_SDL2_SOURCE}/LICENSE.txt DESTINATION licences RENAME SDL2.txt)
install(FILES ${BRAMBLE_SDL2_MIXER_SOURCE}/LICENSE.txt DESTINATION licences RENAME SDL2_mixer.txt)
install(FILES /usr/share/doc/mingw-w64-x86-64-dev/copyright DESTINATION licences
        RENAME mingw-w64-runtime.txt)
install(FILES ${CMAKE_SOURCE_DIR}/asset/atarifont.LICENSE.txt DESTINATION licences)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION licences RENAME bramble.txt)

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
include(CPack)
