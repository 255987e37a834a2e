# SPDX-License-Identifier: Zlib
# SDL2 and SDL2_mixer for a cross build (Windows, the browser): static libraries
# built with the build's own toolchain from Debian's sources, the mixer with its
# WAV decoder only (the game plays nothing else). Sets BRAMBLE_SDL_LIBRARIES.
#
# The sources are those of the installed libsdl2-dev and libsdl2-mixer-dev
# (scripts/debian-source.sh), fetched once into BRAMBLE_SDL_CACHE, which every
# build tree of this source tree shares; each target's libraries are built once
# there too (<cache>/<platform>), at configure time. A stamp names the source
# folders and this recipe's flags, so new sources or flags rebuild and a second
# configure does not. A lock keeps two configures from building into one prefix.
set(BRAMBLE_SDL_CACHE ${CMAKE_SOURCE_DIR}/build-sdl CACHE PATH
    "Debian's SDL2 and SDL2_mixer sources and their builds for the cross targets")
file(MAKE_DIRECTORY ${BRAMBLE_SDL_CACHE})
file(LOCK ${BRAMBLE_SDL_CACHE}/lock GUARD FILE TIMEOUT 3600 RESULT_VARIABLE lock_result)
if(NOT lock_result STREQUAL "0")
  message(FATAL_ERROR "could not lock ${BRAMBLE_SDL_CACHE}: ${lock_result}")
endif()

# Runs one step; its output is shown only when it fails.
function(bramble_sdl_step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed:\n${out}")
  endif()
endfunction()

execute_process(
  COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/debian-source.sh ${BRAMBLE_SDL_CACHE}/src
          libsdl2-dev libsdl2-mixer-dev
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

set(sdl2_options -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF)
set(mixer_options
    -DBUILD_SHARED_LIBS=OFF -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_DEPS_SHARED=OFF
    -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF
    -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF
    -DSDL2MIXER_WAVE=ON)
string(MD5 recipe "${CMAKE_TOOLCHAIN_FILE};${sdl2_options};${mixer_options}")
string(SUBSTRING ${recipe} 0 8 recipe)
set(BRAMBLE_SDL_PREFIX ${BRAMBLE_SDL_CACHE}/${BRAMBLE_PLATFORM})
set(sdl_stamp ${BRAMBLE_SDL_PREFIX}/built-${sdl2_name}-${mixer_name}-${recipe})

if(NOT EXISTS ${sdl_stamp})
  message(STATUS "Building ${sdl2_name} and ${mixer_name} for ${BRAMBLE_PLATFORM} (once, minutes)")
  set(work ${BRAMBLE_SDL_CACHE}/build-${BRAMBLE_PLATFORM})
  file(REMOVE_RECURSE ${BRAMBLE_SDL_PREFIX} ${work})
  set(common -G ${CMAKE_GENERATOR} -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
             -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=${BRAMBLE_SDL_PREFIX}
             -DCMAKE_PREFIX_PATH=${BRAMBLE_SDL_PREFIX})
  # For the browser, the configures go through emcmake, as emscripten means them to:
  # SDL's configure alone took 300 s without it against 190 s with it here.
  set(configure ${CMAKE_COMMAND})
  if(EMSCRIPTEN)
    find_program(BRAMBLE_EMCMAKE emcmake HINTS ${EMSCRIPTEN_ROOT_PATH} NO_CACHE)
    if(BRAMBLE_EMCMAKE)
      set(configure ${BRAMBLE_EMCMAKE} ${CMAKE_COMMAND})
    endif()
  endif()
  if(CMAKE_CROSSCOMPILING_EMULATOR AND NOT BRAMBLE_EMCMAKE)
    list(APPEND common -DCMAKE_CROSSCOMPILING_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  set(jobs 2)
  if(DEFINED ENV{CMAKE_BUILD_PARALLEL_LEVEL})
    set(jobs $ENV{CMAKE_BUILD_PARALLEL_LEVEL})
  endif()
  bramble_sdl_step("configuring SDL2" ${configure} -S ${BRAMBLE_SDL2_SOURCE} -B ${work}/sdl2
                   ${common} ${sdl2_options})
  bramble_sdl_step("building SDL2" ${CMAKE_COMMAND} --build ${work}/sdl2 -j ${jobs})
  bramble_sdl_step("installing SDL2" ${CMAKE_COMMAND} --install ${work}/sdl2)
  # The installed SDL2 lies outside the toolchain's search root: named directly.
  bramble_sdl_step("configuring SDL2_mixer" ${configure} -S ${BRAMBLE_SDL2_MIXER_SOURCE}
                   -B ${work}/mixer ${common} -DCMAKE_FIND_ROOT_PATH=${BRAMBLE_SDL_PREFIX}
                   -DSDL2_DIR=${BRAMBLE_SDL_PREFIX}/lib/cmake/SDL2 ${mixer_options})
  bramble_sdl_step("building SDL2_mixer" ${CMAKE_COMMAND} --build ${work}/mixer -j ${jobs})
  bramble_sdl_step("installing SDL2_mixer" ${CMAKE_COMMAND} --install ${work}/mixer)
  file(REMOVE_RECURSE ${work})
  file(TOUCH ${sdl_stamp})
endif()

# The prefix lies outside the root the toolchain confines searches to.
find_package(SDL2 CONFIG REQUIRED PATHS ${BRAMBLE_SDL_PREFIX} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_package(SDL2_mixer CONFIG REQUIRED PATHS ${BRAMBLE_SDL_PREFIX} NO_DEFAULT_PATH
             NO_CMAKE_FIND_ROOT_PATH)
set(BRAMBLE_SDL_LIBRARIES SDL2_mixer::SDL2_mixer-static SDL2::SDL2-static)
