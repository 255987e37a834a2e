# SPDX-License-Identifier: Zlib
# SDL2 and SDL2_mixer for the builds that carry their own (Windows, the browser,
# the portable Linux build): static libraries built with the build's own
# toolchain from Debian's sources, the mixer with its WAV decoder only (the game
# plays nothing else). Sets BRAMBLE_SDL_LIBRARIES, BRAMBLE_SDL2_SOURCE,
# BRAMBLE_SDL2_MIXER_SOURCE and BRAMBLE_SDL_VERSIONS_FILE (the exact Debian
# source versions, for the artefact's licences folder).
#
# The sources are those of the installed libsdl2-dev and libsdl2-mixer-dev
# (scripts/debian-source.sh), fetched once into BRAMBLE_SDL_CACHE, which every
# build tree of this source tree shares; each target's libraries are built once
# there too, at configure time, into a prefix named after a key of everything
# that goes into them: the target, the source folders (the full Debian versions,
# revision included), the toolchain file's contents and this recipe's flags. New
# sources or flags build anew beside the old; a second configure builds nothing.
# A lock keeps two configures from building into one prefix.
#
# The build folder's path reaches no library: the compilers map the cache to a
# fixed name (-ffile-prefix-map), so builds of one commit in two folders sharing
# this cache give the same bytes.
#
# The environment's BRAMBLE_SDL_CACHE names another cache (the reproducibility
# check's second build shares the first's).
set(sdl_cache ${CMAKE_SOURCE_DIR}/build-sdl)
if(DEFINED ENV{BRAMBLE_SDL_CACHE})
  set(sdl_cache $ENV{BRAMBLE_SDL_CACHE})
