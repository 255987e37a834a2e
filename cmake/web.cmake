# SPDX-License-Identifier: Zlib
# The browser build's own options: the engine and the game compiled with em++
# against SDL2 and SDL2_mixer built for the browser (cmake/sdl.cmake), into a
# static site in <build>/site: the page (web/index.html, web/page.js), bramble.js,
# bramble.wasm and bramble.data, the assets preloaded into the browser's memory.
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
# The site: the page beside the game's three files, files.json (the sizes of the
# two big downloads, for the page's progress bar, which cannot trust a
# Content-Length a server may compress or leave out) and licences/, the terms of
# what the site carries, as the Windows zip has them, linked from the page.
# ---------------------------------------------------------------------------
set(site ${CMAKE_BINARY_DIR}/site)
add_custom_target(bramble_site ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${site}/licences
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${BRAMBLE_RUNTIME_DIR}/bramble.js
          ${BRAMBLE_RUNTIME_DIR}/bramble.wasm ${BRAMBLE_RUNTIME_DIR}/bramble.data
          ${CMAKE_SOURCE_DIR}/web/index.html ${CMAKE_SOURCE_DIR}/web/page.js ${site}/
  COMMAND ${CMAKE_COMMAND} -DSITE=${site} -P ${CMAKE_SOURCE_DIR}/cmake/web-sizes.cmake
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${BRAMBLE_SDL2_SOURCE}/LICENSE.txt
          ${site}/licences/SDL2.txt
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${BRAMBLE_SDL2_MIXER_SOURCE}/LICENSE.txt
          ${site}/licences/SDL2_mixer.txt
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/asset/atarifont.LICENSE.txt
          ${BRAMBLE_SDL_VERSIONS_FILE} ${site}/licences/
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_SOURCE_DIR}/LICENSE
          ${site}/licences/LICENSE.txt
  COMMENT "Site ready in ${site}"
  VERBATIM)
add_dependencies(bramble_site bramble bramble_package_id)
