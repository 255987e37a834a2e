# SPDX-License-Identifier: Zlib
# Toolchain file for the browser build: finds emscripten and loads its own
# toolchain file, so that a plain `cmake --preset web` (or any configure naming
# this file) works wherever emcc is, and says what is missing where it is not.
# EMSCRIPTEN_ROOT, in the environment, names the folder holding emcc when it is
# not on the PATH.
set(bramble_em_root "$ENV{EMSCRIPTEN_ROOT}")
if(NOT bramble_em_root)
  find_program(bramble_emcc emcc NO_CACHE)
  if(bramble_emcc)
    # Debian's /usr/bin/emcc is a link to a wrapper in emscripten's own folder.
    file(REAL_PATH ${bramble_emcc} bramble_em_real)
    get_filename_component(bramble_em_root ${bramble_em_real} DIRECTORY)
  endif()
endif()
set(bramble_em_toolchain ${bramble_em_root}/cmake/Modules/Platform/Emscripten.cmake)
if(NOT bramble_em_root OR NOT EXISTS ${bramble_em_toolchain})
  message(FATAL_ERROR "emscripten not found (no emcc on the PATH, nor EMSCRIPTEN_ROOT): "
                      "`bash scripts/deps.sh` installs Debian's emscripten")
endif()
include(${bramble_em_toolchain})

# Programs built for the browser run under Node.js at configure time, as emcmake sets.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(bramble_node NAMES node nodejs NO_CACHE)
  if(bramble_node)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${bramble_node})
  endif()
endif()