endif()
set(BRAMBLE_SDL_CACHE ${sdl_cache} CACHE PATH
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

# The Debian source package and version of each, from the top of its changelog.
set(BRAMBLE_SDL_VERSIONS_FILE ${CMAKE_BINARY_DIR}/SDL-debian-sources.txt)
set(versions "SDL2 and SDL2_mixer in this build are compiled from these Debian source packages:\n")
foreach(source ${BRAMBLE_SDL2_SOURCE} ${BRAMBLE_SDL2_MIXER_SOURCE})
  file(STRINGS ${source}/debian/changelog top LIMIT_COUNT 1)
  if(NOT top MATCHES "^([^ ]+) \\(([^)]+)\\)")
    message(FATAL_ERROR "no package and version at the top of ${source}/debian/changelog")
  endif()
  string(APPEND versions "${CMAKE_MATCH_1} ${CMAKE_MATCH_2}\n")
endforeach()
file(CONFIGURE OUTPUT ${BRAMBLE_SDL_VERSIONS_FILE} CONTENT "${versions}")

# The target the libraries are built for: the platform's, or "linux" for the
# portable build, which the top CMakeLists.txt sets.
if(NOT BRAMBLE_SDL_TARGET)
  set(BRAMBLE_SDL_TARGET ${BRAMBLE_PLATFORM})
endif()
set(sdl2_options -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_TESTS=OFF)
if(BRAMBLE_SDL_TARGET STREQUAL "linux")
  # The portable build: SDL opens the display and sound systems it finds on the
  # player's machine when the game starts (X11, Wayland, PulseAudio, PipeWire,
  # ALSA), as SDL's own builds do, so the game needs none of them installed to
  # start and links only the C library. Systems no desktop uses are left out.
  list(APPEND sdl2_options -DCMAKE_POSITION_INDEPENDENT_CODE=ON -DSDL_RPATH=OFF
       -DSDL_X11=ON -DSDL_X11_SHARED=ON -DSDL_WAYLAND=ON -DSDL_WAYLAND_SHARED=ON
       -DSDL_WAYLAND_LIBDECOR_SHARED=ON -DSDL_PULSEAUDIO=ON -DSDL_PULSEAUDIO_SHARED=ON
       -DSDL_PIPEWIRE=ON -DSDL_PIPEWIRE_SHARED=ON -DSDL_ALSA=ON -DSDL_ALSA_SHARED=ON
       -DSDL_KMSDRM_SHARED=ON -DSDL_JACK=OFF -DSDL_SNDIO=OFF -DSDL_ESD=OFF -DSDL_ARTS=OFF
       -DSDL_NAS=OFF -DSDL_FUSIONSOUND=OFF -DSDL_LIBSAMPLERATE=OFF -DSDL_HIDAPI_LIBUSB=OFF)
endif()
set(mixer_options
    -DBUILD_SHARED_LIBS=OFF -DSDL2MIXER_VENDORED=OFF -DSDL2MIXER_DEPS_SHARED=OFF
    -DSDL2MIXER_SAMPLES=OFF -DSDL2MIXER_CMD=OFF -DSDL2MIXER_FLAC=OFF -DSDL2MIXER_MOD=OFF
    -DSDL2MIXER_MP3=OFF -DSDL2MIXER_MIDI=OFF -DSDL2MIXER_OPUS=OFF -DSDL2MIXER_VORBIS=OFF
    -DSDL2MIXER_WAVE=ON)
# The prefix map goes to the compilers through the environment of the configure
# (CMake takes CFLAGS as the first CMAKE_C_FLAGS), not in the key: the key is
# the same for every cache folder.
set(sdl_cflags "-ffile-prefix-map=${BRAMBLE_SDL_CACHE}=${BRAMBLE_SDL_MAPPED}")
set(toolchain_contents "")
if(CMAKE_TOOLCHAIN_FILE)
  file(READ ${CMAKE_TOOLCHAIN_FILE} toolchain_contents)
endif()
string(MD5 recipe "${BRAMBLE_SDL_TARGET};${sdl2_name};${mixer_name};${toolchain_contents};\
-ffile-prefix-map;${sdl2_options};${mixer_options}")
string(SUBSTRING ${recipe} 0 8 recipe)
set(BRAMBLE_SDL_PREFIX ${BRAMBLE_SDL_CACHE}/${BRAMBLE_SDL_TARGET}-${recipe})
set(sdl_stamp ${BRAMBLE_SDL_PREFIX}/built)

if(NOT EXISTS ${sdl_stamp})
  message(STATUS "Building ${sdl2_name} and ${mixer_name} for ${BRAMBLE_SDL_TARGET} (once, minutes)")
  set(work ${BRAMBLE_SDL_CACHE}/build-${BRAMBLE_SDL_TARGET})
  file(REMOVE_RECURSE ${BRAMBLE_SDL_PREFIX} ${work})
  set(common -G ${CMAKE_GENERATOR} -DCMAKE_BUILD_TYPE=Release
             -DCMAKE_INSTALL_PREFIX=${BRAMBLE_SDL_PREFIX} -DCMAKE_PREFIX_PATH=${BRAMBLE_SDL_PREFIX})
  if(CMAKE_TOOLCHAIN_FILE)
    list(APPEND common -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE})
  endif()
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
  set(configure ${CMAKE_COMMAND} -E env CFLAGS=${sdl_cflags} CXXFLAGS=${sdl_cflags} ${configure})
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

# The game's own objects see the installed headers under the same fixed name.
add_compile_options(${sdl_cflags})

# The licences folder of an artefact that carries this SDL: the game's, the
# font's, SDL2's and SDL2_mixer's terms, the Debian sources the two came from, and
# the compiler runtime linked in (RUNTIME_COPYRIGHT, installed as RUNTIME_NAME).
function(bramble_install_licences runtime_copyright runtime_name)
  install(FILES ${BRAMBLE_SDL2_SOURCE}/LICENSE.txt DESTINATION licences RENAME SDL2.txt)
  install(FILES ${BRAMBLE_SDL2_MIXER_SOURCE}/LICENSE.txt DESTINATION licences RENAME SDL2_mixer.txt)
  install(FILES ${BRAMBLE_SDL_VERSIONS_FILE} DESTINATION licences)
  install(FILES ${runtime_copyright} DESTINATION licences RENAME ${runtime_name})
  install(FILES ${CMAKE_SOURCE_DIR}/asset/atarifont.LICENSE.txt DESTINATION licences)
  install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION licences RENAME bramble.txt)
endfunction()

# The prefix lies outside the root the toolchain confines searches to.
find_package(SDL2 CONFIG REQUIRED PATHS ${BRAMBLE_SDL_PREFIX} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
find_package(SDL2_mixer CONFIG REQUIRED PATHS ${BRAMBLE_SDL_PREFIX} NO_DEFAULT_PATH
             NO_CMAKE_FIND_ROOT_PATH)
set(BRAMBLE_SDL_LIBRARIES SDL2_mixer::SDL2_mixer-static SDL2::SDL2-static)
