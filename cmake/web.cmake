# SPDX-License-Identifier: Zlib
# The browser build's own options: the engine and the game compiled with em++
# against SDL2 and SDL2_mixer built for the browser (cmake/sdl.cmake), into a
# static site in <build>/site: the page (web/index.html, web/page.js), the service
# worker (web/sw.js), bramble.js, bramble.wasm and bramble.data, the assets
# preloaded into the browser's memory (cmake/web-site.cmake names the files).
#
#   web/build.sh (make web), or the same by preset:
#   cmake --preset web && cmake --build --preset web
#
# Included by the top-level CMakeLists.txt after the engine and the game.

# The desktop's entry hands over to SDL_main here too.
target_sources(bramble PRIVATE ${CMAKE_SOURCE_DIR}/src/entry.cpp)

# ---------------------------------------------------------------------------
# Assets: the native generators' files, and the music written again as 8-bit
# mu-law (music --mu-law), a quarter of the compressed download; it keeps its
# .wav name and the mixer's WAV decoder.
# ---------------------------------------------------------------------------
set(web_assets ${CMAKE_BINARY_DIR}/assets)
set(music ${web_assets}/asset/Hall-of-the-Mountain-King.wav)
add_custom_target(bramble_assets
  COMMAND ${CMAKE_COMMAND} -E make_directory ${web_assets}/asset ${web_assets}/res/world
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${BRAMBLE_HOST_RUNTIME}/asset/atarifont.bmp
          ${BRAMBLE_HOST_RUNTIME}/asset/keyboard.bmp
          ${BRAMBLE_HOST_RUNTIME}/asset/atarifont.LICENSE.txt ${web_assets}/asset/
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${BRAMBLE_HOST_RUNTIME}/res/world/world.csv
          ${web_assets}/res/world/
  COMMAND ${BRAMBLE_HOST_TOOLS}/music --mu-law ${music}.part
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${music}.part ${music}
  COMMAND ${CMAKE_COMMAND} -E remove ${music}.part
  COMMENT "Gathering the browser's assets"
  VERBATIM)
add_dependencies(bramble_assets bramble_host_assets)
add_dependencies(bramble bramble_assets)

# ---------------------------------------------------------------------------
# The link
# ---------------------------------------------------------------------------
set(pre_js ${CMAKE_SOURCE_DIR}/web/pre.js)
target_link_options(bramble PRIVATE
  # The engine's frame wait (engine/platform_web.cpp) returns to the browser once a
  # frame through emscripten_sleep; Asyncify turns that wait into a return to the
  # browser's event loop and back.
  -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
  -sALLOW_MEMORY_GROWTH=1
  # exit() runs the exit actions as on the desktop and tells the page (onExit).
  -sEXIT_RUNTIME=1
  # The page starts the game after the player's click (sound and microphone need it).
  -sINVOKE_RUN=0 "-sEXPORTED_RUNTIME_METHODS=['callMain']"
  # SDL's Web Audio code calls dynCall, which this emscripten leaves out unless asked
  # (named in a file: CMake would mangle the "$" of its name on the command line).
  -sDEFAULT_LIBRARY_FUNCS_TO_INCLUDE=@${CMAKE_SOURCE_DIR}/web/library-funcs.txt -sDYNCALLS=1
  "SHELL:--pre-js ${pre_js}"
  # SHELL: keeps each option with its value (CMake merges repeated options).
  "SHELL:--preload-file ${web_assets}/asset@/asset"
  "SHELL:--preload-file ${web_assets}/res@/res")
set_property(TARGET bramble APPEND PROPERTY LINK_DEPENDS ${pre_js} ${music})
# The data's random id in bramble.js made from its contents, before the site
# takes the file: reproducible links.
add_custom_target(bramble_package_id
  COMMAND ${CMAKE_COMMAND} -DJS=${BRAMBLE_RUNTIME_DIR}/bramble.js
          -DDATA=${BRAMBLE_RUNTIME_DIR}/bramble.data -P ${CMAKE_SOURCE_DIR}/cmake/web-package-id.cmake
  VERBATIM)
add_dependencies(bramble_package_id bramble)

# ---------------------------------------------------------------------------
# The site (cmake/web-site.cmake): the page, the game's three files and the
# others under names that carry a hash of their content, the service worker that
# keeps them for offline play, the app's manifest and icons (drawn from
# packaging/bramble.svg), the compressed forms of the large files, and licences/,
# the terms of what the site carries, as the Windows zip has them, linked from the
# page. The credits show BRAMBLE_WEB_VERSION, the project's version unless set.
# ---------------------------------------------------------------------------
set(BRAMBLE_WEB_VERSION "" CACHE STRING
    "The version the page's credits show (empty: the project's version)")
set(web_version ${PROJECT_VERSION})
if(BRAMBLE_WEB_VERSION)
  set(web_version ${BRAMBLE_WEB_VERSION})
endif()

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(icons ${CMAKE_BINARY_DIR}/icons)
set(svg ${CMAKE_SOURCE_DIR}/packaging/bramble.svg)
add_custom_command(OUTPUT ${icons}/icon-192.png ${icons}/icon-512.png
  COMMAND ${CMAKE_COMMAND} -E make_directory ${icons}
  COMMAND ${RSVG_CONVERT} -w 192 -h 192 -o ${icons}/icon-192.png ${svg}
  COMMAND ${RSVG_CONVERT} -w 512 -h 512 -o ${icons}/icon-512.png ${svg}
  DEPENDS ${svg}
  COMMENT "Drawing the app's icons"
  VERBATIM)

# The site's inputs, kept in a script of their own so that the browser tests can
# write a second site (another SITE and VERSION) from the same build.
set(site ${CMAKE_BINARY_DIR}/site)
set(site_script ${CMAKE_BINARY_DIR}/site.cmake)
file(CONFIGURE OUTPUT ${site_script} CONTENT [=[
if(NOT DEFINED SITE)
  set(SITE "@site@")
endif()
if(NOT DEFINED VERSION)
  set(VERSION "@web_version@")
endif()
set(SOURCE_DIR "@CMAKE_SOURCE_DIR@")
set(GAME_DIR "@BRAMBLE_RUNTIME_DIR@")
set(ICON_DIR "@icons@")
set(LICENCES "@CMAKE_SOURCE_DIR@/LICENSE=LICENSE.txt"
    "@CMAKE_SOURCE_DIR@/asset/atarifont.LICENSE.txt=atarifont.LICENSE.txt"
    "@BRAMBLE_SDL2_SOURCE@/LICENSE.txt=SDL2.txt"
    "@BRAMBLE_SDL2_MIXER_SOURCE@/LICENSE.txt=SDL2_mixer.txt"
    "@BRAMBLE_SDL_VERSIONS_FILE@=SDL-debian-sources.txt")
include("@CMAKE_SOURCE_DIR@/cmake/web-site.cmake")
]=] @ONLY)
add_custom_target(bramble_site ALL
  COMMAND ${CMAKE_COMMAND} -P ${site_script}
  DEPENDS ${icons}/icon-192.png ${icons}/icon-512.png
  COMMENT "Site ready in ${site}"
  VERBATIM)
add_dependencies(bramble_site bramble bramble_package_id)
